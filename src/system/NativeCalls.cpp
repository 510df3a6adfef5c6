#include "system/NativeCalls.h"

namespace {

template <typename Call>
Call Look(HMODULE module, const char* name)
{
    // Through void*: a function pointer cast from FARPROC draws a warning.
    return module ? reinterpret_cast<Call>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
}

}  // namespace

const NativeCalls& Native()
{
    static const NativeCalls calls = [] {
        const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
        NativeCalls found;
        found.querySystemInformation = Look<NtQuerySystemInformationCall>(ntdll, "NtQuerySystemInformation");
        found.queryObject = Look<NtQueryObjectCall>(ntdll, "NtQueryObject");
        found.queryInformationProcess = Look<NtQueryInformationProcessCall>(ntdll, "NtQueryInformationProcess");
        return found;
    }();
    return calls;
}
