// The startup manager on the real registry of the Wine prefix. The tests write
// values of their own into the startup keys and remove exactly those again;
// values that were there before are never changed.
#include "tools/StartupManagerPage.h"
#include "res/resource.h"
#include "support/MessageRecorder.h"
#include "support/PageHost.h"
#include "support/RegistryValues.h"

#include <gtest/gtest.h>

#include <commctrl.h>
#include <sddl.h>

#include <string>
#include <tuple>
#include <vector>

namespace {

const wchar_t kRun[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t kWowRun[] = L"Software\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Run";

std::wstring Location(HKEY root, const std::wstring& path)
{
    return (root == HKEY_CURRENT_USER ? L"HKEY_CURRENT_USER\\" : L"HKEY_LOCAL_MACHINE\\") + path;
}

// Where a value written in the 32-bit view is listed: under WOW6432Node on a
// 64-bit Windows, in the one Run key of a 32-bit Windows.
std::wstring Location32()
{
    return Location(HKEY_LOCAL_MACHINE, HasSeparate32BitView() ? kWowRun : kRun);
}

using Row = std::tuple<std::wstring, std::wstring, std::wstring>;  // name, command, location

Row RowOf(const StartupEntry& entry)
{
    return Row(entry.name, entry.command, entry.location);
}

}  // namespace

TEST(ParseLocation, SplitsOffTheRootAndRefusesAnythingElse)
{
    const struct {
        const wchar_t* location;
        StartupRoot root;
        const wchar_t* keyPath;
    } cases[] = {
        {L"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run", kCurrentUserRoot,
         L"Software\\Microsoft\\Windows\\CurrentVersion\\Run"},
        {L"hkey_local_machine\\Software\\WOW6432Node\\Run", kLocalMachineRoot, L"Software\\WOW6432Node\\Run"},
        // A root alone names no key: nothing is read beyond the text's end.
        {L"HKEY_CURRENT_USER", kNoStartupRoot, L"unchanged"},
        {L"HKEY_LOCAL_MACHINE\\", kNoStartupRoot, L"unchanged"},
        {L"HKEY_CURRENT_USERS\\Software", kNoStartupRoot, L"unchanged"},
        {L"HKEY_CLASSES_ROOT\\Software", kNoStartupRoot, L"unchanged"},
        {L"", kNoStartupRoot, L"unchanged"},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(test.location)));
        std::wstring keyPath = L"unchanged";
        EXPECT_EQ(ParseLocation(test.location, keyPath), test.root);
        EXPECT_EQ(keyPath, test.keyPath);
    }
}

TEST(EnumStartupKey, ListsEveryValueWholeWhateverItsLengthNameOrType)
{
    // Created in the order the registry lists them (by name, and by creation
    // on Windows), with the long values first: nothing after them may be lost.
    const std::wstring longCommand = L"C:\\" + std::wstring(600, L'c') + L".exe";
    const std::wstring longName = L"vdx b " + std::wstring(300, L'n');
    const DWORD number = 42;
    const unsigned long long bigNumber = 0x123456789ULL;
    const BYTE bytes[] = {0x01, 0xab, 0xff};
    const wchar_t multi[] = L"h.exe\0-x\0";
    const struct {
        std::wstring name;
        DWORD type;
        std::vector<BYTE> data;
        std::wstring shown;
    } values[] = {
        {L"vdx a long command", REG_SZ, RegistryText(longCommand), longCommand},
        {longName, REG_SZ, RegistryText(L"b.exe"), L"b.exe"},
        {L"vdx c after the long ones", REG_SZ, RegistryText(L"c.exe /s"), L"c.exe /s"},
        {L"vdx d Ελληνικά 程序", REG_SZ, RegistryText(L"d.exe"), L"d.exe"},
        {L"vdx e number", REG_DWORD, RegistryBytes(&number, sizeof number), L"0x0000002a (42)"},
        {L"vdx f bytes", REG_BINARY, RegistryBytes(bytes, sizeof bytes), L"01 ab ff"},
        {L"vdx g expandable", REG_EXPAND_SZ, RegistryText(L"%SystemRoot%\\g.exe"), L"%SystemRoot%\\g.exe"},
        {L"vdx h multi-string", REG_MULTI_SZ, RegistryBytes(multi, sizeof multi), L"h.exe -x"},
        {L"vdx i big number", REG_QWORD, RegistryBytes(&bigNumber, sizeof bigNumber), L"0x0000000123456789 (4886718345)"},
        {L"vdx j short number", REG_DWORD, RegistryBytes(bytes, 3), L"01 ab ff"},
        {L"vdx k text without its zero", REG_SZ, RegistryBytes(L"k.exe", 5 * sizeof(wchar_t)), L"k.exe"},
    };
    OwnRegistryValues made;
    std::vector<Row> expected;
    for (const auto& value : values) {
        made.Set(HKEY_CURRENT_USER, kRun, value.name, value.type, value.data);
        expected.emplace_back(value.name, value.shown, Location(HKEY_CURRENT_USER, kRun));
    }

    std::vector<StartupEntry> entries;
    EnumStartupKey(HKEY_CURRENT_USER, kRun, entries);
    EnumStartupKey(HKEY_CURRENT_USER, L"Software\\Vardenix test key that is not there", entries);
    std::vector<Row> ours;
    for (const StartupEntry& entry : entries) {
        if (entry.name.compare(0, 4, L"vdx ") == 0)
            ours.push_back(RowOf(entry));
    }
    EXPECT_EQ(ours, expected);
}

namespace {

// A startup key that everyone may read but nobody may change, as the
// HKEY_LOCAL_MACHINE keys are for a user without administrator rights. Its
// own permissions come back when the object goes.
class ReadOnlyKey {
public:
    ReadOnlyKey(HKEY root, const wchar_t* path)
    {
        PSECURITY_DESCRIPTOR readOnly = nullptr;
        DWORD size = 0;
        if (RegOpenKeyExW(root, path, 0, READ_CONTROL | WRITE_DAC, &key_) != ERROR_SUCCESS ||
            !ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(A;;KR;;;WD)", SDDL_REVISION_1, &readOnly,
                                                                  nullptr))
            return;
        RegGetKeySecurity(key_, DACL_SECURITY_INFORMATION, nullptr, &size);
        original_.resize(size);
        locked_ = RegGetKeySecurity(key_, DACL_SECURITY_INFORMATION, original_.data(), &size) == ERROR_SUCCESS &&
                  RegSetKeySecurity(key_, DACL_SECURITY_INFORMATION, readOnly) == ERROR_SUCCESS;
        LocalFree(readOnly);
    }
    ~ReadOnlyKey()
    {
        if (locked_)
            RegSetKeySecurity(key_, DACL_SECURITY_INFORMATION, original_.data());
        if (key_)
            RegCloseKey(key_);
    }
    ReadOnlyKey(const ReadOnlyKey&) = delete;
    ReadOnlyKey& operator=(const ReadOnlyKey&) = delete;

    bool Locked() const { return locked_; }

private:
    HKEY key_ = nullptr;
    std::vector<BYTE> original_;
    bool locked_ = false;
};

class StartupPage : public ::testing::Test {
protected:
    MessageRecorder recorder;
    OwnRegistryValues values;
    PageHost host;
    StartupManagerPage page;

    void TearDown() override { page.Destroy(); }

    void Create() { ASSERT_TRUE(page.CreateModeless(host.Handle())); }
    void Click(int id)
    {
        SendMessageW(page.Handle(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(page.Item(id)));
    }
    void Refresh() { Click(IDC_STARTUP_REFRESH); }
    void Delete() { Click(IDC_DELETE_OR_RESULT_LIST); }
    void Select(int row)
    {
        LVITEMW item = {};
        item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        item.state = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageW(page.List(), LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    }
    // The row of a value, or -1.
    int FindRow(const std::wstring& name, const std::wstring& location) const
    {
        for (int row = 0; row < page.RowCount(); ++row) {
            if (page.RowText(row, 0) == name && page.RowText(row, 2) == location)
                return row;
        }
        return -1;
    }
    // The rows of values whose names start with `prefix`, in list order.
    std::vector<Row> RowsStartingWith(const std::wstring& prefix) const
    {
        std::vector<Row> rows;
        for (int row = 0; row < page.RowCount(); ++row) {
            if (page.RowText(row, 0).compare(0, prefix.size(), prefix) == 0)
                rows.emplace_back(page.RowText(row, 0), page.RowText(row, 1), page.RowText(row, 2));
        }
        return rows;
    }
};

}  // namespace

TEST_F(StartupPage, TheSameNameInBothRunKeysGivesTwoRowsAndDeletingOneKeepsTheOther)
{
    Create();
    const std::wstring name = L"vdx same name";
    values.SetText(HKEY_CURRENT_USER, kRun, name, L"C:\\user.exe");
    values.SetText(HKEY_LOCAL_MACHINE, kRun, name, L"C:\\machine.exe");
    Refresh();
    const std::vector<Row> both = {{name, L"C:\\machine.exe", Location(HKEY_LOCAL_MACHINE, kRun)},
                                   {name, L"C:\\user.exe", Location(HKEY_CURRENT_USER, kRun)}};
    ASSERT_EQ(RowsStartingWith(name), both);

    Delete();
    EXPECT_EQ(recorder.Texts(), std::vector<std::wstring>{L"Пожалуйста, выберите пункт"});
    recorder.Clear();
    Select(FindRow(name, Location(HKEY_LOCAL_MACHINE, kRun)));
    recorder.SetAnswer(IDCANCEL);
    Delete();
    EXPECT_EQ(RowsStartingWith(name), both);

    recorder.SetAnswer(IDOK);
    Select(FindRow(name, Location(HKEY_LOCAL_MACHINE, kRun)));
    Delete();
    EXPECT_EQ(recorder.Texts(), (std::vector<std::wstring>{L"Удаление: vdx same name?", L"Удаление: vdx same name?"}))
        << "the outcome is shown by the list alone";
    EXPECT_FALSE(RegistryValueExists(HKEY_LOCAL_MACHINE, kRun, name));
    EXPECT_TRUE(RegistryValueExists(HKEY_CURRENT_USER, kRun, name));
    EXPECT_EQ(RowsStartingWith(name), std::vector<Row>{both[1]});
}

TEST_F(StartupPage, RowsFollowTheLocationsWith32BitEntriesRightAfterTheirOwnLocation)
{
    values.SetText(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce", L"vdx order 5", L"5");
    values.SetText(HKEY_CURRENT_USER, kRun, L"vdx order 4", L"4");
    values.SetText(HKEY_LOCAL_MACHINE, kRun, L"vdx order 1", L"1");
    values.SetText(HKEY_LOCAL_MACHINE, kRun, L"vdx order 2", L"2");
    values.SetText(HKEY_LOCAL_MACHINE, kRun, L"vdx order 3", L"3", KEY_WOW64_32KEY);
    Create();
    EXPECT_EQ(RowsStartingWith(L"vdx order "),
              (std::vector<Row>{
                  {L"vdx order 1", L"1", Location(HKEY_LOCAL_MACHINE, kRun)},
                  {L"vdx order 2", L"2", Location(HKEY_LOCAL_MACHINE, kRun)},
                  {L"vdx order 3", L"3", Location32()},
                  {L"vdx order 4", L"4", Location(HKEY_CURRENT_USER, kRun)},
                  {L"vdx order 5", L"5",
                   Location(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce")},
              }));
}

TEST_F(StartupPage, DeleteRemovesTheSelectedValueWhateverItsNameOrView)
{
    const struct {
        HKEY root;
        REGSAM view;
        std::wstring name;
        std::wstring location;
    } cases[] = {
        {HKEY_CURRENT_USER, 0, L"", Location(HKEY_CURRENT_USER, kRun)},  // the key's default value
        {HKEY_CURRENT_USER, 0, L"vdx Ελληνικά 程序", Location(HKEY_CURRENT_USER, kRun)},
        {HKEY_LOCAL_MACHINE, 0, L"vdx " + std::wstring(300, L'n'), Location(HKEY_LOCAL_MACHINE, kRun)},
        {HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY, L"vdx 32-bit", Location32()},
    };
    Create();
    for (const auto& test : cases) {
        SCOPED_TRACE(test.location + L" " + test.name);
        values.SetText(test.root, kRun, test.name, L"C:\\x.exe", test.view);
        Refresh();
        const int row = FindRow(test.name, test.location);
        ASSERT_GE(row, 0);
        Select(row);
        recorder.Clear();
        Delete();
        EXPECT_EQ(recorder.Texts(), std::vector<std::wstring>{L"Удаление: " + test.name + L"?"});
        EXPECT_FALSE(RegistryValueExists(test.root, kRun, test.name, test.view));
        EXPECT_EQ(FindRow(test.name, test.location), -1);
    }
}

TEST_F(StartupPage, AnEntryTheUserMayOnlyReadIsListedAndStaysWhenItsDeletionIsRefused)
{
    values.SetText(HKEY_LOCAL_MACHINE, kRun, L"vdx read only", L"C:\\locked.exe");
    ReadOnlyKey locked(HKEY_LOCAL_MACHINE, kRun);
    ASSERT_TRUE(locked.Locked());
    HKEY probe = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRun, 0, KEY_SET_VALUE, &probe) == ERROR_SUCCESS) {
        RegCloseKey(probe);
        GTEST_SKIP() << "this system does not enforce registry key permissions";
    }

    Create();
    const int row = FindRow(L"vdx read only", Location(HKEY_LOCAL_MACHINE, kRun));
    ASSERT_GE(row, 0) << "listed with read access";
    Select(row);
    Delete();
    EXPECT_EQ(recorder.Texts(), std::vector<std::wstring>{L"Удаление: vdx read only?"});
    EXPECT_TRUE(RegistryValueExists(HKEY_LOCAL_MACHINE, kRun, L"vdx read only"));
    EXPECT_GE(FindRow(L"vdx read only", Location(HKEY_LOCAL_MACHINE, kRun)), 0);
}
