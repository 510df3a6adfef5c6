// The startup manager on the prefix's real registry: the tests add values of
// their own to the startup keys and remove exactly those again.
#include "StartupTestSupport.h"

#include <commctrl.h>

#include <optional>

TEST(ParseLocation, SplitsOffTheRootAndRefusesAnythingElse)
{
    const std::tuple<const wchar_t*, StartupRoot, const wchar_t*> cases[] = {
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
    for (const auto& [location, root, expectedPath] : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(location)));
        std::wstring keyPath = L"unchanged";
        EXPECT_EQ(ParseLocation(location, keyPath), root);
        EXPECT_EQ(keyPath, expectedPath);
    }
}

// Every value whole whatever its length, name or type; the locations in order,
// 32-bit entries right after their own location.
TEST_F(StartupPage, RowsShowEveryValueWholeInTheOrderOfTheLocations)
{
    const std::wstring runOnce = L"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
    values.SetText(HKEY_LOCAL_MACHINE, kRun, L"vdx 1", L"1");
    values.SetText(HKEY_LOCAL_MACHINE, kRun, L"vdx 2", L"2");
    values.SetText(HKEY_LOCAL_MACHINE, kRun, L"vdx 3", L"3", KEY_WOW64_32KEY);
    values.SetText(HKEY_CURRENT_USER, runOnce, L"vdx 5", L"5");
    std::vector<Row> expected = {{L"vdx 1", L"1", Location(HKEY_LOCAL_MACHINE, kRun)},
                                 {L"vdx 2", L"2", Location(HKEY_LOCAL_MACHINE, kRun)},
                                 {L"vdx 3", L"3", Location32()}};
    // Created in the order the registry lists them (by name, and by creation
    // on Windows), with the long values first: nothing after them may be lost.
    const std::wstring longCommand = L"C:\\" + std::wstring(600, L'c') + L".exe";
    const std::wstring longName = L"vdx b " + std::wstring(300, L'n');
    const DWORD number = 42;
    const unsigned long long bigNumber = 0x123456789ULL;
    const BYTE bytes[] = {0x01, 0xab, 0xff};
    const wchar_t multi[] = L"h.exe\0-x\0";
    const std::tuple<std::wstring, DWORD, std::vector<BYTE>, std::wstring> user[] = {
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
    for (const auto& [name, type, data, shown] : user) {
        values.Set(HKEY_CURRENT_USER, kRun, name, type, data);
        expected.emplace_back(name, shown, Location(HKEY_CURRENT_USER, kRun));
    }
    expected.emplace_back(L"vdx 5", L"5", Location(HKEY_CURRENT_USER, runOnce));
    Refresh();
    std::vector<Row> rows;
    for (int row = 0; row < page.RowCount(); ++row) {
        if (page.RowText(row, 0).compare(0, 4, L"vdx ") == 0)
            rows.emplace_back(page.RowText(row, 0), page.RowText(row, 1), page.RowText(row, 2));
    }
    EXPECT_EQ(rows, expected);
}

// Each name is also in another location, whose value stays. A key the user
// may only read is listed, and its value stays when the deletion is refused.
TEST_F(StartupPage, DeleteRemovesTheSelectedRowsValueAloneWhateverItsNameOrView)
{
    const std::tuple<HKEY, HKEY, REGSAM, std::wstring, bool> cases[] = {
        {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, 0, L"", false},  // the key's default value
        {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, 0, L"vdx Ελληνικά 程序", false},
        {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, 0, L"vdx " + std::wstring(300, L'n'), false},
        // Beside the 64-bit key's value of that name; a 32-bit Windows has one key.
        {HKEY_LOCAL_MACHINE, HasSeparate32BitView() ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, KEY_WOW64_32KEY,
         L"vdx 32-bit", false},
        {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, 0, L"vdx read only", true},
    };
    for (const auto& [root, twinRoot, view, name, readOnly] : cases) {
        values.SetText(root, kRun, name, L"C:\\x.exe", view);
        values.SetText(twinRoot, kRun, name, L"C:\\twin.exe");
    }
    Refresh();
    Delete();
    EXPECT_EQ(recorder.Texts(), std::vector<std::wstring>{L"Пожалуйста, выберите пункт"});
    for (const auto& [root, twinRoot, view, name, readOnly] : cases) {
        const std::wstring location = view ? Location32() : Location(root, kRun);
        SCOPED_TRACE(location + L" " + name);
        std::optional<ReadOnlyKey> locked;
        if (readOnly) {
            locked.emplace(root, kRun);
            ASSERT_TRUE(locked->Locked());
        }
        Refresh();
        const int row = FindRow(name, location);
        ASSERT_GE(row, 0) << "listed with read access";
        recorder.Clear();
        recorder.SetAnswer(IDCANCEL);
        Delete(row);
        EXPECT_GE(FindRow(name, location), 0) << "cancelled";
        recorder.SetAnswer(IDOK);
        Delete(row);
        EXPECT_EQ(recorder.Texts(), std::vector<std::wstring>(2, L"Удаление: " + name + L"?"))
            << "the outcome is shown by the list alone";
        EXPECT_EQ(RegistryValueExists(root, kRun, name, view), readOnly);
        EXPECT_EQ(FindRow(name, location) >= 0, readOnly);
        EXPECT_GE(FindRow(name, Location(twinRoot, kRun)), 0);
    }
}
