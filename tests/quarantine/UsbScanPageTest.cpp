#include "QuarantineTestSupport.h"
#include "framework/Text.h"
#include "quarantine/UsbScanPage.h"
#include "res/resource.h"
#include "support/MessageRecorder.h"
#include "support/PageHost.h"
#include "support/ShortcutWriter.h"
#include "support/TestDrive.h"

#include <commctrl.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

namespace {

const wchar_t kSuspicious[] = L"Подозрительные";
const wchar_t kDeleted[] = L"Удален";
const wchar_t kDeleteError[] = L"Ошибка удаления";
const wchar_t kNoThreats[] = L"Угроз не обнаружено";
const wchar_t kWait[] = L"Ожидайте";

// Enabled state of scan, stop, delete and delete all, in that order.
using Buttons = std::array<bool, 4>;
constexpr Buttons kIdle = {true, true, true, true};
constexpr Buttons kBusy = {false, true, false, false};

class UsbScanPageTest : public QuarantineTest {
protected:
    void SetUp() override
    {
        QuarantineTest::SetUp();
        ASSERT_NE(host_.Handle(), nullptr);
        ASSERT_TRUE(page_.CreateModeless(host_.Handle()));
    }
    void TearDown() override
    {
        EXPECT_TRUE(WaitFor([&] { return Idle(); })) << "a worker still runs";
        page_.Destroy();
        QuarantineTest::TearDown();
    }

    void Click(int id) const { ClickButton(page_, id); }
    // Any thread.
    Buttons ButtonStates() const
    {
        Buttons states{};
        const int ids[] = {IDC_SCAN_START, IDC_THREAT_LIST_OR_STOP, IDC_SCAN_DELETE, IDC_SCAN_DELETE_ALL};
        for (size_t k = 0; k < states.size(); ++k)
            states[k] = IsWindowEnabled(page_.Item(ids[k])) != FALSE;
        return states;
    }
    bool Idle() const { return !page_.IsScanning() && ButtonStates() == kIdle; }
    void Scan()
    {
        Click(IDC_SCAN_START);
        ASSERT_TRUE(WaitFor([&] { return Idle(); }, 60000));
    }
    void Select(int row) const
    {
        LVITEMW state = {};
        state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        state.state = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageW(page_.List(), LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&state));
    }
    std::vector<std::wstring> Column(int column) const
    {
        std::vector<std::wstring> texts;
        for (int row = 0; row < page_.RowCount(); ++row)
            texts.push_back(page_.RowText(row, column));
        return texts;
    }
    std::wstring Counter() const { return page_.ItemText(IDC_SCAN_COUNTER); }
    // Answers `answer` and notes the buttons while each message shows.
    void AnswerAndNoteButtons(int answer)
    {
        recorder_.SetAnswer([this, answer](const MessageBoxCall&) {
            buttonsAtMessage_.push_back(ButtonStates());
            return answer;
        });
    }

    MessageRecorder recorder_;
    TestDrive drive_{'R', DRIVE_REMOVABLE};
    PageHost host_;
    UsbScanPage page_;
    std::vector<Buttons> buttonsAtMessage_;
};

}  // namespace

TEST_F(UsbScanPageTest, ScanListsSuspiciousFilesReplacesOldRowsAndCounts)
{
    EXPECT_EQ(Counter(), L"");
    MakeFolder(drive_ / "sub", FILE_ATTRIBUTE_HIDDEN);
    MakeFile(drive_ / "sub\\run.exe", "MZ", FILE_ATTRIBUTE_HIDDEN);
    MakeFile(drive_ / "sub\\seen.exe", "MZ");
    Scan();
    EXPECT_EQ(Column(0), std::vector<std::wstring>{Widen(drive_ / "sub\\run.exe")});
    EXPECT_EQ(Column(1), std::vector<std::wstring>{kSuspicious});
    EXPECT_EQ(Counter(), L"1 найденных угроз");

    MakeFile(drive_ / "a.vbs");
    MakeFile(drive_ / "b.pif");
    Scan();
    EXPECT_EQ(page_.RowCount(), 3) << "the new scan replaces the rows";
    EXPECT_EQ(Counter(), L"3 найденных угроз");
    EXPECT_EQ(recorder_.Count(), 0u);

    RemoveTree(drive_ / "sub");
    RemoveTree(drive_ / "a.vbs");
    RemoveTree(drive_ / "b.pif");
    Scan();
    EXPECT_EQ(page_.RowCount(), 0);
    EXPECT_EQ(Counter(), kNoThreats);
}

TEST_F(UsbScanPageTest, ScanWithoutADriveTellsSoAndKeepsTheRows)
{
    MakeFile(drive_ / "a.vbs");
    Scan();
    ASSERT_EQ(page_.RowCount(), 1);
    drive_.Detach();
    AnswerAndNoteButtons(IDOK);
    Scan();
    EXPECT_EQ(recorder_.Texts(), std::vector<std::wstring>{L"USB устройство не обнаружено"});
    EXPECT_EQ(buttonsAtMessage_, std::vector<Buttons>{kBusy});
    EXPECT_EQ(Column(0), std::vector<std::wstring>{Widen(drive_ / "a.vbs")});
    EXPECT_EQ(Counter(), kNoThreats);
    drive_.Attach();
}

TEST_F(UsbScanPageTest, StopEndsARunningScanAndTheLabelCountsTheRowsListed)
{
    for (int folder = 0; folder < 40; ++folder) {
        const std::string name = "d" + std::to_string(folder);
        MakeFolder(drive_ / name);
        for (int file = 0; file < 25; ++file)
            MakeFile(drive_ / (name + "\\f" + std::to_string(file) + ".vbs"));
    }
    Click(IDC_SCAN_START);
    // Rows reach the list only while this thread handles messages, so the
    // scan cannot have gone on past one more batch of rows when Stop comes.
    ASSERT_TRUE(WaitFor([&] { return page_.RowCount() >= 5; }));
    EXPECT_TRUE(page_.IsScanning());
    EXPECT_EQ(ButtonStates(), kBusy);
    const int seen = page_.RowCount();
    Click(IDC_THREAT_LIST_OR_STOP);
    EXPECT_FALSE(page_.IsScanning());
    EXPECT_EQ(ButtonStates(), kBusy) << "stopping: the worker has not ended yet";
    ASSERT_TRUE(WaitFor([&] { return Idle(); }, 5000));
    EXPECT_LE(page_.RowCount(), seen + 64);
    EXPECT_EQ(Counter(), std::to_wstring(page_.RowCount()) + L" найденных угроз");

    // Stop before the worker has listed anything.
    Click(IDC_SCAN_START);
    Click(IDC_THREAT_LIST_OR_STOP);
    ASSERT_TRUE(WaitFor([&] { return Idle(); }, 5000));
    EXPECT_EQ(page_.RowCount(), 0);
    EXPECT_EQ(Counter(), kNoThreats);
}

TEST_F(UsbScanPageTest, DeleteOneAsksQuarantinesAndKeepsTheRow)
{
    const std::string gone = drive_ / "gone.vbs";
    const std::string kept = drive_ / "kept.vbs";
    const std::string locked = drive_ / "locked.exe";
    MakeFile(gone);
    MakeFile(kept, "kept");
    MakeFile(locked, "MZ", FILE_ATTRIBUTE_HIDDEN);

    AnswerAndNoteButtons(IDOK);
    Click(IDC_SCAN_DELETE);
    Scan();
    Click(IDC_SCAN_DELETE);
    EXPECT_EQ(recorder_.Texts(), (std::vector<std::wstring>{kNoThreats, L"Пожалуйста, выберите файл"}));
    EXPECT_EQ(ButtonStates(), kIdle);
    ASSERT_EQ(page_.RowCount(), 3);
    const std::vector<std::wstring> paths = Column(0);
    auto rowOf = [&](const std::string& path) {
        return static_cast<int>(std::find(paths.begin(), paths.end(), Widen(path)) - paths.begin());
    };

    recorder_.Clear();
    buttonsAtMessage_.clear();
    recorder_.SetAnswer(IDCANCEL);
    Select(rowOf(kept));
    Click(IDC_SCAN_DELETE);
    EXPECT_EQ(recorder_.Texts(), std::vector<std::wstring>{L"Удаление: " + Widen(kept) + L"?"});
    EXPECT_TRUE(PathExists(kept));

    recorder_.Clear();
    AnswerAndNoteButtons(IDOK);
    Click(IDC_SCAN_DELETE);
    EXPECT_EQ(recorder_.Texts(), (std::vector<std::wstring>{L"Удаление: " + Widen(kept) + L"?", kWait}));
    const Buttons deletingOne = {false, true, true, true};
    EXPECT_EQ(buttonsAtMessage_, (std::vector<Buttons>{deletingOne, deletingOne}));
    EXPECT_FALSE(PathExists(kept));
    EXPECT_EQ(ItemNames(), std::vector<std::string>{"kept.vbs.vw"});

    // A file already gone is "deleted" without the wait message.
    RemoveTree(gone);
    recorder_.Clear();
    Select(rowOf(gone));
    Click(IDC_SCAN_DELETE);
    EXPECT_EQ(recorder_.Texts(), std::vector<std::wstring>{L"Удаление: " + Widen(gone) + L"?"});

    // A file that cannot be read stays as it was found, hidden still.
    const HANDLE hold = CreateFileA(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(hold, INVALID_HANDLE_VALUE);
    Select(rowOf(locked));
    Click(IDC_SCAN_DELETE);
    CloseHandle(hold);
    EXPECT_EQ(GetFileAttributesA(locked.c_str()) & FILE_ATTRIBUTE_HIDDEN, static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN));

    EXPECT_EQ(page_.RowCount(), 3);
    EXPECT_EQ(page_.RowText(rowOf(kept), 1), kDeleted);
    EXPECT_EQ(page_.RowText(rowOf(gone), 1), kDeleted);
    EXPECT_EQ(page_.RowText(rowOf(locked), 1), kDeleteError);
    EXPECT_EQ(Counter(), L"3 найденных угроз");
    EXPECT_EQ(ButtonStates(), kIdle);
}

TEST_F(UsbScanPageTest, DeleteAllWorksThroughEveryRowAndEndsWithoutAMessage)
{
    AnswerAndNoteButtons(IDOK);
    Click(IDC_SCAN_DELETE_ALL);
    EXPECT_EQ(recorder_.Texts(), std::vector<std::wstring>{kNoThreats});

    MakeFolder(drive_ / "d");
    for (const char* name : {"a.vbs", "d\\b.vb", "d\\c.vbe"})
        MakeFile(drive_ / name, name);
    Scan();
    ASSERT_EQ(page_.RowCount(), 3);
    RemoveTree(drive_ / "d\\b.vb");

    recorder_.Clear();
    recorder_.SetAnswer(IDCANCEL);
    Click(IDC_SCAN_DELETE_ALL);
    EXPECT_EQ(recorder_.Texts(), std::vector<std::wstring>{L"Вы хотите удалить Все?"});
    EXPECT_TRUE(PathExists(drive_ / "a.vbs"));

    recorder_.Clear();
    buttonsAtMessage_.clear();
    AnswerAndNoteButtons(IDOK);
    Click(IDC_SCAN_DELETE_ALL);
    ASSERT_TRUE(WaitFor([&] { return Idle(); }));
    EXPECT_EQ(recorder_.Texts(), (std::vector<std::wstring>{L"Вы хотите удалить Все?", kWait}));
    EXPECT_EQ(buttonsAtMessage_, (std::vector<Buttons>{kIdle, kBusy}));
    EXPECT_EQ(Column(1), (std::vector<std::wstring>{kDeleted, kDeleted, kDeleted}));
    EXPECT_EQ(ItemNames().size(), 2u);
    EXPECT_FALSE(PathExists(drive_ / "a.vbs"));
}

TEST_F(UsbScanPageTest, ALongPathIsDeletedWholeOrNotAtAll)
{
    // A listed path of 258 bytes: cut to a 256-byte buffer it would end in
    // "evil." and so name the file "evil" beside it.
    std::string folder = drive_.Root();
    while (folder.size() < 249) {
        folder += "\\" + std::string(std::min<size_t>(19, 249 - folder.size() - 1), 'a');
        MakeFolder(folder);
    }
    const std::string longPath = folder + "\\evil.vbs";
    ASSERT_EQ(longPath.size(), 258u);
    MakeFile(longPath, "long");
    MakeFile(folder + "\\evil", "innocent");

    Scan();
    ASSERT_EQ(page_.RowCount(), 1);
    EXPECT_EQ(page_.RowText(0, 0), Widen(longPath));
    Select(0);
    Click(IDC_SCAN_DELETE);
    EXPECT_EQ(page_.RowText(0, 1), kDeleteError) << "the store cannot hold a path this long";
    EXPECT_EQ(ReadWholeFile(folder + "\\evil"), "innocent");
    EXPECT_EQ(ReadWholeFile(longPath), "long");
    EXPECT_TRUE(ItemNames().empty());
}

TEST_F(UsbScanPageTest, ADecoyAndWhatItStartsSayWhatTheyAre)
{
    MakeFolder(drive_ / "sub");
    MakeFile(drive_ / "sub\\k.usb", "payload");
    ShortcutSpec decoy;
    decoy.linkInfoTarget = L"C:\\windows\\system32\\cmd.exe";
    decoy.arguments = L"/r type sub\\k.usb|cmd";
    const std::wstring shortcut = Widen(drive_ / "sub") + L"\\Фото.lnk";
    WriteShortcut(shortcut, decoy);
    Scan();
    EXPECT_EQ(Column(0), (std::vector<std::wstring>{shortcut, Widen(drive_ / "sub\\k.usb")}));
    EXPECT_EQ(Column(1), (std::vector<std::wstring>{L"Ярлык вируса", L"Файл вируса"}));
    EXPECT_EQ(Counter(), L"2 найденных угроз");
    Click(IDC_SCAN_DELETE_ALL);
    ASSERT_TRUE(WaitFor([&] { return Idle(); }));
    EXPECT_EQ(ItemNames().size(), 2u);
}
