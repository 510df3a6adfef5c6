#include "framework/Control.h"
#include "framework/Dialog.h"
#include "framework/Worker.h"
#include "support/TestDrive.h"

#include "TestResources.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <utility>
#include <vector>

namespace {

const UINT kAppMessage = WM_APP + 7;

// A dialog that records what reaches its handlers; tests give it behaviour
// through the callbacks.
class RecordingDialog : public Dialog {
public:
    explicit RecordingDialog(UINT templateId = IDD_TEST_DIALOG) : Dialog(templateId) {}

    std::function<void(RecordingDialog&)> onInit;
    std::function<void(RecordingDialog&, WPARAM, LPARAM)> onAppMessage;
    std::function<void(RecordingDialog&, UINT_PTR)> onTimer;

    std::wstring captionAtInit;
    std::wstring labelAtInit;
    std::vector<std::pair<WORD, WORD>> commands;
    std::vector<std::pair<WPARAM, LPARAM>> appMessages;
    int destroyed = 0;

protected:
    bool OnInitDialog() override
    {
        wchar_t caption[100] = {};
        GetWindowTextW(Handle(), caption, 100);
        captionAtInit = caption;
        labelAtInit = ItemText(IDC_TEST_LABEL);
        if (onInit)
            onInit(*this);
        return true;
    }
    bool OnCommand(WORD id, WORD code, HWND) override
    {
        commands.emplace_back(id, code);
        return true;
    }
    bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override
    {
        if (msg != kAppMessage)
            return false;
        appMessages.emplace_back(wParam, lParam);
        if (onAppMessage)
            onAppMessage(*this, wParam, lParam);
        result = 0;
        return true;
    }
    void OnTimer(UINT_PTR id) override
    {
        if (onTimer)
            onTimer(*this, id);
    }
    void OnDestroy() override { ++destroyed; }
};

// A page: a child dialog on which Enter and Escape do nothing.
class TestPage : public RecordingDialog {
public:
    TestPage() : RecordingDialog(IDD_TEST_PAGE) {}

protected:
    void OnOK() override {}
    void OnCancel() override {}
};

void PostCommand(HWND window, WORD id, WORD code = BN_CLICKED)
{
    PostMessageW(window, WM_COMMAND, MAKEWPARAM(id, code), 0);
}

} // namespace

TEST(ModalDialog, ShowsTheUnicodeTemplateAndEndsWithOkOrCancel)
{
    for (const WORD button : {WORD(IDOK), WORD(IDCANCEL)}) {
        SCOPED_TRACE(button);
        RecordingDialog dialog;
        dialog.onInit = [button](RecordingDialog& d) {
            PostCommand(d.Handle(), IDC_TEST_BUTTON);
            PostCommand(d.Handle(), button);
        };
        EXPECT_EQ(dialog.RunModal(nullptr), button);
        EXPECT_EQ(dialog.captionAtInit, L"Проверка диалога");
        EXPECT_EQ(dialog.labelAtInit, L"Защита USB");
        // OK and Cancel go to their own handlers, not to OnCommand.
        ASSERT_EQ(dialog.commands.size(), 1u);
        EXPECT_EQ(dialog.commands[0], std::make_pair(WORD(IDC_TEST_BUTTON), WORD(BN_CLICKED)));
        EXPECT_EQ(dialog.destroyed, 1);
        EXPECT_EQ(dialog.Handle(), nullptr);
    }
}

TEST(ModalDialog, PostedAppMessageReachesOnMessage)
{
    RecordingDialog dialog;
    dialog.onInit = [](RecordingDialog& d) { d.Post(kAppMessage, 5, 6); };
    dialog.onAppMessage = [](RecordingDialog& d, WPARAM wParam, LPARAM) { d.EndModal(static_cast<INT_PTR>(wParam) * 10); };
    EXPECT_EQ(dialog.RunModal(nullptr), 50);
    ASSERT_EQ(dialog.appMessages.size(), 1u);
    EXPECT_EQ(dialog.appMessages[0].second, 6);
}

TEST(ModalDialog, TimerReachesOnTimer)
{
    RecordingDialog dialog;
    int ticks = 0;
    dialog.onInit = [](RecordingDialog& d) { d.StartTimer(3, 10); };
    dialog.onTimer = [&ticks](RecordingDialog& d, UINT_PTR id) {
        if (++ticks == 2) {
            d.StopTimer(id);
            d.EndModal(static_cast<INT_PTR>(id));
        }
    };
    EXPECT_EQ(dialog.RunModal(nullptr), 3);
    EXPECT_EQ(ticks, 2);
}

TEST(ModalDialog, AWindowHiddenByItsInitialisationStaysHidden)
{
    // The main window hides itself at the end of start-up by a posted
    // message; the modal run must not show it again at its first idle moment.
    RecordingDialog dialog(IDD_TEST_VISIBLE);
    bool visibleLater = true;
    dialog.onInit = [](RecordingDialog& d) { d.Post(kAppMessage, 1, 0); };
    dialog.onAppMessage = [](RecordingDialog& d, WPARAM step, LPARAM) {
        if (step == 1) {
            d.Hide();
            d.StartTimer(9, 300);
        }
    };
    dialog.onTimer = [&visibleLater](RecordingDialog& d, UINT_PTR) {
        visibleLater = d.IsVisible();
        d.EndModal(4);
    };
    EXPECT_EQ(dialog.RunModal(nullptr), 4);
    EXPECT_FALSE(visibleLater);
}

TEST(ModalDialog, MissingTemplateFails)
{
    RecordingDialog dialog(999);
    EXPECT_EQ(dialog.RunModal(nullptr), -1);
}

TEST(Worker, PostsToTheDialogAndEndsTheModalRunFromItsThread)
{
    RecordingDialog dialog;
    dialog.onInit = [](RecordingDialog& d) {
        const HWND window = d.Handle();
        StartWorker([window, &d] {
            PostToWindow(window, kAppMessage, GetCurrentThreadId(), 1);
            d.EndModal(77);
        });
    };
    EXPECT_EQ(dialog.RunModal(nullptr), 77);
    ASSERT_EQ(dialog.appMessages.size(), 1u);
    EXPECT_NE(dialog.appMessages[0].first, GetCurrentThreadId());
}

namespace {
DWORD WINAPI PostingWorker(void* argument)
{
    auto* dialog = static_cast<RecordingDialog*>(argument);
    // SendMessage from a worker waits until the dialog's thread has handled it.
    SendMessageW(dialog->Handle(), kAppMessage, 2, 0);
    PostToWindow(dialog->Handle(), WM_COMMAND, IDOK);
    return 0;
}
} // namespace

TEST(Worker, ThreadProcWithArgument)
{
    RecordingDialog dialog;
    dialog.onInit = [](RecordingDialog& d) { EXPECT_TRUE(StartWorkerThread(PostingWorker, &d)); };
    EXPECT_EQ(dialog.RunModal(nullptr), IDOK);
    ASSERT_EQ(dialog.appMessages.size(), 1u);
    EXPECT_EQ(dialog.appMessages[0].first, 2u);
}

TEST(Worker, RefusesANullWindowAndAnEmptyJob)
{
    EXPECT_FALSE(PostToWindow(nullptr, kAppMessage));
    EXPECT_FALSE(StartWorker(nullptr));
    EXPECT_FALSE(StartWorkerThread(nullptr, nullptr));
}

TEST(Worker, ManyWorkersAllReport)
{
    RecordingDialog dialog;
    ASSERT_TRUE(dialog.CreateModeless(nullptr));
    for (int i = 0; i < 8; ++i) {
        const HWND window = dialog.Handle();
        ASSERT_TRUE(StartWorker([window, i] { PostToWindow(window, kAppMessage, static_cast<WPARAM>(i)); }));
    }
    EXPECT_TRUE(WaitFor([&] { return dialog.appMessages.size() == 8; }));
}

TEST(ModelessDialog, CancelAndCloseDestroyIt)
{
    RecordingDialog dialog;
    ASSERT_TRUE(dialog.CreateModeless(nullptr));
    HWND window = dialog.Handle();
    ASSERT_TRUE(IsWindow(window));
    EXPECT_EQ(dialog.labelAtInit, L"Защита USB");
    EXPECT_FALSE(dialog.CreateModeless(nullptr)) << "a second window for the same object";

    SendMessageW(window, WM_COMMAND, IDCANCEL, 0);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(dialog.Handle(), nullptr);
    EXPECT_EQ(dialog.destroyed, 1);

    // The caption's close button: the dialog manager turns WM_CLOSE into IDCANCEL.
    ASSERT_TRUE(dialog.CreateModeless(nullptr));
    window = dialog.Handle();
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(WaitFor([&] { return !IsWindow(window); }, 5000));
    EXPECT_EQ(dialog.destroyed, 2);
}

TEST(ModelessDialog, DestroyingTheObjectDestroysTheWindow)
{
    HWND window = nullptr;
    {
        RecordingDialog dialog;
        ASSERT_TRUE(dialog.CreateModeless(nullptr));
        window = dialog.Handle();
    }
    EXPECT_FALSE(IsWindow(window));
}

TEST(ModelessDialog, PageIsAChildThatIgnoresEnterAndEscape)
{
    RecordingDialog owner;
    ASSERT_TRUE(owner.CreateModeless(nullptr));
    TestPage page;
    ASSERT_TRUE(page.CreateModeless(owner.Handle()));
    EXPECT_EQ(GetParent(page.Handle()), owner.Handle());
    EXPECT_TRUE(GetWindowLongPtrW(page.Handle(), GWL_STYLE) & WS_CHILD);
    EXPECT_FALSE(page.IsVisible());

    SendMessageW(page.Handle(), WM_COMMAND, IDOK, 0);
    SendMessageW(page.Handle(), WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(IsWindow(page.Handle()));

    // The page's own buttons reach the page, not its owner.
    SendMessageW(page.Item(IDC_TEST_BUTTON), BM_CLICK, 0, 0);
    ASSERT_EQ(page.commands.size(), 1u);
    EXPECT_EQ(page.commands[0].first, IDC_TEST_BUTTON);
    EXPECT_TRUE(owner.commands.empty());

    EXPECT_TRUE(page.SetItemText(IDC_TEST_LABEL, L"Угроз не обнаружено"));
    EXPECT_EQ(page.ItemText(IDC_TEST_LABEL), L"Угроз не обнаружено");

    owner.Destroy();
    EXPECT_EQ(page.Handle(), nullptr);
    EXPECT_EQ(page.destroyed, 1);
}

namespace {
class AnsweringDialog : public RecordingDialog {
protected:
    bool OnMessage(UINT msg, WPARAM, LPARAM, LRESULT& result) override
    {
        if (msg == kAppMessage)
            result = 1234;
        else if (msg == WM_QUERYDRAGICON)
            result = 0x5678;
        else
            return false;
        return true;
    }
};
} // namespace

TEST(ModelessDialog, AnswersOfOnMessageReachTheSender)
{
    AnsweringDialog dialog;
    ASSERT_TRUE(dialog.CreateModeless(nullptr));
    // One through DWLP_MSGRESULT, one that the dialog procedure returns itself.
    EXPECT_EQ(dialog.Send(kAppMessage), 1234);
    EXPECT_EQ(dialog.Send(WM_QUERYDRAGICON), 0x5678);
}

namespace {
class SystemCommandDialog : public RecordingDialog {
public:
    int helps = 0;

protected:
    // As the main window does: the close command hides instead of closing.
    bool OnSysCommand(WPARAM command, LPARAM) override
    {
        if ((command & 0xFFF0) != SC_CLOSE)
            return false;
        Hide();
        return true;
    }
    bool OnHelp(HELPINFO*) override
    {
        ++helps;
        return true;
    }
};
} // namespace

TEST(ModelessDialog, SystemCommandAndHelpReachTheirHandlers)
{
    SystemCommandDialog dialog;
    ASSERT_TRUE(dialog.CreateModeless(nullptr));
    dialog.Show();
    SendMessageW(dialog.Handle(), WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_TRUE(IsWindow(dialog.Handle()));
    EXPECT_FALSE(dialog.IsVisible());
    EXPECT_EQ(dialog.destroyed, 0);

    HELPINFO info = {sizeof(info)};
    SendMessageW(dialog.Handle(), WM_HELP, 0, reinterpret_cast<LPARAM>(&info));
    EXPECT_EQ(dialog.helps, 1);
}

namespace {
class CountingControl : public Control {
public:
    std::vector<UINT> drawnIds;
    void DrawItem(const DRAWITEMSTRUCT& item) override { drawnIds.push_back(item.CtlID); }
};
} // namespace

TEST(ModelessDialog, OwnerDrawRequestsReachTheControlObject)
{
    RecordingDialog dialog;
    ASSERT_TRUE(dialog.CreateModeless(nullptr));
    dialog.Show();
    CountingControl control;
    ASSERT_TRUE(control.Attach(dialog.Handle(), IDC_TEST_OWNERDRAWN));
    EXPECT_FALSE(control.Attach(dialog.Handle(), IDC_TEST_BUTTON)) << "one window per object";
    EXPECT_EQ(Control::FromHandle(control.Handle()), &control);
    EXPECT_EQ(Control::FromHandle(dialog.Item(IDC_TEST_BUTTON)), nullptr);

    RedrawWindow(control.Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    ASSERT_FALSE(control.drawnIds.empty());
    EXPECT_EQ(control.drawnIds.back(), UINT(IDC_TEST_OWNERDRAWN));

    const HWND item = control.Handle();
    control.Detach();
    EXPECT_EQ(Control::FromHandle(item), nullptr);
    control.drawnIds.clear();
    RedrawWindow(item, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    EXPECT_TRUE(control.drawnIds.empty());
}

TEST(ModelessDialog, ControlLetsGoWhenItsWindowIsDestroyed)
{
    CountingControl control;
    {
        RecordingDialog dialog;
        ASSERT_TRUE(dialog.CreateModeless(nullptr));
        ASSERT_TRUE(control.Attach(dialog.Handle(), IDC_TEST_OWNERDRAWN));
    }
    EXPECT_EQ(control.Handle(), nullptr);
}
