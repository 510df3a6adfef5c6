#include "TestPrograms.h"
#include "app/MainWindow.h"
#include "framework/Text.h"
#include "quarantine/QuarantineTestSupport.h"
#include "res/resource.h"
#include "support/MessageRecorder.h"
#include "support/PageHost.h"

#include <commctrl.h>

#include <algorithm>
#include <vector>

namespace {

const wchar_t kRisk[] = L"Риск";
const wchar_t kWait[] = L"Ожидайте";
const wchar_t kDeleteError[] = L"Ошибка удаления";
using Texts = std::vector<std::wstring>;

bool IsQuestion(const MessageBoxCall& call) { return (call.type & MB_TYPEMASK) == MB_OKCANCEL; }

int RowOf(const MemoryProtectionPage& page, DWORD id)
{
    for (int row = 0; row < page.RowCount(); ++row) {
        if (page.RowProcess(row)->id == id)
            return row;
    }
    return -1;
}

// The page in a window of the test's own, its monitor idle; the quarantine
// folder empty before and after.
class MemoryPageTest : public QuarantineTest {
protected:
    void SetUp() override
    {
        QuarantineTest::SetUp();
        ASSERT_TRUE(page_.CreateModeless(host_.Handle()));
    }
    // Selects the row of process `id` (none for 0), clicks "Удалить" and gives
    // `answer` to each message; the messages shown. A process not listed is no
    // click, which could end another.
    template <typename Answer>
    Texts Delete(DWORD id, Answer answer)
    {
        recorder_.Clear();
        recorder_.SetAnswer(answer);
        const int row = id ? RowOf(page_, id) : -1;
        if (row < 0 && id) {
            ADD_FAILURE() << id << " is not listed";
            return {};
        }
        if (row >= 0)
            SelectListRow(page_.List(), row);
        ClickButton(page_, IDC_SECOND_BUTTON);
        return recorder_.Texts();
    }
    static bool IsHidden(const ProgramCopy& copy)
    {
        return (GetFileAttributesA(copy.path.c_str()) & FILE_ATTRIBUTE_HIDDEN) != 0;
    }

    MessageRecorder recorder_;
    PageHost host_;
    MemoryProtectionPage page_{MonitorTiming{INFINITE, INFINITE}};
};

}  // namespace

// The monitor lists the hidden programs without a version block that are named
// like system files; a refresh lists more, until the next pass. The main
// window comes forward on the memory page when their number changes to one
// other than 0.
TEST(MemoryMonitor, ListsDisguisedProgramsAndBringsTheWindowForwardWhenTheirNumberChanges)
{
    MainWindow window(MonitorTiming{0, 250});
    ASSERT_TRUE(window.CreateModeless(nullptr));
    ASSERT_TRUE(WaitFor([&] { return !IsWindowVisible(window.Handle()); }));
    MemoryProtectionPage& page = window.MemoryProtection();
    // Came the window forward on the memory page by the time the list shows a
    // pass that began after this call? It then goes back to the tray.
    auto cameForward = [&] {
        const int begun = page.MonitorPassesBegun();
        EXPECT_TRUE(WaitFor([&] { return page.MonitorPassShown() > begun; }, 30000));
        const bool forward = IsWindowVisible(window.Handle()) && window.IsPageShown(MainWindow::kMemoryPage);
        window.ShowPage(MainWindow::kInfoPage);
        window.Hide();
        return forward;
    };
    EXPECT_FALSE(cameForward()) << "nothing at risk";

    SystemFileName systemName("vardenix-system.exe");
    struct {
        RunningCopy program;
        const wchar_t* refresh;  // the label of a refresh; null: not listed
        bool monitor;            // listed by the monitor ("Риск")
    } cases[] = {
        {{"notepad.exe", FILE_ATTRIBUTE_HIDDEN}, kRisk, true},
        {{"vardenix-system.exe", FILE_ATTRIBUTE_HIDDEN, true}, kRisk, false},
        {{"vardenix-idle.exe", FILE_ATTRIBUTE_HIDDEN}, kRisk, false},
        {{"notepad.exe", FILE_ATTRIBUTE_NORMAL}, L"Подозрительные", false},
        {{"vardenix-system.exe", FILE_ATTRIBUTE_NORMAL, true}, nullptr, false},
        {{"vardenix-idle.exe", FILE_ATTRIBUTE_NORMAL}, nullptr, false},
    };
    auto expectRows = [&](bool monitor) {
        for (const auto& c : cases) {
            const std::wstring path = Widen(c.program.path);
            const wchar_t* label = monitor ? (c.monitor ? kRisk : nullptr) : c.refresh;
            const int row = RowOf(page, c.program.Id());
            ASSERT_EQ(row >= 0, label != nullptr) << Narrow(path);
            if (label) {
                EXPECT_EQ((Texts{page.RowText(row, 0), page.RowText(row, 1), page.RowText(row, 2)}),
                          (Texts{path.substr(path.rfind(L'\\') + 1), label, path}));
            }
        }
        EXPECT_EQ(page.ItemText(IDC_MEMORY_STATUS), L"Ваш ПК подвержен риску!");
    };
    EXPECT_TRUE(cameForward()) << "0 to 1";
    expectRows(true);
    EXPECT_EQ(page.RowCount(), 1) << "nothing else runs hidden";
    page.RefreshProcessList();
    expectRows(false);
    EXPECT_FALSE(cameForward()) << "1 stays 1";
    expectRows(true);

    RunningCopy second("write.exe", FILE_ATTRIBUTE_HIDDEN);
    EXPECT_TRUE(cameForward()) << "1 to 2";
    EXPECT_EQ(page.RowCount(), 2);
    second.process.Kill();
    EXPECT_TRUE(cameForward()) << "2 to 1";
    cases[0].program.process.Kill();
    EXPECT_FALSE(cameForward()) << "1 to 0";
    EXPECT_EQ(page.RowCount(), 0);
    EXPECT_EQ(page.ItemText(IDC_MEMORY_STATUS), L"Угроз не обнаружено");
}

// Nothing happens without a selection or with a cancel; a process gone before
// the answer is an error; a confirmed delete ends the process and moves its
// file into quarantine. Each answer but a cancel is followed by a refresh.
TEST_F(MemoryPageTest, DeleteEndsTheProcessAndQuarantinesItsFileOnlyOnceConfirmed)
{
    RunningCopy disguised("notepad.exe", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY);
    RunningCopy gone("notepad.exe", FILE_ATTRIBUTE_HIDDEN);
    page_.RefreshProcessList();
    RunningCopy late("notepad.exe", FILE_ATTRIBUTE_NORMAL);  // a refresh would list it now

    EXPECT_EQ(Delete(0, IDOK), Texts{L"Пожалуйста, выберите файл"});
    ASSERT_EQ(Delete(disguised.Id(), IDCANCEL), Texts{L"Удаление: notepad.exe?"});
    EXPECT_TRUE(IsQuestion(recorder_.Calls()[0]));
    EXPECT_TRUE(disguised.process.IsRunning());
    EXPECT_EQ(RowOf(page_, late.Id()), -1) << "not refreshed";

    const auto endAtQuestion = [&](const MessageBoxCall& call) {
        if (IsQuestion(call))
            gone.process.Kill();
        return IDOK;
    };
    EXPECT_EQ(Delete(gone.Id(), endAtQuestion), (Texts{L"Удаление: notepad.exe?", kDeleteError}));
    EXPECT_TRUE(IsHidden(gone));
    EXPECT_EQ(RowOf(page_, gone.Id()), -1);
    EXPECT_GE(RowOf(page_, late.Id()), 0) << "refreshed";
    EXPECT_TRUE(IsHidden(disguised));
    EXPECT_TRUE(ItemNames().empty());

    const std::string content = ReadWholeFile(disguised.path);
    EXPECT_EQ(Delete(disguised.Id(), IDOK), (Texts{L"Удаление: notepad.exe?", kWait, L"Удален"}));
    EXPECT_FALSE(disguised.process.IsRunning());
    EXPECT_FALSE(PathExists(disguised.path));
    ASSERT_EQ(ItemNames(), std::vector<std::string>{"notepad.exe.vw"});
    EXPECT_EQ(ReadWholeFile(ItemPath("notepad.exe.vw")), ItemBytes(disguised.path, content));
    EXPECT_EQ(RowOf(page_, disguised.Id()), -1);
}

// Rows past 256 keep their processes; and when the list is rebuilt while the
// question shows, so that the chosen row number names another process or
// none, the process the question named is the one ended.
TEST_F(MemoryPageTest, DeleteEndsTheProcessItsQuestionNamedAmongMoreThan256Rows)
{
    ProgramCopy shared("vardenix-many.exe", FILE_ATTRIBUTE_HIDDEN);
    std::vector<ProgramUnderTest> processes(260);
    std::vector<DWORD> started, listed;
    for (ProgramUnderTest& process : processes) {
        StartIdleProcess(process, shared.path);
        started.push_back(process.ProcessId());
    }
    page_.RefreshProcessList();
    // Wine's own services are listed too ("Подозрительные").
    for (int row = 0; row < page_.RowCount(); ++row) {
        EXPECT_EQ(page_.RowText(row, 2), page_.RowProcess(row)->path) << row;
        if (page_.RowProcess(row)->path == Widen(shared.path))
            listed.push_back(page_.RowProcess(row)->id);
    }
    ASSERT_EQ(listed.size(), started.size());
    EXPECT_TRUE(std::is_permutation(listed.begin(), listed.end(), started.begin()));
    const DWORD chosen = listed.back(), ended = listed.front();
    ASSERT_GE(RowOf(page_, chosen), 259);

    const auto rebuildAtQuestion = [&](const MessageBoxCall& call) {
        if (IsQuestion(call)) {
            processes[std::find(started.begin(), started.end(), ended) - started.begin()].Kill();
            page_.RefreshProcessList();
        }
        return IDOK;
    };
    // The file is still in use by the others: it stays, hidden as it was.
    EXPECT_EQ(Delete(chosen, rebuildAtQuestion), (Texts{L"Удаление: vardenix-many.exe?", kWait, kDeleteError}));
    EXPECT_TRUE(IsHidden(shared));
    for (size_t k = 0; k < processes.size(); ++k)
        EXPECT_EQ(processes[k].IsRunning(), started[k] != chosen && started[k] != ended) << started[k];
}

// A process that lets nobody read its path is listed with the file of its name
// in the system folders, a guess that names another program: Delete ends the
// process but leaves that file alone, and says so.
TEST_F(MemoryPageTest, AProcessWhosePathCannotBeReadIsEndedButNoFileIsQuarantined)
{
    SystemFileName systemName("vardenix-unread.exe");  // no version block
    ASSERT_TRUE(SetFileAttributesA(systemName.path.c_str(), FILE_ATTRIBUTE_HIDDEN));
    ProgramCopy copy("vardenix-unread.exe", FILE_ATTRIBUTE_NORMAL);
    ProgramUnderTest process;
    StartProgram(process, copy.path, "--refuse-queries");
    std::wstring unread;
    ASSERT_TRUE(WaitFor([&] { return !GetProcessExePath(process.ProcessId(), unread); }));
    page_.RefreshProcessList();
    const int row = RowOf(page_, process.ProcessId());
    ASSERT_GE(row, 0);
    EXPECT_EQ((Texts{page_.RowText(row, 1), page_.RowText(row, 2)}), (Texts{kRisk, Widen(systemName.path)}));

    EXPECT_EQ(Delete(process.ProcessId(), IDOK),
              (Texts{L"Удаление: vardenix-unread.exe?", kWait,
                     L"Процесс завершен. Путь к его файлу прочитать не удалось, поэтому файл не перемещен в Карантин."}));
    EXPECT_TRUE(process.WaitForExit(5000));
    EXPECT_EQ(ReadWholeFile(systemName.path), "MZ");
    EXPECT_TRUE(ItemNames().empty());
    EXPECT_TRUE(PathExists(copy.path));
}
