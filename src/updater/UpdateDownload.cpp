#include "updater/UpdateDownload.h"

#include <wininet.h>

#include <vector>

namespace {

class InternetHandle {
public:
    explicit InternetHandle(HINTERNET handle) : handle_(handle) {}
    ~InternetHandle()
    {
        if (handle_)
            InternetCloseHandle(handle_);
    }
    InternetHandle(const InternetHandle&) = delete;
    InternetHandle& operator=(const InternetHandle&) = delete;
    operator HINTERNET() const { return handle_; }

private:
    HINTERNET handle_;
};

using Sink = std::function<bool(const char* data, DWORD size, unsigned long long receivedBefore)>;

WebOutcome Transfer(const std::wstring& url, unsigned long long limit, const std::atomic<bool>* cancel,
                    const Sink& sink)
{
    WebOutcome outcome;
    InternetHandle session(InternetOpenW(L"Tollupd", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!session) {
        outcome.result = WebResult::Unreachable;
        return outcome;
    }
    // A stalled server ends the transfer instead of hanging the updater; a
    // cancel waits at most this long.
    DWORD timeout = 20000;
    InternetSetOptionW(session, INTERNET_OPTION_CONNECT_TIMEOUT, &timeout, sizeof timeout);
    InternetSetOptionW(session, INTERNET_OPTION_SEND_TIMEOUT, &timeout, sizeof timeout);
    InternetSetOptionW(session, INTERNET_OPTION_RECEIVE_TIMEOUT, &timeout, sizeof timeout);

    const DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE |
                        INTERNET_FLAG_NO_UI | INTERNET_FLAG_NO_COOKIES;
    InternetHandle request(InternetOpenUrlW(session, url.c_str(), nullptr, 0, flags, 0));
    if (!request) {
        outcome.result = WebResult::Unreachable;
        return outcome;
    }
    DWORD status = 0;
    DWORD statusSize = sizeof status;
    if (!HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &statusSize, nullptr) ||
        status != HTTP_STATUS_OK) {
        outcome.httpStatus = status;
        outcome.result = WebResult::HttpError;
        return outcome;
    }
    outcome.httpStatus = status;

    std::vector<char> buffer(64 * 1024);
    for (;;) {
        if (cancel && cancel->load()) {
            outcome.result = WebResult::Cancelled;
            return outcome;
        }
        DWORD got = 0;
        if (!InternetReadFile(request, buffer.data(), static_cast<DWORD>(buffer.size()), &got)) {
            outcome.result = WebResult::Interrupted;
            return outcome;
        }
        if (got == 0)
            return outcome;
        if (got > limit - outcome.received) {
            outcome.result = WebResult::TooLong;
            return outcome;
        }
        if (!sink(buffer.data(), got, outcome.received)) {
            outcome.result = WebResult::WriteFailed;
            return outcome;
        }
        outcome.received += got;
    }
}

}  // namespace

bool IsWebAddress(const std::wstring& url)
{
    URL_COMPONENTSW parts = {};
    parts.dwStructSize = sizeof parts;
    parts.dwHostNameLength = 1;
    parts.dwSchemeLength = 1;
    if (url.empty() || !InternetCrackUrlW(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts))
        return false;
    return (parts.nScheme == INTERNET_SCHEME_HTTP || parts.nScheme == INTERNET_SCHEME_HTTPS) &&
           parts.dwHostNameLength > 0 && url.find_first_of(L" \t\r\n") == std::wstring::npos;
}

std::wstring ResolveWebAddress(const std::wstring& base, const std::wstring& relative)
{
    DWORD length = INTERNET_MAX_URL_LENGTH;
    std::vector<wchar_t> combined(length + 1);
    if (!InternetCombineUrlW(base.c_str(), relative.c_str(), combined.data(), &length, 0))
        return std::wstring();
    const std::wstring url(combined.data(), length);
    return IsWebAddress(url) ? url : std::wstring();
}

WebOutcome FetchText(const std::wstring& url, size_t limit, std::string& body)
{
    body.clear();
    return Transfer(url, limit, nullptr, [&](const char* data, DWORD size, unsigned long long) {
        body.append(data, size);
        return true;
    });
}

WebOutcome DownloadToFile(const std::wstring& url, HANDLE file, unsigned long long size,
                          const std::atomic<bool>& cancel,
                          const std::function<void(unsigned long long received)>& progress)
{
    WebOutcome outcome = Transfer(url, size, &cancel, [&](const char* data, DWORD count, unsigned long long before) {
        DWORD written = 0;
        if (!WriteFile(file, data, count, &written, nullptr) || written != count)
            return false;
        progress(before + count);
        return true;
    });
    if (outcome.result == WebResult::Ok && outcome.received != size)
        outcome.result = WebResult::Interrupted;
    return outcome;
}
