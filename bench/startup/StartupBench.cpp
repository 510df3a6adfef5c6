// The startup page's whole refresh with many entries in its places:
//   startup_bench [Run values, default 200] [Startup-folder files, default 50]
//                 [tasks, default 100] [rounds, default 10]
// The Run values go into HKEY_CURRENT_USER's Run key, the files (every other
// one a shortcut) into the user's Startup folder, and the tasks (a logon
// trigger and one command each) into the Task Scheduler folder
// "\Vardenix bench", registered through its COM interface; all of them are
// removed again at the end, and none is written where a name is taken.
// Figures: the page's first refresh and the median of the rounds after it,
// reading this computer's Task Scheduler; the reading alone, without the
// list's rows; then the refresh with the tasks listed from memory, which
// shows what the tasks' rows cost where the scheduler cannot list them
// (Wine 8).
#include "BenchClock.h"
#include "FakeTaskScheduler.h"
#include "support/ShortcutWriter.h"
#include "tools/ScheduledTasks.h"
#include "tools/StartupManagerPage.h"

#include <commctrl.h>
#include <shlobj.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

const wchar_t kRun[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t kFolder[] = L"Vardenix bench";

std::wstring Numbered(const wchar_t* format, int number)
{
    wchar_t text[64];
    std::swprintf(text, 64, format, number);
    return text;
}

bool WriteBytes(const std::wstring& path, const std::string& bytes)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                    written == bytes.size();
    CloseHandle(file);
    return ok;
}

// The tasks' folder, through the Task Scheduler's COM interface.
class BenchTasks {
public:
    explicit BenchTasks(int count)
    {
        VARIANT none;
        VariantInit(&none);
        BSTR root = SysAllocString(L"\\"), folder = SysAllocString(kFolder);
        if (SUCCEEDED(CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskService,
                                       reinterpret_cast<void**>(&service_))) &&
            SUCCEEDED(service_->Connect(none, none, none, none)) && SUCCEEDED(service_->GetFolder(root, &root_)) &&
            SUCCEEDED(root_->CreateFolder(folder, none, &folder_))) {
            for (int k = 0; k < count; ++k) {
                const std::wstring name = Numbered(L"vdx bench %03d", k);
                const std::wstring xml =
                    L"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n"
                    L"<Task version=\"1.2\" xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">"
                    L"<Triggers><LogonTrigger><Enabled>true</Enabled></LogonTrigger></Triggers>"
                    L"<Actions><Exec><Command>C:\\bench\\task" + std::to_wstring(k) +
                    L".exe</Command><Arguments>/quiet</Arguments></Exec></Actions></Task>";
                BSTR taskName = SysAllocString(name.c_str()), definition = SysAllocString(xml.c_str());
                IRegisteredTask* task = nullptr;
                if (SUCCEEDED(folder_->RegisterTask(taskName, definition, TASK_CREATE, none, none,
                                                    TASK_LOGON_INTERACTIVE_TOKEN, none, &task))) {
                    names_.push_back(name);
                    task->Release();
                }
                SysFreeString(taskName);
                SysFreeString(definition);
            }
        }
        SysFreeString(root);
        SysFreeString(folder);
    }
    ~BenchTasks()
    {
        for (const std::wstring& name : names_) {
            BSTR taskName = SysAllocString(name.c_str());
            folder_->DeleteTask(taskName, 0);
            SysFreeString(taskName);
        }
        if (folder_) {
            folder_->Release();
            BSTR folder = SysAllocString(kFolder);
            root_->DeleteFolder(folder, 0);
            SysFreeString(folder);
        }
        if (root_)
            root_->Release();
        if (service_)
            service_->Release();
    }
    BenchTasks(const BenchTasks&) = delete;
    BenchTasks& operator=(const BenchTasks&) = delete;

    size_t Count() const { return names_.size(); }

private:
    ITaskService* service_ = nullptr;
    ITaskFolder* root_ = nullptr;
    ITaskFolder* folder_ = nullptr;
    std::vector<std::wstring> names_;
};

struct Timing {
    double first;
    double median;
    int rows;
};

Timing Measure(StartupManagerPage& page, int rounds)
{
    double start = Seconds();
    page.RefreshStartupList();
    const double first = Seconds() - start;
    std::vector<double> times;
    for (int round = 0; round < rounds; ++round) {
        start = Seconds();
        page.RefreshStartupList();
        times.push_back(Seconds() - start);
    }
    return {first, Median(times), page.RowCount()};
}

}  // namespace

int main(int argc, char** argv)
{
    const int runValues = argc > 1 ? std::atoi(argv[1]) : 200;
    const int files = argc > 2 ? std::atoi(argv[2]) : 50;
    const int taskCount = argc > 3 ? std::atoi(argv[3]) : 100;
    const int rounds = argc > 4 ? std::atoi(argv[4]) : 10;
    if (runValues < 0 || files < 0 || taskCount < 0 || rounds <= 0) {
        std::fprintf(stderr, "usage: startup_bench [Run values] [files] [tasks] [rounds > 0]\n");
        return 2;
    }
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);

    HKEY run = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kRun, 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &run,
                        nullptr) != ERROR_SUCCESS) {
        std::fprintf(stderr, "cannot open the Run key\n");
        return 1;
    }
    std::vector<std::wstring> values;
    for (int k = 0; k < runValues; ++k) {
        const std::wstring name = Numbered(L"vdx bench %03d", k);
        const std::wstring data = L"\"C:\\Program Files\\Bench\\program" + std::to_wstring(k) + L".exe\" /tray";
        if (RegQueryValueExW(run, name.c_str(), nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS &&
            RegSetValueExW(run, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                           static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS)
            values.push_back(name);
    }

    wchar_t startup[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, CSIDL_STARTUP, nullptr, SHGFP_TYPE_CURRENT, startup);
    const bool madeFolder =
        GetFileAttributesW(startup) == INVALID_FILE_ATTRIBUTES && SHCreateDirectoryExW(nullptr, startup, nullptr) == 0;
    std::vector<std::wstring> paths;
    for (int k = 0; k < files; ++k) {
        const bool shortcut = k % 2 == 0;
        const std::wstring path =
            std::wstring(startup) + Numbered(shortcut ? L"\\vdx bench %03d.lnk" : L"\\vdx bench %03d.cmd", k);
        ShortcutSpec layout;
        layout.idListTarget = L"C:\\Program Files\\Bench\\file" + std::to_wstring(k) + L".exe";
        layout.arguments = L"/autostart";
        if (WriteBytes(path, shortcut ? ShortcutBytes(layout) : std::string("@echo off\r\n")))
            paths.push_back(path);
    }

    int status = 0;
    {
        BenchTasks registered(taskCount);
        HWND host = CreateWindowExW(0, L"STATIC", L"host", WS_POPUP, 0, 0, 800, 600, nullptr, nullptr,
                                    GetModuleHandleW(nullptr), nullptr);
        StartupManagerPage page;
        if (!page.CreateModeless(host)) {
            std::fprintf(stderr, "the page did not open (are the resources linked?)\n");
            status = 1;
        } else {
            std::printf("Run values %zu, Startup-folder files %zu, tasks registered %zu\n", values.size(),
                        paths.size(), registered.Count());
            const Timing system = Measure(page, rounds);
            std::printf("refresh, this computer's Task Scheduler: first %.4f s, then %.4f s (median of %d), %d rows\n",
                        system.first, system.median, rounds, system.rows);

            std::vector<double> reads;
            size_t read = 0;
            for (int round = 0; round < rounds; ++round) {
                const double start = Seconds();
                SystemTaskScheduler scheduler;
                read = ReadStartupEntries(scheduler).size();
                reads.push_back(Seconds() - start);
            }
            std::printf("reading the places alone, no rows:      %.4f s (median of %d), %zu entries\n",
                        Median(reads), rounds, read);

            FakeTaskScheduler memory;
            for (int k = 0; k < taskCount; ++k)
                memory.Add(std::wstring(L"\\") + kFolder,
                           Task(Numbered(L"vdx bench %03d", k), {TASK_TRIGGER_LOGON},
                                {{TASK_ACTION_EXEC, L"C:\\bench\\task" + std::to_wstring(k) + L".exe", L"/quiet"}}));
            page.SetTaskScheduler(&memory);
            const Timing listed = Measure(page, rounds);
            std::printf("refresh, %d tasks listed from memory:    first %.4f s, then %.4f s (median of %d), %d rows\n",
                        taskCount, listed.first, listed.median, rounds, listed.rows);
            page.Destroy();
        }
        DestroyWindow(host);
    }

    for (const std::wstring& name : values)
        RegDeleteValueW(run, name.c_str());
    RegCloseKey(run);
    for (const std::wstring& path : paths)
        DeleteFileW(path.c_str());
    if (madeFolder)
        RemoveDirectoryW(startup);
    CoUninitialize();
    return status;
}
