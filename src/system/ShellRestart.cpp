#include "system/ShellRestart.h"

#include "system/ProcessLookup.h"

#include <userenv.h>

#include <memory>
#include <vector>

namespace {

bool SameText(const std::wstring& a, const std::wstring& b)
{
    return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

std::vector<BYTE> TokenUser(HANDLE token)
{
    DWORD size = 0;
    GetTokenInformation(token, ::TokenUser, nullptr, 0, &size);
    std::vector<BYTE> user(size);
    if (size == 0 || !GetTokenInformation(token, ::TokenUser, user.data(), size, &size))
        user.clear();
    return user;
}

bool SameUser(HANDLE a, HANDLE b)
{
    const std::vector<BYTE> first = TokenUser(a), second = TokenUser(b);
    return !first.empty() && !second.empty() &&
           EqualSid(reinterpret_cast<const TOKEN_USER*>(first.data())->User.Sid,
                    reinterpret_cast<const TOKEN_USER*>(second.data())->User.Sid);
}

bool Elevated(HANDLE token)
{
    TOKEN_ELEVATION elevation = {};
    DWORD size = 0;
    return GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) &&
           elevation.TokenIsElevated != 0;
}

// Whether an Explorer of `path` runs in this program's session.
bool ExplorerRuns(const std::wstring& path)
{
    DWORD ours = 0;
    if (!ProcessIdToSessionId(GetCurrentProcessId(), &ours))
        return false;
    for (const PROCESSENTRY32& entry : ListProcesses()) {
        DWORD session = 0;
        std::wstring running;
        if (ProcessIdToSessionId(entry.th32ProcessID, &session) && session == ours &&
            GetProcessExePath(entry.th32ProcessID, running) && SameText(running, path))
            return true;
    }
    return false;
}

struct EnvironmentBlock {
    void* block = nullptr;
    ~EnvironmentBlock()
    {
        if (block)
            DestroyEnvironmentBlock(block);
    }
};

}  // namespace

void ShellRestart::Remember(HANDLE process, const std::wstring& path)
{
    if (Remembered() || path.empty())
        return;
    path_ = path;
    HANDLE token = nullptr;
    if (!OpenProcessToken(process, TOKEN_QUERY | TOKEN_DUPLICATE | TOKEN_ASSIGN_PRIMARY, &token))
        return;
    HANDLE primary = nullptr;
    if (DuplicateTokenEx(token, TOKEN_QUERY | TOKEN_DUPLICATE | TOKEN_ASSIGN_PRIMARY | TOKEN_ADJUST_DEFAULT |
                                    TOKEN_ADJUST_SESSIONID,
                         nullptr, SecurityImpersonation, TokenPrimary, &primary))
        token_.Reset(primary);
    CloseHandle(token);
}

bool ShellRestart::StartAgain()
{
    if (!Remembered())
        return false;
    if (ExplorerRuns(path_) && FindWindowW(L"Shell_TrayWnd", nullptr))
        return true;
    return Start();
}

bool ShellRestart::Start()
{
    wchar_t windows[MAX_PATH];
    const UINT length = GetWindowsDirectoryW(windows, MAX_PATH);
    // Never in this program's own current folder: it may lie on the drive
    // just ejected, and Explorer would hold that one again.
    const wchar_t* folder = length > 0 && length < MAX_PATH ? windows : nullptr;
    std::wstring line = L"\"" + path_ + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started = {};

    HANDLE own = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &own))
        return false;
    OwnedHandle ownToken(own);
    const bool asOurselves = !Elevated(own) && (!token_ || SameUser(own, token_.Get()));
    bool ok = false;
    if (asOurselves) {
        ok = CreateProcessW(path_.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, folder, &startup,
                            &started) != FALSE;
    } else if (token_) {
        // An elevated program has the right to start a process with a token
        // of the user's (SeImpersonatePrivilege); a service-like one may have
        // the primary-token right instead.
        EnvironmentBlock environment;
        CreateEnvironmentBlock(&environment.block, token_.Get(), FALSE);
        const DWORD flags = environment.block ? CREATE_UNICODE_ENVIRONMENT : 0;
        ok = CreateProcessWithTokenW(token_.Get(), 0, path_.c_str(), &line[0], flags, environment.block, folder,
                                     &startup, &started) != FALSE;
        if (!ok) {
            std::wstring again = L"\"" + path_ + L"\"";
            ok = CreateProcessAsUserW(token_.Get(), path_.c_str(), &again[0], nullptr, nullptr, FALSE, flags,
                                      environment.block, folder, &startup, &started) != FALSE;
        }
    }
    if (!ok)
        return false;
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    return true;
}
