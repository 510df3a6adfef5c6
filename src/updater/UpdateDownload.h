#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <string>

// Plain HTTP and HTTPS requests through WinINet, made on the updater's worker
// thread. Nothing is taken from or written to the browser cache.

enum class WebResult {
    Ok,
    Unreachable,  // no answer from the host: unknown name, refused, timed out
    HttpError,    // the server answered with a status other than 200
    Interrupted,  // the transfer broke off, or fewer bytes came than expected
    TooLong,      // more bytes came than expected
    Cancelled,
    WriteFailed,  // the local file could not be written
};

struct WebOutcome {
    WebResult result = WebResult::Ok;
    DWORD httpStatus = 0;
    unsigned long long received = 0;
};

// True for an absolute http:// or https:// address with a host.
bool IsWebAddress(const std::wstring& url);
// `relative` (or an absolute address) resolved against `base`; empty unless
// the result is a web address.
std::wstring ResolveWebAddress(const std::wstring& base, const std::wstring& relative);

// The whole body of `url`, at most `limit` bytes.
WebOutcome FetchText(const std::wstring& url, size_t limit, std::string& body);

// Writes the body of `url` to `file`: exactly `size` bytes must come.
// `progress` hears the bytes received so far; `cancel` is looked at between reads.
WebOutcome DownloadToFile(const std::wstring& url, HANDLE file, unsigned long long size,
                          const std::atomic<bool>& cancel,
                          const std::function<void(unsigned long long received)>& progress);
