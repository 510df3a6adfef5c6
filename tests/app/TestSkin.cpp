// A skin library for the tests: it records every call the program makes, and
// how it was unloaded, in the file named by VARDENIX_SKIN_LOG.
#include <windows.h>

#include <cstdio>

namespace {
void Record(const char* format, ...)
{
    char path[MAX_PATH];
    if (!GetEnvironmentVariableA("VARDENIX_SKIN_LOG", path, MAX_PATH))
        return;
    FILE* log = std::fopen(path, "ab");
    if (!log)
        return;
    va_list arguments;
    va_start(arguments, format);
    std::vfprintf(log, format, arguments);
    va_end(arguments);
    std::fputc('\n', log);
    std::fclose(log);
}
}  // namespace

extern "C" {

__declspec(dllexport) int WINAPI InitSkinLoad(DWORD threadId)
{
    Record("InitSkinLoad %s", threadId == GetCurrentThreadId() ? "ui-thread" : "other-thread");
    return 1;
}

__declspec(dllexport) int WINAPI LoadSkin(const char* path)
{
    Record("LoadSkin %s", path);
    return 1;
}

#ifdef WITH_EXIT_SKIN
__declspec(dllexport) int WINAPI ExitSkin()
{
    Record("ExitSkin");
    return 1;
}
#endif

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved)
{
    // A null `reserved` at detach means FreeLibrary, not the end of the process.
    if (reason == DLL_PROCESS_DETACH)
        Record(reserved ? "detach at process end" : "detach by FreeLibrary");
    return TRUE;
}
}
