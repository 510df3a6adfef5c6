#include "framework/Dpi.h"
#include "framework/ListView.h"
#include "framework/Worker.h"
#include "support/ListCells.h"
#include "support/TestDrive.h"

#include "TestResources.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <initializer_list>
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

namespace {

// A visible window of the test's own holding a report list `width` pixels
// wide (at 96 DPI) with `columns`, as a page holds its list.
class ListHost {
public:
    ListHost(int width, std::initializer_list<ListColumn> columns)
    {
        INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES};
        InitCommonControlsEx(&controls);
        const int dpi = WindowDpi(nullptr);
        window_ = CreateWindowExW(WS_EX_TOPMOST, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 40, 40,
                                  ScaleToDpi(width + 40, dpi), ScaleToDpi(240, dpi), nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
        list = CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | WS_VISIBLE | WS_BORDER | LVS_REPORT | LVS_SHOWSELALWAYS,
                               ScaleToDpi(10, dpi), ScaleToDpi(10, dpi), ScaleToDpi(width, dpi),
                               ScaleToDpi(200, dpi), window_, nullptr, GetModuleHandleW(nullptr), nullptr);
        SendMessageW(list, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
        SetUpList(list, columns);
    }
    ~ListHost() { DestroyWindow(window_); }
    ListHost(const ListHost&) = delete;
    ListHost& operator=(const ListHost&) = delete;

    // Enough rows for the vertical scroll bar.
    void Fill(int rows = 40)
    {
        for (int row = 0; row < rows; ++row)
            InsertListRow(list, row, L"E:\\setup.exe");
    }
    int Width(int column) const { return static_cast<int>(SendMessageW(list, LVM_GETCOLUMNWIDTH, column, 0)); }
    int ClientWidth() const
    {
        RECT client;
        GetClientRect(list, &client);
        return client.right;
    }

    HWND list = nullptr;

private:
    HWND window_ = nullptr;
};

const std::wstring kLongPath =
    L"E:\\Документы\\Отчёты за 2024 год\\Проекты заказчиков\\Материалы и переписка\\setup.exe";

}  // namespace

TEST(ListColumns, FillColumnsTakeTheRoomTheOthersLeaveAlsoOnceTheScrollBarComes)
{
    const ListColumn::Fit fill = ListColumn::Fill;
    constexpr int kTheRoomLeft = -1;
    const struct {
        const char* name;
        int listWidth;
        std::initializer_list<ListColumn> columns;
        int fillWidth;  // at 96 DPI
    } cases[] = {
        {"a path and its state", 400, {{IDS_TEST_LABEL, 600, fill}, {IDS_TEST_QUESTION, 135}}, kTheRoomLeft},
        {"two paths", 400, {{IDS_TEST_LABEL, 410, fill}, {IDS_TEST_QUESTION, 410, fill}}, kTheRoomLeft},
        {"more room than it wants", 400, {{IDS_TEST_LABEL, 80}, {IDS_TEST_QUESTION, 150, fill}}, 150},
        {"too little room", 200, {{IDS_TEST_LABEL, 600, fill}, {IDS_TEST_QUESTION, 135}}, kMinFillWidth},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ListHost host(c.listWidth, c.columns);
        const int dpi = WindowDpi(host.list);
        const int before = ColumnsWidth(host.list);
        host.Fill();
        ASSERT_TRUE(GetWindowLongPtrW(host.list, GWL_STYLE) & WS_VSCROLL);
        EXPECT_EQ(ColumnsWidth(host.list), before) << "the rows and their scroll bar move no column";

        int k = 0, fills = 0, fillWidth = -1;
        for (const ListColumn& column : c.columns) {
            const int width = host.Width(k++);
            if (column.fit == ListColumn::Fixed) {
                EXPECT_EQ(width, ScaleToDpi(column.width, dpi)) << "the page's width, at the DPI";
                continue;
            }
            EXPECT_TRUE(fillWidth < 0 || width == fillWidth) << "fill columns share alike";
            fillWidth = width;
            ++fills;
        }
        if (c.fillWidth == kTheRoomLeft) {
            EXPECT_LE(ColumnsWidth(host.list), host.ClientWidth());
            EXPECT_GT(ColumnsWidth(host.list), host.ClientWidth() - fills);
        } else {
            EXPECT_EQ(fillWidth, ScaleToDpi(c.fillWidth, dpi));
        }
    }
}

TEST(ListCells, ATextTooLongIsCutInTheMiddleAndReadWhole)
{
    ListHost host(400, {{IDS_TEST_LABEL, 600, ListColumn::Fill}, {IDS_TEST_QUESTION, 135}});
    const std::wstring sentence = L"Эта строка без обратной косой черты длиннее своего столбца";
    const struct {
        std::wstring text;
        int column;
        std::wstring begins, ends;  // empty: shown whole
    } cases[] = {
        {kLongPath, 0, L"E:\\Док", L"...\\setup.exe"},
        {L"E:\\setup.exe", 0, L"", L""},
        {L"E:\\" + std::wstring(80, L'ж') + L".exe", 0, L"E:\\", L"жж.exe"},
        {sentence, 1, L"Эта", L"столбца"},
        {L"Риск", 1, L"", L""},
    };
    for (size_t k = 0; k < sizeof cases / sizeof cases[0]; ++k) {
        const auto& c = cases[k];
        SCOPED_TRACE(c.text);
        const int row = InsertListRow(host.list, static_cast<int>(k), c.column == 0 ? c.text : L"x");
        SetListText(host.list, row, 1, c.column == 1 ? c.text : L"y");
        const std::wstring shown = ShownListText(host.list, row, c.column);
        EXPECT_EQ(ListText(host.list, row, c.column), c.text);
        if (c.begins.empty()) {
            EXPECT_EQ(shown, c.text);
            continue;
        }
        EXPECT_EQ(shown.compare(0, c.begins.size(), c.begins), 0) << shown;
        ASSERT_GE(shown.size(), c.ends.size());
        EXPECT_EQ(shown.compare(shown.size() - c.ends.size(), c.ends.size(), c.ends), 0) << shown;
        EXPECT_NE(shown.find(L"..."), std::wstring::npos);
        EXPECT_LT(static_cast<int>(SendMessageW(host.list, LVM_GETSTRINGWIDTHW, 0,
                                                reinterpret_cast<LPARAM>(shown.c_str()))),
                  host.Width(c.column));
    }
}

TEST(ListCells, ACutCellIsDrawnInTheListsOwnColours)
{
    ListHost host(400, {{IDS_TEST_LABEL, 600, ListColumn::Fill}, {IDS_TEST_QUESTION, 135}});
    InsertListRow(host.list, 0, kLongPath);
    InsertListRow(host.list, 1, kLongPath);
    SetFocus(host.list);
    LVITEMW selected = {};
    selected.stateMask = selected.state = LVIS_SELECTED;
    SendMessageW(host.list, LVM_SETITEMSTATE, 1, reinterpret_cast<LPARAM>(&selected));

    // The list painted into a bitmap of its client area.
    RECT client;
    GetClientRect(host.list, &client);
    const HDC screen = GetDC(nullptr);
    const HDC dc = CreateCompatibleDC(screen);
    const HBITMAP canvas = CreateCompatibleBitmap(screen, client.right, client.bottom);
    ReleaseDC(nullptr, screen);
    const HGDIOBJ old = SelectObject(dc, canvas);
    SendMessageW(host.list, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT | PRF_ERASEBKGND);
    const COLORREF expected[] = {GetSysColor(COLOR_WINDOW), GetSysColor(COLOR_HIGHLIGHT)};
    for (int row = 0; row < 2; ++row) {
        SCOPED_TRACE(row);
        RECT cell = {};
        cell.left = LVIR_LABEL;
        SendMessageW(host.list, LVM_GETSUBITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&cell));
        int background = 0, all = 0;
        for (int y = cell.top + 1; y < cell.bottom - 1; ++y)
            for (int x = cell.left + 1; x < cell.right - 1; ++x, ++all)
                background += GetPixel(dc, x, y) == expected[row];
        EXPECT_GT(background, all * 3 / 4) << "the text is written on the row's background";
        EXPECT_LT(background, all) << "and the text is there";
    }
    SelectObject(dc, old);
    DeleteObject(canvas);
    DeleteDC(dc);
}
