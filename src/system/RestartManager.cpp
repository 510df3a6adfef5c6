#include "system/RestartManager.h"

#include <restartmanager.h>

namespace {

using StartSessionCall = DWORD(WINAPI*)(DWORD*, DWORD, WCHAR*);
using EndSessionCall = DWORD(WINAPI*)(DWORD);
using RegisterResourcesCall = DWORD(WINAPI*)(DWORD, UINT, LPCWSTR*, UINT, RM_UNIQUE_PROCESS*, UINT, LPCWSTR*);
using GetListCall = DWORD(WINAPI*)(DWORD, UINT*, UINT*, RM_PROCESS_INFO*, DWORD*);

// One session registers at most this many files: enough for what holds one
// drive, and RmGetList's effort grows with every file.
constexpr size_t kMostFiles = 256;

template <typename Call>
Call Look(HMODULE module, const char* name)
{
    return reinterpret_cast<Call>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

std::vector<FileUser> ProcessesUsingFiles(const std::vector<std::wstring>& files)
{
    std::vector<FileUser> users;
    if (files.empty())
        return users;
    // By its full path in the system folder: a rstrtmgr.dll in the program's
    // or the current folder (on a USB drive, say) must not be the one loaded.
    // Windows 7 without its loader update knows no LOAD_LIBRARY_SEARCH_SYSTEM32.
    wchar_t path[MAX_PATH];
    const UINT length = GetSystemDirectoryW(path, MAX_PATH);
    if (length == 0 || length + 14 >= MAX_PATH)
        return users;
    lstrcatW(path, L"\\rstrtmgr.dll");
    const HMODULE library = LoadLibraryW(path);
    if (!library)
        return users;
    const auto startSession = Look<StartSessionCall>(library, "RmStartSession");
    const auto endSession = Look<EndSessionCall>(library, "RmEndSession");
    const auto registerResources = Look<RegisterResourcesCall>(library, "RmRegisterResources");
    const auto getList = Look<GetListCall>(library, "RmGetList");
    DWORD session = 0;
    WCHAR key[CCH_RM_SESSION_KEY + 1] = {};
    if (startSession && endSession && registerResources && getList && startSession(&session, 0, key) == ERROR_SUCCESS) {
        std::vector<LPCWSTR> names;
        for (size_t k = 0; k < files.size() && k < kMostFiles; ++k)
            names.push_back(files[k].c_str());
        if (registerResources(session, static_cast<UINT>(names.size()), names.data(), 0, nullptr, 0, nullptr) ==
            ERROR_SUCCESS) {
            std::vector<RM_PROCESS_INFO> listed(16);
            for (int attempt = 0; attempt < 4; ++attempt) {
                UINT needed = 0, count = static_cast<UINT>(listed.size());
                DWORD reasons = 0;
                const DWORD result = getList(session, &needed, &count, listed.data(), &reasons);
                if (result == ERROR_MORE_DATA) {
                    listed.resize(needed + 8);
                    continue;
                }
                if (result == ERROR_SUCCESS) {
                    for (UINT k = 0; k < count; ++k)
                        users.push_back({listed[k].Process.dwProcessId, listed[k].Process.ProcessStartTime});
                }
                break;
            }
        }
        endSession(session);
    }
    FreeLibrary(library);
    return users;
}
