// The updater Tollupd.exe, built with the test key, run as vardenix.exe runs
// it: from a program folder of its own beside a stand-in vardenix.exe, against
// a local web server that serves descriptions signed with the test key and a
// stand-in installer. Each stand-in notes its starts.
#include "support/InstanceObject.h"
#include "support/ProgramUnderTest.h"
#include "support/ScratchDir.h"
#include "support/TestDrive.h"
#include "support/UnixHost.h"
#include "framework/Text.h"
#include "updater/UpdaterResource.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

// The server of the whole test program, serving a folder of its own; it ends
// once the folder is gone.
class UpdateServer {
public:
    UpdateServer()
    {
        const std::string folder = UnixPathOf(folder_.Path());
        if (!folder.empty() &&
            RunUnix("/usr/bin/python3", "\"" UPDATE_SERVER_PY "\" \"" + folder + "\" \"" + folder + "/port\""))
            WaitFor([&] { return !(port_ = ReadWholeFile(folder_ / "port")).empty(); }, 20000);
    }
    bool Running() const { return !port_.empty(); }
    std::string Url(const std::string& path) const { return "http://127.0.0.1:" + port_ + "/" + path; }
    std::string operator/(const std::string& relative) const { return folder_ / relative; }

private:
    ScratchDir folder_;
    std::string port_;
};

std::unique_ptr<UpdateServer> server;

void Copied(const std::string& from, const std::string& to)
{
    EXPECT_TRUE(CopyFileA(from.c_str(), to.c_str(), FALSE)) << from << " -> " << to;
}

std::set<std::string> FolderContents(const std::string& folder)
{
    std::set<std::string> names;
    WIN32_FIND_DATAA found;
    const HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileA(search, &found))
        if (found.cFileName[0] != '.')
            names.insert(found.cFileName);
    FindClose(search);
    return names;
}

class Updater : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        server = std::make_unique<UpdateServer>();
        if (!server->Running())
            return;
        const std::string signedFolder = WindowsPathOf(TEST_DESCRIPTIONS);
        const std::string installer = WindowsPathOf(START_RECORDER_EXE);
        for (const char* name : {"newer.ini", "cut.ini", "slow.ini", "expired.ini", "old.ini"})
            Copied(signedFolder + "\\" + name, *server / name);
        Copied(installer, *server / "installer.exe");
        const std::string newer = ReadWholeFile(*server / "newer.ini");
        MakeFile(*server / "unsigned.ini", newer.substr(0, newer.find("[signature]")));
        // The same description beside an installer that does not match it, and beside none.
        for (const char* folder : {"altered", "gone"}) {
            MakeFolder(*server / folder);
            MakeFile(*server / folder + "\\update.ini", newer);
        }
        std::string flipped = ReadWholeFile(installer);
        flipped[flipped.size() / 2] ^= 1;
        MakeFile(*server / "altered\\installer.exe", flipped);
    }
    static void TearDownTestSuite() { server.reset(); }

    void SetUp() override
    {
        if (!server->Running())
            GTEST_SKIP() << "no python3 web server on the host";
        MakeFolder(program);
        MakeFolder(temp);
        Copied(WindowsPathOf(START_RECORDER_EXE), program + "\\vardenix.exe");
        SetEnvironmentVariableA("VARDENIX_START_RECORD", record.c_str());
    }

    // Starts `updaterExe` as Tollupd.exe of the program folder, with a
    // temporary folder of its own.
    void Start(const std::string& arguments, const char* updaterExe = TEST_UPDATER_EXE)
    {
        Copied(WindowsPathOf(updaterExe), program + "\\Tollupd.exe");
        char oldTemp[MAX_PATH] = {};
        GetEnvironmentVariableA("TMP", oldTemp, MAX_PATH);
        SetEnvironmentVariableA("TMP", temp.c_str());
        updater = std::make_unique<ProgramUnderTest>();
        ASSERT_TRUE(updater->Start(program + "\\Tollupd.exe", arguments));
        SetEnvironmentVariableA("TMP", oldTemp);
        window = updater->WaitForWindow(L"#32770", L"Обновление Vardenix", true);
        ASSERT_NE(window, nullptr);
    }
    std::string Arguments(const std::string& version, const std::string& path) const
    {
        return "Tollmark " + version + " " + server->Url(path);
    }

    // String `id` of the updater, with %1 and %2 replaced when given.
    static std::wstring Text(UINT id, const wchar_t* first = nullptr, const wchar_t* second = nullptr)
    {
        static const HMODULE strings =
            LoadLibraryExA(WindowsPathOf(TEST_UPDATER_EXE).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        wchar_t buffer[1024] = {};
        LoadStringW(strings, id, buffer, 1024);
        std::wstring text = buffer;
        for (const auto& mark : {std::make_pair(L"%1", first), std::make_pair(L"%2", second)})
            if (mark.second && text.find(mark.first) != std::wstring::npos)
                text.replace(text.find(mark.first), 2, mark.second);
        return text;
    }
    // A control's text, asked of the control itself: GetWindowText of another
    // process's window gives only its caption, which an edit control does not keep.
    std::wstring ItemText(int id) const
    {
        wchar_t text[4096] = {};
        SendMessageW(GetDlgItem(window, id), WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(text));
        return text;
    }
    // The status once the check (or download), which says `busy`, has ended.
    std::wstring FinalStatus(UINT busy) const
    {
        const std::wstring text = Text(busy);
        const std::wstring prefix = text.substr(0, text.find(L'%'));
        WaitFor([&] { return ItemText(IDC_UPDATER_STATUS).compare(0, prefix.size(), prefix) != 0; }, 30000);
        return ItemText(IDC_UPDATER_STATUS);
    }
    // Returns once the updater has handled the click.
    void Click(int id) const
    {
        SendMessageW(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(window, id)));
    }
    std::vector<std::string> Starts() const
    {
        std::vector<std::string> names;
        std::istringstream lines(ReadWholeFile(record));
        for (std::string line; std::getline(lines, line);)
            names.push_back(line.substr(0, line.find('|')));
        return names;
    }

    // The updater has ended, vardenix.exe was started again after whatever
    // ran before it, and nothing it downloaded is left anywhere.
    void ExpectEndWithProgramStarted(const std::vector<std::string>& startsBefore = {})
    {
        ASSERT_TRUE(updater->WaitForExit(30000));
        std::vector<std::string> expected = startsBefore;
        expected.push_back("vardenix.exe");
        EXPECT_TRUE(WaitFor([&] { return Starts() == expected; }, 10000)) << ReadWholeFile(record);
        const std::string starts = ReadWholeFile(record);
        const size_t last = starts.rfind("vardenix.exe|");
        ASSERT_NE(last, std::string::npos) << "vardenix.exe was not started";
        EXPECT_EQ(starts.substr(last), "vardenix.exe|\"" + program + "\\vardenix.exe\"\n");
        EXPECT_EQ(FolderContents(temp), std::set<std::string>{});
        EXPECT_EQ(FolderContents(program), (std::set<std::string>{"Tollupd.exe", "vardenix.exe"}));
    }

    ScratchDir scratch;
    const std::string program = scratch / "Vardenix";
    const std::string temp = scratch / "temp";
    const std::string record = scratch / "starts.txt";
    std::unique_ptr<ProgramUnderTest> updater;
    HWND window = nullptr;
};

}  // namespace

TEST_F(Updater, RunsOnlyATrustedNewerInstallerAndAlwaysStartsTheProgramAgain)
{
    const struct {
        std::string arguments;
        bool update;  // the check offers 5.2.0.0, and the user takes it
        std::wstring status;  // once checked, or downloaded: none once the window has gone
        const char* updater = TEST_UPDATER_EXE;
        std::vector<std::string> startsBefore = {};  // before vardenix.exe starts again
    } cases[] = {
        // The installer runs from the temporary folder and is gone once it has ended.
        {Arguments("5.1.0.15", "newer.ini"), true, L"", TEST_UPDATER_EXE, {"Vardenix-5.2.0.0-setup.exe"}},
        {Arguments("5.2.0.0", "newer.ini"), false, Text(IDS_LATEST, L"5.2.0.0")},
        // Newer than the 5.2.0.0 offered, though not as text.
        {Arguments("5.10", "newer.ini"), false, Text(IDS_LATEST, L"5.10")},
        {Arguments("5.1.0.15", "newer.ini"), false, Text(IDS_NEWER, L"5.2.0.0", L"5.1.0.15")},  // declined
        // The shipped updater believes only the maker's key.
        {Arguments("5.1.0.15", "newer.ini"), false, Text(IDS_ERROR_SIGNATURE), SHIPPED_UPDATER_EXE},
        {Arguments("5.1.0.15", "unsigned.ini"), false, Text(IDS_ERROR_FORMAT)},
        // Signed, but past its last day, or from before descriptions had one: a replay.
        {Arguments("5.1.0.15", "expired.ini"), false, Text(IDS_ERROR_EXPIRED)},
        {Arguments("5.1.0.15", "old.ini"), false, Text(IDS_ERROR_EXPIRED)},
        {Arguments("5.1.0.15", "missing.ini"), false, Text(IDS_ERROR_HTTP, L"404")},
        {"Tollmark 5.1.0.15 http://127.0.0.1:1/update.ini", false, Text(IDS_ERROR_UNREACHABLE)},
        {Arguments("5.1.0.15", "altered/update.ini"), true, Text(IDS_ERROR_MISMATCH)},
        {Arguments("5.1.0.15", "cut.ini"), true, Text(IDS_ERROR_INTERRUPTED)},
        {Arguments("5.1.0.15", "gone/update.ini"), true, Text(IDS_ERROR_HTTP, L"404")},
        {"", false, Text(IDS_ERROR_ARGUMENTS)},
        {Arguments("5.1.0.15", "newer.ini") + " more", false, Text(IDS_ERROR_ARGUMENTS)},
        {"Other 5.1.0.15 " + server->Url("newer.ini"), false, Text(IDS_ERROR_ARGUMENTS)},
        {Arguments("5.x", "newer.ini"), false, Text(IDS_ERROR_ARGUMENTS)},
        {"Tollmark 5.1.0.15 ftp://127.0.0.1/update.ini", false, Text(IDS_ERROR_ARGUMENTS)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments);
        DeleteFileA(record.c_str());
        ASSERT_NO_FATAL_FAILURE(Start(c.arguments, c.updater));
        if (c.update) {
            ASSERT_EQ(FinalStatus(IDS_CHECKING), Text(IDS_NEWER, L"5.2.0.0", L"5.1.0.15"));
            EXPECT_EQ(ItemText(IDC_UPDATER_NOTES),
                      L"Новое в версии 5.2:\r\n- проверка USB быстрее;\r\n- папка C:\\Vardenix\\ на месте.");
            Click(IDC_UPDATER_UPDATE);
            EXPECT_EQ(FinalStatus(IDS_DOWNLOADING), c.status);
        } else {
            EXPECT_EQ(FinalStatus(IDS_CHECKING), c.status);
            // "Обновить" only for a trusted offer of a newer version.
            EXPECT_EQ(IsWindowVisible(GetDlgItem(window, IDC_UPDATER_UPDATE)) != FALSE,
                      c.status == Text(IDS_NEWER, L"5.2.0.0", L"5.1.0.15"));
        }
        Click(IDCANCEL);
        ExpectEndWithProgramStarted(c.startsBefore);
    }
}

TEST_F(Updater, ACancelledDownloadIsDeletedAndTheProgramStartsAgain)
{
    ASSERT_NO_FATAL_FAILURE(Start(Arguments("5.1.0.15", "slow.ini")));
    ASSERT_EQ(FinalStatus(IDS_CHECKING), Text(IDS_NEWER, L"5.2.0.0", L"5.1.0.15"));
    Click(IDC_UPDATER_UPDATE);
    const HWND bar = GetDlgItem(window, IDC_UPDATER_PROGRESS);
    ASSERT_TRUE(WaitFor([&] { return SendMessageW(bar, PBM_GETPOS, 0, 0) > 0; }, 20000));
    EXPECT_TRUE(IsWindowVisible(bar));
    Click(IDCANCEL);
    ExpectEndWithProgramStarted();
}

TEST_F(Updater, StartsTheProgramOnlyOnceItsOldInstanceHasEnded)
{
    // The program's instance semaphore as a vardenix.exe still ending holds
    // it, and as one running with an administrator's rights holds it for this
    // updater: there, but not to be opened.
    for (bool locked : {false, true}) {
        SCOPED_TRACE(locked ? "locked" : "open");
        DeleteFileA(record.c_str());
        InstanceObject instance(L"vardenix", locked);
        ASSERT_TRUE(instance.Made());
        ASSERT_NO_FATAL_FAILURE(Start(""));
        Click(IDCANCEL);
        EXPECT_FALSE(WaitFor([&] { return !ReadWholeFile(record).empty(); }, 2000));
        EXPECT_TRUE(updater->IsRunning());
        instance.Close();
        ExpectEndWithProgramStarted();
    }
}
