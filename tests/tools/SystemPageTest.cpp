#include "app/MainWindow.h"
#include "framework/Text.h"
#include "res/resource.h"
#include "support/MessageRecorder.h"
#include "support/PageHost.h"
#include "support/RegistryValues.h"
#include "support/TestDrive.h"
#include "support/UnixHost.h"
#include "tools/RegistryRepair.h"
#include "tools/SystemPage.h"

#include <gtest/gtest.h>

#include <shlobj.h>
#include <wininet.h>

#include <algorithm>
#include <initializer_list>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr char kPolicies[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer";
constexpr char kSystemPolicies[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
constexpr char kShowAll[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced\\Folder\\Hidden\\SHOWALL";
constexpr char kHiddenFileExt[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced\\Folder\\HiddenFileExt";
constexpr char kBrowser[] = "Software\\Microsoft\\Internet Explorer\\Main";
constexpr char kTextFileCommand[] = "SOFTWARE\\CLASSES\\txtfile\\shell\\open\\command";

std::vector<std::wstring> Texts(std::initializer_list<UINT> ids)
{
    std::vector<std::wstring> texts;
    for (UINT id : ids)
        texts.push_back(LoadText(id));
    return texts;
}

bool KeyExists(HKEY root, const char* path)
{
    HKEY key;
    if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

// A value's type and bytes; REG_NONE when it is not there.
std::pair<DWORD, std::string> ValueOf(HKEY root, const char* path, const char* name)
{
    char data[512];
    DWORD type = REG_NONE;
    DWORD size = sizeof data;
    if (RegGetValueA(root, path, name, RRF_RT_ANY | RRF_NOEXPAND, &type, data, &size) != ERROR_SUCCESS)
        return {REG_NONE, std::string()};
    return {type, std::string(data, size)};
}

std::pair<DWORD, std::string> Number(DWORD value)
{
    return {REG_DWORD, std::string(reinterpret_cast<const char*>(&value), sizeof value)};
}

// A text as the repair stores it: zero bytes after it up to `length`.
std::pair<DWORD, std::string> Padded(DWORD type, const std::string& text, size_t length)
{
    return {type, text + std::string(length - text.size(), '\0')};
}

// A key a test needs: made when missing, and removed again if the test made it.
struct TestKey {
    TestKey(HKEY keyRoot, const char* keyPath) : root(keyRoot), path(keyPath), made(!KeyExists(keyRoot, keyPath))
    {
        EXPECT_EQ(RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), ERROR_SUCCESS);
    }
    ~TestKey()
    {
        RegCloseKey(key);
        if (made)
            RegDeleteTreeA(root, path);
    }
    void Set(const char* name, DWORD value)
    {
        RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    }

    HKEY root, key = nullptr;
    const char* path;
    bool made;
};

// A trashed file in the freedesktop.org layout: the file and its info.
void Trash(const std::string& trash, const std::string& name)
{
    SHCreateDirectoryExA(nullptr, (trash + "\\files").c_str(), nullptr);
    SHCreateDirectoryExA(nullptr, (trash + "\\info").c_str(), nullptr);
    MakeFile(trash + "\\files\\" + name, "trashed");
    MakeFile(trash + "\\info\\" + name + ".trashinfo",
             "[Trash Info]\nPath=/tmp/" + name + "\nDeletionDate=2024-01-01T00:00:00\n");
}

// The system page of the main window, which has settled in the tray on its
// information page.
class SystemPageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!RunsUnderWine())
            GTEST_SKIP() << "the cleanup would empty this machine's Recycle Bin";
        ASSERT_TRUE(TrashIsScratch()) << "run through CTest, which sets HOME and XDG_DATA_HOME";
        ASSERT_TRUE(window_.CreateModeless(nullptr));
        ASSERT_TRUE(WaitFor([&] { return !IsWindowVisible(window_.Handle()); }, 5000));
        ASSERT_TRUE(window_.IsPageShown(MainWindow::kInfoPage));
        page_.SetCleanupFolders({Widen(temp_.Path()) + L"\\"});
    }
    void TearDown() override
    {
        EXPECT_TRUE(WaitFor([&] { return !page_.IsBusy(); }, 60000)) << "a worker still runs";
    }

    void Run(int id)
    {
        ClickButton(page_, id);
        ASSERT_TRUE(WaitFor([&] { return !page_.IsBusy(); }, 60000));
    }
    std::vector<std::wstring> Column(int column) const
    {
        std::vector<std::wstring> texts;
        for (int row = 0; row < page_.RowCount(); ++row)
            texts.push_back(page_.RowText(row, column));
        return texts;
    }
    // How many of the registry and the disk button are enabled; any thread.
    int EnabledButtons() const
    {
        return !!IsWindowEnabled(page_.Item(IDC_FIRST_BUTTON)) + !!IsWindowEnabled(page_.Item(IDC_SECOND_BUTTON));
    }

    MessageRecorder recorder_;
    ScratchDir temp_;
    MainWindow window_;
    SystemPage& page_ = window_.System();
};

}  // namespace

// Keys that are missing stay missing; where they are, the policies go and the
// defaults are written. An Explorer policies key that is only readable, or
// missing, stops the repair with an empty list.
TEST_F(SystemPageTest, RepairDeletesThePoliciesAndWritesTheDefaultsButMakesNoKey)
{
    std::vector<int> buttonsAtMessage;
    recorder_.SetAnswer([&](const MessageBoxCall&) {
        buttonsAtMessage.push_back(EnabledButtons());
        return IDOK;
    });
    TestKey policies(HKEY_CURRENT_USER, kPolicies);
    ASSERT_FALSE(KeyExists(HKEY_CURRENT_USER, kSystemPolicies));
    ASSERT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kShowAll));
    Run(IDC_FIRST_BUTTON);
    EXPECT_EQ(recorder_.Texts(), Texts({IDS_REGISTRY_QUESTION}));
    EXPECT_EQ(recorder_.Calls()[0].type & MB_TYPEMASK, static_cast<UINT>(MB_OKCANCEL));
    EXPECT_EQ(page_.RowCount(), 31) << "a key that does not open skips only its own operations";
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kSystemPolicies)) << "keys are opened, never made";
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kShowAll));

    const char* const deleted[] = {"NoFolderOptions", "NoLogOff", "StartMenuLogOff", "NoActiveDesktopChanges",
                                   "NoPrinterTabs", "RestrictRun"};
    for (const char* name : deleted)
        policies.Set(name, 1);
    policies.Set("NoDriveTypeAutoRun", 0xFF);
    policies.Set("SomeOtherPolicy", 1);
    TestKey system(HKEY_CURRENT_USER, kSystemPolicies);
    system.Set("DisableRegistryTools", 1);
    TestKey showAll(HKEY_LOCAL_MACHINE, kShowAll);
    showAll.Set("CheckedValue", 0);
    TestKey extensions(HKEY_LOCAL_MACHINE, kHiddenFileExt);
    TestKey userBrowser(HKEY_CURRENT_USER, kBrowser);
    for (const char* name : {"Settings", "Links", "SecAddSites"})
        userBrowser.Set(name, 1);
    TestKey machineBrowser(HKEY_LOCAL_MACHINE, kBrowser);
    TestKey notepad(HKEY_LOCAL_MACHINE, kTextFileCommand);
    Run(IDC_FIRST_BUTTON);
    for (const char* name : deleted)
        EXPECT_EQ(ValueOf(HKEY_CURRENT_USER, kPolicies, name).first, static_cast<DWORD>(REG_NONE)) << name;
    EXPECT_EQ(ValueOf(HKEY_CURRENT_USER, kPolicies, "NoDriveTypeAutoRun"), Number(0x95));
    EXPECT_EQ(ValueOf(HKEY_CURRENT_USER, kPolicies, "SomeOtherPolicy"), Number(1));
    EXPECT_EQ(ValueOf(HKEY_CURRENT_USER, kSystemPolicies, "DisableRegistryTools"), Number(0));
    EXPECT_EQ(ValueOf(HKEY_LOCAL_MACHINE, kShowAll, "CheckedValue"), Number(1));
    EXPECT_EQ(ValueOf(HKEY_LOCAL_MACHINE, kHiddenFileExt, "CheckedValue"), Number(1));
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        EXPECT_EQ(ValueOf(root, kBrowser, "Start Page"), Padded(REG_SZ, kRepairHomePage, 50));
        EXPECT_EQ(ValueOf(root, kBrowser, "default_page_url"), Padded(REG_SZ, kRepairHomePage, 50));
        EXPECT_EQ(ValueOf(root, kBrowser, "Search Page"), Padded(REG_SZ, kRepairSearchPage, 100));
        EXPECT_EQ(ValueOf(root, kBrowser, "Window Title"), Padded(REG_SZ, "Microsoft Internet Explorer", 50));
    }
    for (const char* name : {"Settings", "Links", "SecAddSites"})
        EXPECT_EQ(ValueOf(HKEY_CURRENT_USER, kBrowser, name).first, static_cast<DWORD>(REG_NONE)) << name;
    EXPECT_EQ(ValueOf(HKEY_LOCAL_MACHINE, kTextFileCommand, nullptr),
              Padded(REG_EXPAND_SZ, "%SystemRoot%\\system32\\NOTEPAD.EXE %1", 50));

    for (const bool keyExists : {true, false}) {
        SCOPED_TRACE(keyExists ? "read-only key" : "no key");
        std::optional<ReadOnlyKey> locked;
        if (keyExists) {
            locked.emplace(HKEY_CURRENT_USER, Widen(kPolicies));
            ASSERT_TRUE(locked->Locked());
        } else {
            RegDeleteTreeA(HKEY_CURRENT_USER, kPolicies);
        }
        recorder_.Clear();
        buttonsAtMessage.clear();
        Run(IDC_FIRST_BUTTON);
        EXPECT_EQ(recorder_.Texts(), Texts({IDS_REGISTRY_QUESTION, IDS_REGISTRY_ACCESS_FAILED}));
        EXPECT_EQ(buttonsAtMessage, (std::vector<int>{2, 0}));
        EXPECT_EQ(page_.RowCount(), 0) << "the list of the run before is gone";
        EXPECT_EQ(EnabledButtons(), 2);
        EXPECT_EQ(KeyExists(HKEY_CURRENT_USER, kPolicies), keyExists) << "the key is never made";
    }
}

// A cleanup, then a cancelled repair and a cancelled cleanup, which leave its list.
TEST_F(SystemPageTest, CleanupListsFilesThenTheCacheAndEmptiesTheScratchTrash)
{
    ScratchDir recent;
    MakeFile(recent / "r.lnk");
    MakeFile(temp_ / "locked.tmp", "in use", FILE_ATTRIBUTE_READONLY);
    const HANDLE hold =
        CreateFileA((temp_ / "locked.tmp").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(hold, INVALID_HANDLE_VALUE);
    page_.SetCleanupFolders({Widen(recent.Path()), Widen(temp_.Path()) + L"\\"});
    // A cache entry whose information does not fit the first 4096-byte buffer.
    const wchar_t url[] = L"http://vardenix.test/page.html";
    wchar_t cached[MAX_PATH] = {};
    ASSERT_TRUE(CreateUrlCacheEntryW(url, 0, L"html", cached, 0));
    MakeFile(Narrow(cached), "cached");
    std::wstring header(6000, L'h');
    FILETIME never = {};
    ASSERT_TRUE(CommitUrlCacheEntryW(url, cached, never, never, NORMAL_CACHE_ENTRY, &header[0],
                                     static_cast<DWORD>(header.size()), nullptr, nullptr));
    const std::string trash = ScratchTrashFolder();
    Trash(trash, "trashed.txt");

    // Enabled at the question, and again by the time the end is told.
    recorder_.SetAnswer([&](const MessageBoxCall&) {
        EXPECT_EQ(EnabledButtons(), 2);
        return IDOK;
    });
    ClickButton(page_, IDC_SECOND_BUTTON);
    EXPECT_EQ(EnabledButtons(), 0);
    ClickButton(page_, IDC_FIRST_BUTTON);
    EXPECT_EQ(recorder_.Count(), 1u) << "no repair while the cleanup runs";
    ASSERT_TRUE(WaitFor([&] { return !page_.IsBusy(); }, 60000));
    CloseHandle(hold);
    EXPECT_TRUE(IsWindowVisible(window_.Handle()) && window_.IsPageShown(MainWindow::kSystemPage))
        << "the cleanup brings the main window forward on its page";

    const std::vector<std::wstring> content = Column(0), states = Column(1);
    ASSERT_GE(content.size(), 3u);
    EXPECT_EQ(std::vector<std::wstring>(content.begin(), content.begin() + 2),
              (std::vector<std::wstring>{Widen(recent / "r.lnk"), Widen(temp_ / "locked.tmp")}));
    EXPECT_EQ(std::vector<std::wstring>(states.begin(), states.begin() + 2), Texts({IDS_DELETED, IDS_DELETE_ERROR}));
    for (size_t row = 2; row < content.size(); ++row)
        EXPECT_EQ(states[row], LoadText(IDS_URL_CACHE_DELETED)) << row;
    EXPECT_NE(std::find(content.begin() + 2, content.end(), cached), content.end());
    DWORD size = 0;
    EXPECT_FALSE(GetUrlCacheEntryInfoW(url, nullptr, &size)) << "the cache entry is gone";
    // The file that stayed, stayed as it was.
    EXPECT_EQ(ReadWholeFile(temp_ / "locked.tmp"), "in use");
    EXPECT_TRUE(GetFileAttributesA((temp_ / "locked.tmp").c_str()) & FILE_ATTRIBUTE_READONLY);
    EXPECT_FALSE(PathExists(trash + "\\files\\trashed.txt"));

    MakeFile(temp_ / "b.tmp");
    recorder_.SetAnswer(IDCANCEL);
    for (const int button : {IDC_FIRST_BUTTON, IDC_SECOND_BUTTON}) {
        ClickButton(page_, button);
        EXPECT_FALSE(page_.IsBusy());
        WaitFor([] { return false; }, 200);  // time for a wrongly started worker to show
        EXPECT_EQ(Column(0), content);
        EXPECT_EQ(EnabledButtons(), 2);
    }
    EXPECT_EQ(recorder_.Texts(),
              Texts({IDS_DISK_QUESTION, IDS_DISK_DONE, IDS_REGISTRY_QUESTION, IDS_DISK_QUESTION}));
    EXPECT_TRUE(PathExists(temp_ / "b.tmp"));
}
