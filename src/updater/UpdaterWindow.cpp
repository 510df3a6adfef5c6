#include "updater/UpdaterWindow.h"

#include "framework/Text.h"
#include "framework/Worker.h"
#include "updater/UpdateDownload.h"
#include "updater/UpdaterResource.h"

#include <commctrl.h>

#include <atomic>
#include <mutex>

namespace {

// From the worker: the description has come (or not).
constexpr UINT kCheckedMessage = WM_APP + 1;
// From the worker: wParam bytes of the installer have come.
constexpr UINT kProgressMessage = WM_APP + 2;
// From the worker: the download has ended, checked, failed or cancelled.
constexpr UINT kDownloadedMessage = WM_APP + 3;

// A description is a few hundred bytes; anything this large is not one.
constexpr size_t kMaxDescriptionSize = 64 * 1024;
constexpr int kProgressSteps = 1000;

// The text of string `id` with %1 and %2 replaced.
std::wstring Text(UINT id, const std::wstring& first = std::wstring(), const std::wstring& second = std::wstring())
{
    std::wstring text = LoadText(id);
    const std::wstring* arguments[] = {&first, &second};
    for (int k = 0; k < 2; ++k) {
        const std::wstring mark = L"%" + std::to_wstring(k + 1);
        const size_t at = text.find(mark);
        if (at != std::wstring::npos)
            text.replace(at, mark.size(), *arguments[k]);
    }
    return text;
}

UINT ErrorMessage(WebResult result)
{
    switch (result) {
    case WebResult::Unreachable: return IDS_ERROR_UNREACHABLE;
    case WebResult::HttpError: return IDS_ERROR_HTTP;
    case WebResult::TooLong: return IDS_ERROR_MISMATCH;
    case WebResult::WriteFailed: return IDS_ERROR_FILE;
    default: return IDS_ERROR_INTERRUPTED;
    }
}

}  // namespace

// What a worker hands the window. The worker fills it in before it posts its
// message, and the window reads it after; the lock makes that order plain.
struct UpdaterWindow::Job {
    std::atomic<bool> cancel{false};
    std::mutex lock;
    WebOutcome outcome;
    std::string description;
    UINT failure = 0;
    std::unique_ptr<InstallerFile> installer;
};

UpdaterWindow::UpdaterWindow(std::vector<std::wstring> arguments, const char* publicKeyPem)
    : Dialog(IDD_UPDATER), arguments_(std::move(arguments)), publicKeyPem_(publicKeyPem)
{
    icon_ = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_UPDATER));
}

UpdaterWindow::~UpdaterWindow()
{
    // A worker still running (a check the user left) gives up at its next chance.
    if (job_)
        job_->cancel = true;
}

bool UpdaterWindow::OnInitDialog()
{
    Send(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
    Send(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));
    SendItemMessage(IDC_UPDATER_PROGRESS, PBM_SETRANGE32, 0, kProgressSteps);
    ShowItem(IDC_UPDATER_PROGRESS, false);
    // The notes take the room between the status and the progress bar.
    RECT label, progress;
    GetWindowRect(Item(IDC_UPDATER_NOTES_LABEL), &label);
    GetWindowRect(Item(IDC_UPDATER_PROGRESS), &progress);
    notesHeight_ = progress.top - label.top;
    ShowNotes(false);
    if (ParseUpdaterArguments(arguments_, request_))
        StartCheck();
    else
        Fail(IDS_ERROR_ARGUMENTS);
    // Each state has put the focus on its own button.
    return false;
}

void UpdaterWindow::SetState(State state, const std::wstring& status)
{
    state_ = state;
    SetItemText(IDC_UPDATER_STATUS, status);
    const bool offer = state == State::Offer;
    ShowItem(IDC_UPDATER_UPDATE, offer);
    EnableItem(IDC_UPDATER_UPDATE, offer);
    ShowItem(IDC_UPDATER_PROGRESS, state == State::Downloading || state == State::Cancelling);
    EnableItem(IDCANCEL, state != State::Cancelling);
    const bool finished = state == State::Latest || state == State::Failed;
    SetItemText(IDCANCEL, LoadText(finished ? IDS_CLOSE : IDS_CANCEL));
    Send(DM_SETDEFID, offer ? IDC_UPDATER_UPDATE : IDCANCEL);
    SetFocus(Item(offer ? IDC_UPDATER_UPDATE : IDCANCEL));
}

void UpdaterWindow::ShowNotes(bool show)
{
    if (show == notesShown_)
        return;
    notesShown_ = show;
    // Without the notes the controls below them move up and the window shrinks.
    const int shift = show ? notesHeight_ : -notesHeight_;
    for (int id : {IDC_UPDATER_PROGRESS, IDC_UPDATER_UPDATE, IDCANCEL}) {
        RECT place;
        GetWindowRect(Item(id), &place);
        MapWindowPoints(nullptr, Handle(), reinterpret_cast<POINT*>(&place), 2);
        SetWindowPos(Item(id), nullptr, place.left, place.top + shift, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    }
    RECT window;
    GetWindowRect(Handle(), &window);
    SetWindowPos(Handle(), nullptr, 0, 0, window.right - window.left, window.bottom - window.top + shift,
                 SWP_NOMOVE | SWP_NOZORDER);
    ShowItem(IDC_UPDATER_NOTES_LABEL, show);
    ShowItem(IDC_UPDATER_NOTES, show);
}

void UpdaterWindow::Fail(UINT message, const std::wstring& argument)
{
    ShowNotes(false);
    SetState(State::Failed, Text(message, argument));
}

void UpdaterWindow::StartCheck()
{
    SetState(State::Checking, LoadText(IDS_CHECKING));
    auto job = std::make_shared<Job>();
    job_ = job;
    const HWND window = Handle();
    const std::wstring url = request_.url;
    if (!StartWorker([job, window, url] {
            std::string text;
            const WebOutcome outcome = FetchText(url, kMaxDescriptionSize, text);
            {
                std::lock_guard<std::mutex> hold(job->lock);
                job->outcome = outcome;
                job->description = std::move(text);
            }
            PostToWindow(window, kCheckedMessage);
        }))
        Fail(IDS_ERROR_UNREACHABLE);
}

void UpdaterWindow::Checked()
{
    WebOutcome outcome;
    std::string text;
    {
        std::lock_guard<std::mutex> hold(job_->lock);
        outcome = job_->outcome;
        text = std::move(job_->description);
    }
    if (outcome.result == WebResult::TooLong)
        return Fail(IDS_ERROR_FORMAT);
    if (outcome.result != WebResult::Ok)
        return Fail(ErrorMessage(outcome.result), std::to_wstring(outcome.httpStatus));

    switch (CheckUpdateDescription(text, publicKeyPem_, kProductWord, TodayUtc(), description_)) {
    case DescriptionCheck::BadSignature: return Fail(IDS_ERROR_SIGNATURE);
    case DescriptionCheck::Malformed: return Fail(IDS_ERROR_FORMAT);
    case DescriptionCheck::Expired: return Fail(IDS_ERROR_EXPIRED);
    case DescriptionCheck::Valid: break;
    }
    installerUrl_ = ResolveWebAddress(request_.url, Widen(description_.installer, CP_UTF8));
    if (installerUrl_.empty())
        return Fail(IDS_ERROR_FORMAT);

    Version installed, offered;
    ParseVersion(request_.version, installed);
    ParseVersion(description_.version, offered);
    if (CompareVersions(offered, installed) <= 0)
        return SetState(State::Latest, Text(IDS_LATEST, Widen(request_.version)));
    SetItemText(IDC_UPDATER_NOTES, description_.notes);
    ShowNotes(true);
    SetState(State::Offer, Text(IDS_NEWER, Widen(description_.version), Widen(request_.version)));
}

void UpdaterWindow::StartDownload()
{
    SendItemMessage(IDC_UPDATER_PROGRESS, PBM_SETPOS, 0);
    SetState(State::Downloading, Text(IDS_DOWNLOADING, L"0", std::to_wstring((description_.size + 1023) / 1024)));
    auto job = std::make_shared<Job>();
    job_ = job;
    const HWND window = Handle();
    const std::wstring url = installerUrl_;
    const UpdateDescription description = description_;
    if (!StartWorker([job, window, url, description] {
            auto installer = std::make_unique<InstallerFile>();
            WebOutcome outcome;
            UINT failure = 0;
            if (!installer->Create(description.version)) {
                failure = IDS_ERROR_FILE;
            } else {
                unsigned long long posted = 0;
                outcome = DownloadToFile(url, installer->Handle(), description.size, job->cancel,
                                         [&](unsigned long long received) {
                                             // One message a step of the bar, not one a read.
                                             if ((received - posted) * kProgressSteps >= description.size ||
                                                 received == description.size) {
                                                 posted = received;
                                                 PostToWindow(window, kProgressMessage,
                                                              static_cast<WPARAM>(received));
                                             }
                                         });
                if (outcome.result == WebResult::Ok && (!installer->Seal() || !installer->Matches(description.sha256)))
                    failure = IDS_ERROR_MISMATCH;
                else if (outcome.result != WebResult::Ok && outcome.result != WebResult::Cancelled)
                    failure = ErrorMessage(outcome.result);
            }
            // A download that is not to run goes at once, with its folder.
            if (failure != 0 || outcome.result != WebResult::Ok)
                installer.reset();
            {
                std::lock_guard<std::mutex> hold(job->lock);
                job->outcome = outcome;
                job->failure = failure;
                job->installer = std::move(installer);
            }
            PostToWindow(window, kDownloadedMessage);
        }))
        Fail(IDS_ERROR_FILE);
}

void UpdaterWindow::ShowProgress(unsigned long long received)
{
    if (state_ != State::Downloading || description_.size == 0)
        return;
    SendItemMessage(IDC_UPDATER_PROGRESS, PBM_SETPOS,
                    static_cast<WPARAM>(received * kProgressSteps / description_.size));
    SetItemText(IDC_UPDATER_STATUS, Text(IDS_DOWNLOADING, std::to_wstring(received / 1024),
                                         std::to_wstring((description_.size + 1023) / 1024)));
}

void UpdaterWindow::Downloaded()
{
    WebOutcome outcome;
    UINT failure = 0;
    {
        std::lock_guard<std::mutex> hold(job_->lock);
        outcome = job_->outcome;
        failure = job_->failure;
        installer_ = std::move(job_->installer);
    }
    if (state_ == State::Cancelling || outcome.result == WebResult::Cancelled) {
        installer_.reset();
        EndModal(IDCANCEL);
    } else if (failure != 0) {
        Fail(failure, std::to_wstring(outcome.httpStatus));
    } else {
        EndModal(IDOK);
    }
}

bool UpdaterWindow::OnMessage(UINT msg, WPARAM wParam, LPARAM, LRESULT& result)
{
    switch (msg) {
    case kCheckedMessage:
        if (state_ == State::Checking)
            Checked();
        break;
    case kProgressMessage:
        ShowProgress(wParam);
        break;
    case kDownloadedMessage:
        Downloaded();
        break;
    default:
        return false;
    }
    result = 0;
    return true;
}

bool UpdaterWindow::OnCommand(WORD id, WORD, HWND)
{
    if (id != IDC_UPDATER_UPDATE)
        return false;
    if (state_ == State::Offer)
        StartDownload();
    return true;
}

void UpdaterWindow::OnOK()
{
    // Enter: the default button, "Обновить" on an offer and "Закрыть" otherwise.
    if (state_ == State::Offer)
        StartDownload();
    else
        OnCancel();
}

void UpdaterWindow::OnCancel()
{
    switch (state_) {
    case State::Downloading:
        // The worker deletes what it wrote and reports; the run ends then.
        job_->cancel = true;
        SetState(State::Cancelling, LoadText(IDS_CANCELLING));
        break;
    case State::Cancelling:
        break;
    default:
        EndModal(IDCANCEL);
        break;
    }
}

void UpdaterWindow::OnDpiChanged(int oldDpi)
{
    // The notes' room was measured in pixels, at the old DPI.
    notesHeight_ = MulDiv(notesHeight_, Dpi(), oldDpi);
}
