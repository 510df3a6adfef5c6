#include "framework/ListView.h"
#include "framework/Worker.h"
#include "support/TestDrive.h"

#include "TestResources.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

namespace {

class ListViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES};
        InitCommonControlsEx(&controls);
        list_ = CreateWindowExW(0, WC_LISTVIEWW, L"", WS_POPUP | LVS_REPORT, 0, 0, 400, 300, nullptr, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(list_, nullptr);
        SetUpList(list_, {{IDS_TEST_LABEL, 120}, {IDS_TEST_QUESTION, 80}});
    }
    void TearDown() override { DestroyWindow(list_); }

    HWND list_ = nullptr;
};

// A text of `length` characters whose every position differs from its
// neighbours, so that a cut or a shifted read shows.
std::wstring Text(size_t length)
{
    std::wstring text;
    for (size_t k = 0; k < length; ++k)
        text += static_cast<wchar_t>(L'a' + k % 26);
    return text;
}

TEST_F(ListViewTest, WorkerReadsWholeTextsAroundEveryBufferSize)
{
    // The buffer starts at MAX_PATH + 1 characters and doubles.
    const std::vector<size_t> lengths = {0, 1, 259, 260, 261, 521, 522, 523, 1023, 1024, 1025, 5000};
    for (size_t k = 0; k < lengths.size(); ++k) {
        const int row = InsertListRow(list_, static_cast<int>(k), Text(lengths[k]));
        ASSERT_EQ(row, static_cast<int>(k));
        SetListText(list_, row, 1, Text(lengths[k] + 1));
    }

    std::atomic<bool> done{false};
    std::vector<std::wstring> first, second;
    int rows = -1;
    const HWND list = list_;
    ASSERT_TRUE(StartWorker([&, list] {
        rows = ListRowCount(list);
        for (int row = 0; row < rows; ++row) {
            first.push_back(ListText(list, row, 0));
            second.push_back(ListText(list, row, 1));
        }
        done = true;
    }));
    ASSERT_TRUE(WaitFor([&] { return done.load(); }));

    ASSERT_EQ(rows, static_cast<int>(lengths.size()));
    for (size_t k = 0; k < lengths.size(); ++k) {
        SCOPED_TRACE(lengths[k]);
        EXPECT_EQ(first[k], Text(lengths[k]));
        EXPECT_EQ(second[k], Text(lengths[k] + 1));
    }
}

TEST_F(ListViewTest, InsertSelectAndClear)
{
    EXPECT_EQ(SendMessageW(list_, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) & 0x21, 0x21);
    EXPECT_EQ(SendMessageW(list_, LVM_GETCOLUMNWIDTH, 1, 0), 80);

    EXPECT_EQ(InsertListRow(list_, 0, L"b"), 0);
    EXPECT_EQ(InsertListRow(list_, 0, L"a"), 0);
    EXPECT_EQ(InsertListRow(list_, 99, L"c"), 2) << "a row past the end is appended";
    EXPECT_EQ(ListText(list_, 1, 0), L"b");
    EXPECT_EQ(ListText(list_, 7, 0), L"") << "no such row";
    EXPECT_EQ(SelectedListRow(list_), -1);

    LVITEMW state = {};
    state.stateMask = LVIS_SELECTED;
    state.state = LVIS_SELECTED;
    SendMessageW(list_, LVM_SETITEMSTATE, 2, reinterpret_cast<LPARAM>(&state));
    EXPECT_EQ(SelectedListRow(list_), 2);

    ClearList(list_);
    EXPECT_EQ(ListRowCount(list_), 0);
    EXPECT_EQ(SelectedListRow(list_), -1);
}

}  // namespace
