#include "QuarantineTestSupport.h"
#include "framework/Text.h"
#include "quarantine/QuarantinePage.h"
#include "res/resource.h"
#include "support/MessageRecorder.h"
#include "support/PageHost.h"
#include "support/TestDrive.h"

#include <commctrl.h>

#include <atomic>
#include <set>
#include <utility>

namespace {

const wchar_t kNothingFound[] = L"Ничего не найдено";
const wchar_t kWait[] = L"Ожидайте";
const wchar_t kFinished[] = L"Завершено";
const wchar_t kRestoreFailed[] = L"Восстановление: файл не был восстановлен";

using Row = std::pair<std::wstring, std::wstring>;  // origin, item path

class QuarantinePageTest : public QuarantineTest {
protected:
    void SetUp() override
    {
        QuarantineTest::SetUp();
        ASSERT_NE(host_.Handle(), nullptr);
    }
    void TearDown() override
    {
        page_.Destroy();
        for (const std::string& path : desktopFiles_)
            RemoveTree(path);
        QuarantineTest::TearDown();
    }

    void CreatePage() { ASSERT_TRUE(page_.CreateModeless(host_.Handle())); }

    // Puts a file of the drive into quarantine; returns its path on the drive.
    std::string Quarantine(const std::string& relative, const std::string& content)
    {
        const std::string path = drive_ / relative;
        MakeFile(path, content, FILE_ATTRIBUTE_HIDDEN);
        EXPECT_TRUE(QuarantineFile(path.c_str())) << path;
        return path;
    }

    // A desktop path that the test removes before and after itself.
    std::string DesktopFile(const std::string& name)
    {
        desktopFiles_.push_back(DesktopPath(name));
        RemoveTree(desktopFiles_.back());
        return desktopFiles_.back();
    }

    void Click(int id) const { ClickButton(page_, id); }
    void Select(int row) const { SelectListRow(page_.List(), row); }
    std::set<Row> Rows() const
    {
        std::set<Row> rows;
        for (int row = 0; row < page_.RowCount(); ++row)
            rows.emplace(page_.RowText(row, 0), page_.RowText(row, 1));
        return rows;
    }
    // How many of refresh, restore and purge are enabled; any thread.
    int EnabledButtons() const
    {
        int enabled = 0;
        for (int id : {IDC_FIRST_BUTTON, IDC_SECOND_BUTTON, IDC_QUARANTINE_PURGE})
            enabled += IsWindowEnabled(page_.Item(id)) ? 1 : 0;
        return enabled;
    }
    // Answers `answer` and notes how many buttons were enabled while each message showed.
    void AnswerAndNoteButtons(int answer)
    {
        enabledAtMessage_.clear();
        recorder_.SetAnswer([this, answer](const MessageBoxCall&) {
            enabledAtMessage_.push_back(EnabledButtons());
            return answer;
        });
    }

    MessageRecorder recorder_;
    TestDrive drive_{'P', DRIVE_REMOVABLE};
    PageHost host_;
    QuarantinePage page_;
    std::vector<std::string> desktopFiles_;
    std::vector<int> enabledAtMessage_;
};

Row RowOf(const std::string& origin, const std::string& itemName)
{
    return {Widen(origin), Widen(ItemPath(itemName))};
}

}  // namespace

TEST_F(QuarantinePageTest, EmptyFolderGivesAnEmptyListAndNothingToRestoreOrPurge)
{
    RemoveTree(QuarantineFolderPath());
    CreatePage();
    EXPECT_TRUE(PathExists(QuarantineFolderPath())) << "the page creates the folder";

    const HWND list = page_.List();
    EXPECT_EQ(SendMessageW(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) & 0x21, 0x21);
    const wchar_t* headers[] = {L"Происхождение", L"Карантин"};
    for (int column = 0; column < 2; ++column) {
        wchar_t text[64] = {};
        LVCOLUMNW definition = {};
        definition.mask = LVCF_TEXT | LVCF_WIDTH;
        definition.pszText = text;
        definition.cchTextMax = 64;
        ASSERT_TRUE(SendMessageW(list, LVM_GETCOLUMNW, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&definition)));
        EXPECT_STREQ(text, headers[column]);
        EXPECT_LE(definition.cx, 410) << "the two paths share the list's width";
    }
    EXPECT_EQ(page_.RowCount(), 0);
    EXPECT_EQ(EnabledButtons(), 3);

    Click(IDC_SECOND_BUTTON);
    Click(IDC_QUARANTINE_PURGE);
    EXPECT_EQ(recorder_.Texts(), (std::vector<std::wstring>{kNothingFound, kNothingFound}))
        << "no purge question on an empty list";
    EXPECT_EQ(EnabledButtons(), 3);

    // Enter and Escape do nothing on a page.
    SendMessageW(page_.Handle(), WM_COMMAND, IDOK, 0);
    SendMessageW(page_.Handle(), WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(IsWindow(page_.Handle()));
}

TEST_F(QuarantinePageTest, ListsValidItemsOnlyAndRereadsOnRefresh)
{
    MakeFolder(drive_ / "sub");
    const std::string first = Quarantine("AUTORUN.INF", "[autorun]\r\nopen=x.exe");
    const std::string second = Quarantine("sub\\AUTORUN.INF", "[autorun]\r\nopen=y.exe");
    MakeFile(ItemPath("foreign.vw"), "not an item of ours at all");
    MakeFile(ItemPath("no-line-end.vw"), "vormtalwareP:\\x.exe");
    MakeFile(ItemPath("other-ending.txt"), ItemBytes("P:\\y.exe", "content"));
    MakeFolder(ItemPath("folder.vw"));

    CreatePage();
    EXPECT_EQ(Rows(), (std::set<Row>{RowOf(first, "AUTORUN.INF.vw"), RowOf(second, "AUTORUN.INF (2).vw")}));
    EXPECT_EQ(EnabledButtons(), 3);

    const std::string third = Quarantine("virus.exe", "MZ");
    EXPECT_EQ(page_.RowCount(), 2) << "a new item waits for the refresh";
    Click(IDC_FIRST_BUTTON);
    EXPECT_EQ(Rows(), (std::set<Row>{RowOf(first, "AUTORUN.INF.vw"), RowOf(second, "AUTORUN.INF (2).vw"),
                                     RowOf(third, "virus.exe.vw")}));
    EXPECT_EQ(EnabledButtons(), 3);
    EXPECT_EQ(recorder_.Count(), 0u);
}

TEST_F(QuarantinePageTest, RestoreWithoutSelectionAsksForAFile)
{
    const std::string origin = Quarantine("virus.exe", "MZ");
    CreatePage();
    Click(IDC_SECOND_BUTTON);
    EXPECT_EQ(recorder_.Texts(), std::vector<std::wstring>{L"Пожалуйста, выберите файл"});
    EXPECT_FALSE(PathExists(origin));
    EXPECT_EQ(EnabledButtons(), 3);
}

TEST_F(QuarantinePageTest, RestoreToTheOriginAsksFirstAndKeepsTheItemListed)
{
    // A Cyrillic name: the item path goes through the list as wide text and back.
    const std::string name = Narrow(L"вирус.exe");
    const std::string content("MZ\x00\xff payload", 12);
    const std::string origin = Quarantine(name, content);
    CreatePage();
    Select(0);

    recorder_.SetAnswer(IDCANCEL);
    Click(IDC_SECOND_BUTTON);
    ASSERT_EQ(recorder_.Count(), 1u);
    EXPECT_EQ(recorder_.Calls()[0].text, L"Восстановление" + Widen(origin) + L"?");
    EXPECT_EQ(recorder_.Calls()[0].type & MB_TYPEMASK, static_cast<UINT>(MB_OKCANCEL));
    EXPECT_FALSE(PathExists(origin)) << "cancel restores nothing";

    recorder_.Clear();
    AnswerAndNoteButtons(IDOK);
    Click(IDC_SECOND_BUTTON);
    EXPECT_EQ(recorder_.Texts(),
              (std::vector<std::wstring>{L"Восстановление" + Widen(origin) + L"?", L"Восстановление выполнено"}));
    EXPECT_EQ(enabledAtMessage_, (std::vector<int>{0, 0})) << "buttons are disabled while the restore runs";
    EXPECT_EQ(ReadWholeFile(origin), content);
    EXPECT_EQ(Rows(), std::set<Row>{RowOf(origin, name + ".vw")});
    EXPECT_TRUE(PathExists(ItemPath(name + ".vw")));
    EXPECT_EQ(EnabledButtons(), 3);
}

TEST_F(QuarantinePageTest, RestoreWhileTheDriveIsDetachedLandsOnTheDesktop)
{
    const std::string onDesktop = DesktopFile("vardenix-page-worm.vbs");
    const std::string origin = Quarantine("vardenix-page-worm.vbs", "WScript.Echo 1");
    CreatePage();
    drive_.Detach();
    Select(0);
    Click(IDC_SECOND_BUTTON);
    EXPECT_EQ(recorder_.Texts(),
              (std::vector<std::wstring>{L"Восстановление" + Widen(origin) + L"?", L"Restore the file to desktop"}));
    EXPECT_EQ(ReadWholeFile(onDesktop), "WScript.Echo 1");
    drive_.Attach();
    EXPECT_FALSE(PathExists(origin));
}

// Nothing is written when the origin and the desktop both hold a file of that
// name; the page must not tell the user the file was restored.
TEST_F(QuarantinePageTest, RestoreWithBothPlacesTakenReportsTheFailure)
{
    const std::string onDesktop = DesktopFile("vardenix-page-trojan.exe");
    const std::string origin = Quarantine("vardenix-page-trojan.exe", "quarantined");
    MakeFile(origin, "newer file");
    MakeFile(onDesktop, "user's own file");
    CreatePage();
    Select(0);
    Click(IDC_SECOND_BUTTON);
    const std::vector<std::wstring> texts = recorder_.Texts();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[1], kRestoreFailed);
    EXPECT_EQ(ReadWholeFile(origin), "newer file");
    EXPECT_EQ(ReadWholeFile(onDesktop), "user's own file");
    EXPECT_EQ(EnabledButtons(), 3);
}

// What is restored is what the question showed: an item whose header changed
// while the question was up (another origin planted under its name) is
// refused, and stays as it now is.
TEST_F(QuarantinePageTest, AnItemChangedWhileTheQuestionShowsIsRefused)
{
    const std::string origin = Quarantine("vardenix-swapped.exe", "MZ");
    MakeFolder(drive_ / "elsewhere");
    const std::string planted = drive_ / "elsewhere\\vardenix-swapped.exe";
    const std::string item = ItemPath("vardenix-swapped.exe.vw");
    CreatePage();
    Select(0);
    recorder_.SetAnswer([&](const MessageBoxCall& call) {
        if ((call.type & MB_TYPEMASK) == MB_OKCANCEL)
            MakeFile(item, ItemBytes(planted, "MZ planted"));
        return IDOK;
    });
    Click(IDC_SECOND_BUTTON);
    EXPECT_EQ(recorder_.Texts(), (std::vector<std::wstring>{L"Восстановление" + Widen(origin) + L"?", kRestoreFailed}));
    EXPECT_FALSE(PathExists(planted));
    EXPECT_FALSE(PathExists(origin));
    EXPECT_EQ(ReadWholeFile(item), ItemBytes(planted, "MZ planted"));
}

TEST_F(QuarantinePageTest, ItemDeletedBehindThePagesBackIsReportedAndSkippedByThePurge)
{
    const std::string gone = Quarantine("gone.exe", "1");
    const std::string kept = Quarantine("kept.exe", "2");
    CreatePage();
    ASSERT_TRUE(DeleteFileA(ItemPath("gone.exe.vw").c_str()));

    const int row = page_.RowText(0, 0) == Widen(gone) ? 0 : 1;
    Select(row);
    Click(IDC_SECOND_BUTTON);
    EXPECT_EQ(recorder_.Texts(), (std::vector<std::wstring>{L"Восстановление" + Widen(gone) + L"?",
                                                            L"Выполнено: карантинный файл отсутствует!"}));
    EXPECT_FALSE(PathExists(gone));
    EXPECT_EQ(page_.RowCount(), 2) << "the list waits for the refresh";

    recorder_.Clear();
    Click(IDC_QUARANTINE_PURGE);
    ASSERT_TRUE(WaitFor([&] { return recorder_.Count() == 3 && EnabledButtons() == 3; }));
    EXPECT_EQ(recorder_.Texts()[2], kFinished);
    EXPECT_TRUE(ItemNames().empty());
    EXPECT_EQ(page_.RowCount(), 0);
}

TEST_F(QuarantinePageTest, PurgeDeletesTheThreeListedItemsOnly)
{
    Quarantine("a.exe", "a");
    Quarantine("b.vbs", "b");
    Quarantine("AUTORUN.INF", "c");
    SetFileAttributesA(ItemPath("b.vbs.vw").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    MakeFile(ItemPath("foreign.vw"), "not an item of ours at all");
    MakeFile(ItemPath("notes.txt"), ItemBytes("P:\\notes.txt", "n"));
    CreatePage();
    ASSERT_EQ(page_.RowCount(), 3);

    recorder_.SetAnswer(IDCANCEL);
    Click(IDC_QUARANTINE_PURGE);
    EXPECT_EQ(recorder_.Texts(), std::vector<std::wstring>{L"Вы хотите удалить все файлы из Карантина?"});
    EXPECT_EQ(recorder_.Calls()[0].type & MB_TYPEMASK, static_cast<UINT>(MB_OKCANCEL));
    EXPECT_EQ(ItemNames().size(), 4u) << "cancel deletes nothing";
    EXPECT_EQ(EnabledButtons(), 3);

    recorder_.Clear();
    // Written by the purge thread, read here only once `answered` says it is done with them.
    std::vector<int> rowsAtMessage;
    std::vector<int> enabledAtMessage;
    std::atomic<int> answered{0};
    recorder_.SetAnswer([&](const MessageBoxCall&) {
        rowsAtMessage.push_back(page_.RowCount());
        enabledAtMessage.push_back(EnabledButtons());
        ++answered;
        return IDOK;
    });
    Click(IDC_QUARANTINE_PURGE);
    ASSERT_TRUE(WaitFor([&] { return answered == 3 && EnabledButtons() == 3; }));
    recorder_.SetAnswer(IDOK);
    EXPECT_EQ(recorder_.Texts(),
              (std::vector<std::wstring>{L"Вы хотите удалить все файлы из Карантина?", kWait, kFinished}));
    EXPECT_EQ(enabledAtMessage[1], 0) << "buttons are disabled while the purge runs";
    EXPECT_EQ(rowsAtMessage[1], 3) << "nothing is deleted before the wait message is dismissed";
    EXPECT_EQ(rowsAtMessage[2], 0) << "the list is read again before the end message";
    EXPECT_EQ(ItemNames(), std::vector<std::string>{"foreign.vw"});
    EXPECT_TRUE(PathExists(ItemPath("notes.txt")));
}
