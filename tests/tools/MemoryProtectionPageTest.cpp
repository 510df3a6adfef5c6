#include "TestPrograms.h"
#include "app/MainWindow.h"
#include "framework/Text.h"
#include "quarantine/QuarantineTestSupport.h"
#include "res/resource.h"
#include "support/MessageRecorder.h"
#include "support/PageHost.h"
#include "support/TestDrive.h"
#include "tools/MemoryProtectionPage.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace {

const wchar_t kRisk[] = L"Риск";
const wchar_t kSuspicious[] = L"Подозрительные";
const wchar_t kAtRisk[] = L"Ваш ПК подвержен риску!";
const wchar_t kNoThreats[] = L"Угроз не обнаружено";
const wchar_t kWait[] = L"Ожидайте";
const wchar_t kDeleted[] = L"Удален";
const wchar_t kDeleteError[] = L"Ошибка удаления";

// The monitor never runs a pass.
constexpr MonitorTiming kNoMonitor = {INFINITE, INFINITE};

bool IsQuestion(const MessageBoxCall& call)
{
    return (call.type & MB_TYPEMASK) == MB_OKCANCEL;
}

// Waits until the page has shown two more monitor passes: the second began
// after this call, so it saw every process started before.
void WaitForFreshPass(const MemoryProtectionPage& page)
{
    const int passes = page.MonitorPassesShown();
    ASSERT_TRUE(WaitFor([&] { return page.MonitorPassesShown() >= passes + 2; }));
}

// The page in a window of the test's own; every test starts and ends with an
// empty quarantine folder.
class MemoryPageTest : public QuarantineTest {
protected:
    void Open(MonitorTiming timing = kNoMonitor)
    {
        page_ = std::make_unique<MemoryProtectionPage>(timing);
        ASSERT_TRUE(page_->CreateModeless(host_.Handle()));
    }
    void TearDown() override
    {
        page_.reset();
        QuarantineTest::TearDown();
    }

    // The row of process `id`, or -1.
    int RowOf(DWORD id) const
    {
        for (int row = 0; row < page_->RowCount(); ++row) {
            if (page_->RowProcess(row) && page_->RowProcess(row)->id == id)
                return row;
        }
        return -1;
    }
    void Select(int row) const
    {
        LVITEMW state = {};
        state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        state.state = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageW(page_->List(), LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&state));
    }
    void ClickDelete() const
    {
        SendMessageW(page_->Handle(), WM_COMMAND, MAKEWPARAM(IDC_SECOND_BUTTON, BN_CLICKED),
                     reinterpret_cast<LPARAM>(page_->Item(IDC_SECOND_BUTTON)));
    }
    std::wstring Status() const { return page_->ItemText(IDC_MEMORY_STATUS); }

    MessageRecorder recorder_;
    PageHost host_;
    std::unique_ptr<MemoryProtectionPage> page_;
};

}  // namespace

TEST_F(MemoryPageTest, BeforeTheFirstPassTheListIsBlankThenNoThreatsAreFound)
{
    Open({300, 300});
    EXPECT_EQ(page_->RowCount(), 0);
    EXPECT_EQ(Status(), L"");
    ASSERT_TRUE(WaitFor([&] { return page_->MonitorPassesShown() >= 1; }));
    EXPECT_EQ(page_->RowCount(), 0);
    EXPECT_EQ(Status(), kNoThreats);
}

// A refresh lists more than the monitor; the monitor's next pass replaces it.
TEST_F(MemoryPageTest, TheMonitorListsOnlyHiddenProgramsWithoutVersionNamedLikeSystemFiles)
{
    struct Case {
        const char* name;
        DWORD attributes;
        bool versioned;
        const wchar_t* refresh;  // the label a refresh lists it with; null: not listed
        bool monitor;            // listed by the monitor, with "Риск"
    } cases[] = {
        {"notepad.exe", FILE_ATTRIBUTE_HIDDEN, false, kRisk, true},
        {"vardenix-system.exe", FILE_ATTRIBUTE_HIDDEN, true, kRisk, false},
        {"vardenix-idle.exe", FILE_ATTRIBUTE_HIDDEN, false, kRisk, false},
        {"notepad.exe", FILE_ATTRIBUTE_NORMAL, false, kSuspicious, false},
        {"vardenix-system.exe", FILE_ATTRIBUTE_NORMAL, true, nullptr, false},
        {"vardenix-idle.exe", FILE_ATTRIBUTE_NORMAL, false, nullptr, false},
    };
    constexpr size_t kCases = sizeof cases / sizeof cases[0];
    SystemFileName systemName("vardenix-system.exe");
    std::vector<std::unique_ptr<ProgramCopy>> copies;
    ProgramUnderTest processes[kCases];
    for (size_t k = 0; k < kCases; ++k) {
        copies.push_back(std::make_unique<ProgramCopy>(cases[k].name, cases[k].attributes, cases[k].versioned));
        StartIdleProcess(processes[k], copies[k]->Path());
    }
    auto expectRows = [&](bool monitor) {
        for (size_t k = 0; k < kCases; ++k) {
            SCOPED_TRACE(copies[k]->Path());
            const Case& c = cases[k];
            const wchar_t* label = monitor ? (c.monitor ? kRisk : nullptr) : c.refresh;
            const int row = RowOf(processes[k].ProcessId());
            if (!label) {
                EXPECT_EQ(row, -1);
                continue;
            }
            ASSERT_GE(row, 0);
            EXPECT_EQ(page_->RowText(row, 0), Widen(c.name));
            EXPECT_EQ(page_->RowText(row, 1), label);
            EXPECT_EQ(page_->RowText(row, 2), Widen(copies[k]->Path()));
        }
        EXPECT_EQ(Status(), kAtRisk);
    };

    Open({0, 300});
    WaitForFreshPass(*page_);
    expectRows(true);
    EXPECT_EQ(page_->RowCount(), 1) << "nothing else runs hidden";
    page_->RefreshProcessList();
    expectRows(false);
    WaitForFreshPass(*page_);
    expectRows(true);
}

TEST(MemoryMonitor, BringsTheMainWindowForwardWhenTheCountChangesToANumberOtherThanZero)
{
    MainWindow window(MonitorTiming{0, 250});
    ASSERT_TRUE(window.CreateModeless(nullptr));
    ASSERT_TRUE(WaitFor([&] { return !IsWindowVisible(window.Handle()); }));
    MemoryProtectionPage& page = window.MemoryProtection();
    // After each step: was the window brought forward on the memory page? It
    // then goes back to the tray, on another page.
    auto cameForward = [&] {
        WaitForFreshPass(page);
        const bool forward = IsWindowVisible(window.Handle()) && window.IsPageShown(MainWindow::kMemoryPage);
        window.ShowPage(MainWindow::kInfoPage);
        window.Hide();
        return forward;
    };

    EXPECT_FALSE(cameForward()) << "nothing at risk";
    ProgramCopy first("notepad.exe", FILE_ATTRIBUTE_HIDDEN);
    ProgramCopy second("write.exe", FILE_ATTRIBUTE_HIDDEN);
    ProgramUnderTest one, two;
    StartIdleProcess(one, first.Path());
    EXPECT_TRUE(cameForward()) << "0 to 1";
    EXPECT_EQ(page.RowCount(), 1);
    EXPECT_FALSE(cameForward()) << "1 stays 1";
    StartIdleProcess(two, second.Path());
    EXPECT_TRUE(cameForward()) << "1 to 2";
    EXPECT_EQ(page.RowCount(), 2);
    two.Kill();
    EXPECT_TRUE(cameForward()) << "2 to 1";
    one.Kill();
    EXPECT_FALSE(cameForward()) << "1 to 0";
    EXPECT_EQ(page.RowCount(), 0);
}

TEST_F(MemoryPageTest, DeleteWithoutASelectionOrCancelledChangesNothing)
{
    ProgramCopy disguised("notepad.exe", FILE_ATTRIBUTE_HIDDEN);
    ProgramCopy suspicious("notepad.exe", FILE_ATTRIBUTE_NORMAL);
    ProgramUnderTest process, late;
    StartIdleProcess(process, disguised.Path());
    Open();
    page_->RefreshProcessList();
    const int rows = page_->RowCount();
    // A refresh would list this one now.
    StartIdleProcess(late, suspicious.Path());

    ClickDelete();
    EXPECT_EQ(recorder_.Texts(), std::vector<std::wstring>{L"Пожалуйста, выберите файл"});

    recorder_.Clear();
    recorder_.SetAnswer(IDCANCEL);
    Select(RowOf(process.ProcessId()));
    ClickDelete();
    ASSERT_EQ(recorder_.Texts(), std::vector<std::wstring>{L"Удаление: notepad.exe?"});
    EXPECT_TRUE(IsQuestion(recorder_.Calls()[0]));
    EXPECT_TRUE(process.IsRunning());
    EXPECT_EQ(GetFileAttributesA(disguised.Path().c_str()) & FILE_ATTRIBUTE_HIDDEN,
              static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN));
    EXPECT_EQ(page_->RowCount(), rows);
    EXPECT_EQ(RowOf(late.ProcessId()), -1) << "not refreshed";
    EXPECT_TRUE(ItemNames().empty());
}

TEST_F(MemoryPageTest, DeleteEndsTheProcessAndMovesItsFileIntoQuarantine)
{
    ProgramCopy disguised("notepad.exe", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY);
    ProgramUnderTest process;
    StartIdleProcess(process, disguised.Path());
    Open();
    page_->RefreshProcessList();
    Select(RowOf(process.ProcessId()));
    ClickDelete();
    EXPECT_EQ(recorder_.Texts(), (std::vector<std::wstring>{L"Удаление: notepad.exe?", kWait, kDeleted}));
    EXPECT_FALSE(process.IsRunning());
    EXPECT_FALSE(PathExists(disguised.Path()));
    ASSERT_EQ(ItemNames(), std::vector<std::string>{"notepad.exe.vw"});
    EXPECT_EQ(ReadWholeFile(ItemPath("notepad.exe.vw")), ItemBytes(disguised.Path(), disguised.Content()));
    EXPECT_EQ(RowOf(process.ProcessId()), -1) << "refreshed";
}

TEST_F(MemoryPageTest, AProcessGoneBeforeTheAnswerIsAnErrorFollowedByARefresh)
{
    ProgramCopy disguised("notepad.exe", FILE_ATTRIBUTE_HIDDEN);
    ProgramUnderTest process;
    StartIdleProcess(process, disguised.Path());
    Open();
    page_->RefreshProcessList();
    Select(RowOf(process.ProcessId()));
    recorder_.SetAnswer([&](const MessageBoxCall& call) {
        if (IsQuestion(call))
            process.Kill();
        return IDOK;
    });
    ClickDelete();
    EXPECT_EQ(recorder_.Texts(), (std::vector<std::wstring>{L"Удаление: notepad.exe?", kDeleteError}));
    EXPECT_TRUE(PathExists(disguised.Path()));
    EXPECT_TRUE(ItemNames().empty());
    EXPECT_EQ(RowOf(process.ProcessId()), -1) << "refreshed";
}

// The list is rebuilt while the question shows, and the chosen row number
// then names another process: the one the question named is ended.
TEST_F(MemoryPageTest, DeleteEndsTheProcessTheQuestionNamedWhenTheListChangedMeanwhile)
{
    const char* names[] = {"first.exe", "second.exe", "third.exe"};
    std::vector<std::unique_ptr<ProgramCopy>> copies;
    ProgramUnderTest processes[3];
    for (int k = 0; k < 3; ++k) {
        copies.push_back(std::make_unique<ProgramCopy>(names[k], FILE_ATTRIBUTE_HIDDEN));
        StartIdleProcess(processes[k], copies[k]->Path());
    }
    Open();
    page_->RefreshProcessList();
    int rows[3];
    for (int k = 0; k < 3; ++k) {
        rows[k] = RowOf(processes[k].ProcessId());
        ASSERT_GE(rows[k], 0);
    }
    // The last of the three rows; one listed before it goes meanwhile.
    const int chosen = static_cast<int>(std::max_element(rows, rows + 3) - rows);
    const int ended = (chosen + 1) % 3;
    const int bystander = (chosen + 2) % 3;
    Select(rows[chosen]);
    recorder_.SetAnswer([&](const MessageBoxCall& call) {
        if (IsQuestion(call)) {
            processes[ended].Kill();
            page_->RefreshProcessList();
        }
        return IDOK;
    });
    ClickDelete();
    ASSERT_FALSE(recorder_.Calls().empty());
    EXPECT_EQ(recorder_.Texts()[0], L"Удаление: " + Widen(names[chosen]) + L"?");
    EXPECT_FALSE(processes[chosen].IsRunning());
    EXPECT_TRUE(processes[bystander].IsRunning());
    EXPECT_FALSE(PathExists(copies[chosen]->Path()));
    EXPECT_TRUE(PathExists(copies[bystander]->Path()));
}

TEST_F(MemoryPageTest, MoreThan256ListedProcessesEachRowStaysWithItsProcess)
{
    ProgramCopy shared("vardenix-many.exe", FILE_ATTRIBUTE_HIDDEN);
    std::vector<std::unique_ptr<ProgramUnderTest>> processes;
    for (int k = 0; k < 260; ++k) {
        processes.push_back(std::make_unique<ProgramUnderTest>());
        StartIdleProcess(*processes.back(), shared.Path());
    }
    Open();
    page_->RefreshProcessList();
    // Wine's own services are listed besides them ("Подозрительные").
    std::vector<DWORD> listed;
    int last = -1;
    for (int row = 0; row < page_->RowCount(); ++row) {
        const ListedProcess* process = page_->RowProcess(row);
        ASSERT_NE(process, nullptr) << row;
        EXPECT_EQ(page_->RowText(row, 2), Widen(process->path)) << row;
        if (process->path == shared.Path()) {
            listed.push_back(process->id);
            last = row;
        }
    }
    std::vector<DWORD> started;
    for (const auto& process : processes)
        started.push_back(process->ProcessId());
    std::sort(listed.begin(), listed.end());
    std::sort(started.begin(), started.end());
    ASSERT_EQ(listed, started);

    ASSERT_GE(last, 259);
    const DWORD chosen = page_->RowProcess(last)->id;
    Select(last);
    ClickDelete();
    // The file is still in use by the others: it stays, hidden as it was.
    EXPECT_EQ(recorder_.Texts(), (std::vector<std::wstring>{L"Удаление: vardenix-many.exe?", kWait, kDeleteError}));
    EXPECT_EQ(GetFileAttributesA(shared.Path().c_str()) & FILE_ATTRIBUTE_HIDDEN, static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN));
    for (const auto& process : processes)
        EXPECT_EQ(process->IsRunning(), process->ProcessId() != chosen) << process->ProcessId();
}
