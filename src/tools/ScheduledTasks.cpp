#include "tools/ScheduledTasks.h"

#include "framework/Text.h"
#include "res/resource.h"

#include <oleauto.h>

#include <algorithm>

namespace {

// Holds one reference to a COM object and releases it.
template <typename Interface>
class ComRef {
public:
    ComRef() = default;
    explicit ComRef(Interface* object) : object_(object) {}
    ~ComRef()
    {
        if (object_)
            object_->Release();
    }
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;

    Interface* operator->() const { return object_; }
    Interface* Get() const { return object_; }
    explicit operator bool() const { return object_ != nullptr; }
    Interface** Out() { return &object_; }
    void** OutVoid() { return reinterpret_cast<void**>(&object_); }

private:
    Interface* object_ = nullptr;
};

class Bstr {
public:
    Bstr() = default;
    explicit Bstr(const std::wstring& text) : text_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
    ~Bstr() { SysFreeString(text_); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;

    BSTR Get() const { return text_; }
    BSTR* Out() { return &text_; }
    std::wstring Text() const { return text_ ? std::wstring(text_, SysStringLen(text_)) : std::wstring(); }

private:
    BSTR text_ = nullptr;
};

VARIANT Index(LONG index)
{
    VARIANT variant;
    VariantInit(&variant);
    variant.vt = VT_I4;
    variant.lVal = index;
    return variant;
}

// A worm may nest folders; the Task Scheduler's own go three or four deep.
constexpr int kMaxFolderDepth = 32;

bool StartsByItself(TASK_TRIGGER_TYPE2 trigger)
{
    switch (trigger) {
    case TASK_TRIGGER_LOGON:
    case TASK_TRIGGER_BOOT:
    case TASK_TRIGGER_EVENT:
    case TASK_TRIGGER_TIME:
    case TASK_TRIGGER_DAILY:
    case TASK_TRIGGER_WEEKLY:
    case TASK_TRIGGER_MONTHLY:
    case TASK_TRIGGER_MONTHLYDOW:
        return true;
    default:
        return false;
    }
}

// What the paths of everything inside a folder begin with.
std::wstring Inside(const std::wstring& folder)
{
    return folder == L"\\" ? folder : folder + L"\\";
}

// Whether `below` is a folder right inside `folder`: a path that leads
// anywhere else (back up, say) is never followed.
bool IsFolderRightBelow(const std::wstring& folder, const std::wstring& below)
{
    const std::wstring parent = Inside(folder);
    return below.size() > parent.size() && SameName(below.substr(0, parent.size()), parent) &&
           below.find(L'\\', parent.size()) == std::wstring::npos;
}

void ReadFolder(TaskScheduler& scheduler, const std::wstring& folder, const std::wstring& prefix, int depth,
                std::vector<StartupEntry>& entries)
{
    std::vector<ScheduledTask> tasks;
    if (scheduler.ListTasks(folder, tasks)) {
        std::sort(tasks.begin(), tasks.end(),
                  [](const ScheduledTask& a, const ScheduledTask& b) { return NameBefore(a.name, b.name); });
        for (const ScheduledTask& task : tasks) {
            // A name with a backslash could not be told apart from a folder's.
            if (task.name.empty() || task.name.find(L'\\') != std::wstring::npos ||
                std::none_of(task.triggers.begin(), task.triggers.end(), StartsByItself))
                continue;
            for (const TaskAction& action : task.actions) {
                if (action.type != TASK_ACTION_EXEC || action.path.empty())
                    continue;
                entries.push_back({task.name,
                                   action.arguments.empty() ? QuotedPath(action.path)
                                                            : QuotedPath(action.path) + L" " + action.arguments,
                                   prefix + Inside(folder) + task.name});
            }
        }
    }
    std::vector<std::wstring> folders;
    if (depth >= kMaxFolderDepth || !scheduler.ListFolders(folder, folders))
        return;
    std::sort(folders.begin(), folders.end(), NameBefore);
    for (const std::wstring& below : folders) {
        if (IsFolderRightBelow(folder, below))
            ReadFolder(scheduler, below, prefix, depth + 1, entries);
    }
}

}  // namespace

SystemTaskScheduler::SystemTaskScheduler()
{
    // The page's thread may have its apartment already; any kind serves.
    const HRESULT init = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    com_ = SUCCEEDED(init);
    if (FAILED(init) && init != RPC_E_CHANGED_MODE)
        return;
    if (FAILED(CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskService,
                                reinterpret_cast<void**>(&service_))))
        return;
    VARIANT none;
    VariantInit(&none);
    // The local computer, as the user who runs the program.
    if (FAILED(service_->Connect(none, none, none, none))) {
        service_->Release();
        service_ = nullptr;
    }
}

SystemTaskScheduler::~SystemTaskScheduler()
{
    if (service_)
        service_->Release();
    if (com_)
        CoUninitialize();
}

ITaskFolder* SystemTaskScheduler::OpenFolder(const std::wstring& folder) const
{
    ITaskFolder* opened = nullptr;
    const Bstr path(folder);
    if (!service_ || FAILED(service_->GetFolder(path.Get(), &opened)))
        return nullptr;
    return opened;
}

bool SystemTaskScheduler::ListFolders(const std::wstring& folder, std::vector<std::wstring>& folders)
{
    const ComRef<ITaskFolder> opened(OpenFolder(folder));
    ComRef<ITaskFolderCollection> collection;
    LONG count = 0;
    if (!opened || FAILED(opened->GetFolders(0, collection.Out())) || FAILED(collection->get_Count(&count)))
        return false;
    for (LONG index = 1; index <= count; ++index) {
        ComRef<ITaskFolder> below;
        Bstr path;
        if (SUCCEEDED(collection->get_Item(Index(index), below.Out())) && SUCCEEDED(below->get_Path(path.Out())))
            folders.push_back(path.Text());
    }
    return true;
}

bool SystemTaskScheduler::ListTasks(const std::wstring& folder, std::vector<ScheduledTask>& tasks)
{
    const ComRef<ITaskFolder> opened(OpenFolder(folder));
    ComRef<IRegisteredTaskCollection> collection;
    LONG count = 0;
    // Wine 8 answers E_NOTIMPL for the count: its tasks cannot be listed.
    if (!opened || FAILED(opened->GetTasks(TASK_ENUM_HIDDEN, collection.Out())) ||
        FAILED(collection->get_Count(&count)))
        return false;
    for (LONG index = 1; index <= count; ++index) {
        ComRef<IRegisteredTask> registered;
        ComRef<ITaskDefinition> definition;
        Bstr name;
        if (FAILED(collection->get_Item(Index(index), registered.Out())) ||
            FAILED(registered->get_Name(name.Out())) || FAILED(registered->get_Definition(definition.Out())))
            continue;
        ScheduledTask task;
        task.name = name.Text();

        ComRef<ITriggerCollection> triggers;
        LONG triggerCount = 0;
        if (SUCCEEDED(definition->get_Triggers(triggers.Out())) && SUCCEEDED(triggers->get_Count(&triggerCount))) {
            for (LONG k = 1; k <= triggerCount; ++k) {
                ComRef<ITrigger> trigger;
                TASK_TRIGGER_TYPE2 type;
                if (SUCCEEDED(triggers->get_Item(k, trigger.Out())) && SUCCEEDED(trigger->get_Type(&type)))
                    task.triggers.push_back(type);
            }
        }

        ComRef<IActionCollection> actions;
        LONG actionCount = 0;
        if (SUCCEEDED(definition->get_Actions(actions.Out())) && SUCCEEDED(actions->get_Count(&actionCount))) {
            for (LONG k = 1; k <= actionCount; ++k) {
                ComRef<IAction> action;
                TaskAction read;
                if (FAILED(actions->get_Item(k, action.Out())) || FAILED(action->get_Type(&read.type)))
                    continue;
                ComRef<IExecAction> exec;
                Bstr path, arguments;
                if (read.type == TASK_ACTION_EXEC && SUCCEEDED(action->QueryInterface(IID_IExecAction, exec.OutVoid()))) {
                    if (SUCCEEDED(exec->get_Path(path.Out())))
                        read.path = path.Text();
                    if (SUCCEEDED(exec->get_Arguments(arguments.Out())))
                        read.arguments = arguments.Text();
                }
                task.actions.push_back(read);
            }
        }
        tasks.push_back(task);
    }
    return true;
}

HRESULT SystemTaskScheduler::DeleteTask(const std::wstring& folder, const std::wstring& name)
{
    const ComRef<ITaskFolder> opened(OpenFolder(folder));
    if (!opened)
        return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
    const Bstr task(name);
    return opened->DeleteTask(task.Get(), 0);
}

void ReadScheduledTaskEntries(TaskScheduler& scheduler, std::vector<StartupEntry>& entries)
{
    const std::wstring prefix = LoadText(IDS_TASK_LOCATION);
    if (!prefix.empty())
        ReadFolder(scheduler, L"\\", prefix, 0, entries);
}

bool ParseTaskRow(const std::wstring& name, const std::wstring& location, std::wstring& folder,
                  std::wstring& taskName)
{
    const std::wstring prefix = LoadText(IDS_TASK_LOCATION);
    if (prefix.empty() || location.size() <= prefix.size() || !SameName(location.substr(0, prefix.size()), prefix))
        return false;
    const std::wstring path = location.substr(prefix.size());
    const size_t last = path.rfind(L'\\');
    if (path[0] != L'\\' || path.find(L"\\\\") != std::wstring::npos || last + 1 == path.size() ||
        !SameName(path.substr(last + 1), name))
        return false;
    folder = last == 0 ? L"\\" : path.substr(0, last);
    taskName = path.substr(last + 1);
    return true;
}

TaskDeletion DeleteScheduledTask(TaskScheduler& scheduler, const std::wstring& folder, const std::wstring& taskName)
{
    const HRESULT result = scheduler.DeleteTask(folder, taskName);
    if (SUCCEEDED(result))
        return TaskDeletion::Deleted;
    if (result == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) || result == HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND))
        return TaskDeletion::Gone;
    return TaskDeletion::Refused;
}
