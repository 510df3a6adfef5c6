#pragma once

#include "tools/StartupEntry.h"

#include <windows.h>
#include <taskschd.h>

#include <string>
#include <vector>

// Scheduled tasks that start a program by themselves: at logon, at start-up,
// on an event (a drive attached, say) or on a schedule. Worms register such
// tasks, often hidden and deep in the Task Scheduler's folders.

// An action of a task; the path and arguments are an executable action's.
struct TaskAction {
    TASK_ACTION_TYPE type = TASK_ACTION_EXEC;
    std::wstring path;
    std::wstring arguments;
};

// A registered task as its definition says.
struct ScheduledTask {
    std::wstring name;
    std::vector<TASK_TRIGGER_TYPE2> triggers;
    std::vector<TaskAction> actions;
};

// What the startup page asks of the Task Scheduler. Folders are named by
// their paths: "\" is the root folder, "\Microsoft\Windows" one below it.
class TaskScheduler {
public:
    virtual ~TaskScheduler() = default;
    // The paths of the folders right below `folder`; false when they cannot be read.
    virtual bool ListFolders(const std::wstring& folder, std::vector<std::wstring>& folders) = 0;
    // The tasks of `folder`, hidden ones too; false when they cannot be read.
    virtual bool ListTasks(const std::wstring& folder, std::vector<ScheduledTask>& tasks) = 0;
    // Deletes task `name` of `folder`: S_OK or the scheduler's error.
    virtual HRESULT DeleteTask(const std::wstring& folder, const std::wstring& name) = 0;
};

// This computer's Task Scheduler, through its COM interface (Task Scheduler
// 2.0, from Windows Vista on), for the life of the object and on its thread.
// A scheduler that cannot be reached reads as one that cannot be read.
class SystemTaskScheduler : public TaskScheduler {
public:
    SystemTaskScheduler();
    ~SystemTaskScheduler() override;
    SystemTaskScheduler(const SystemTaskScheduler&) = delete;
    SystemTaskScheduler& operator=(const SystemTaskScheduler&) = delete;

    bool ListFolders(const std::wstring& folder, std::vector<std::wstring>& folders) override;
    bool ListTasks(const std::wstring& folder, std::vector<ScheduledTask>& tasks) override;
    HRESULT DeleteTask(const std::wstring& folder, const std::wstring& name) override;

private:
    ITaskFolder* OpenFolder(const std::wstring& folder) const;

    bool com_ = false;
    ITaskService* service_ = nullptr;
};

// Appends a row for each executable action of each task, in every folder,
// that starts by itself: the task's name, the action's command line and
// "Планировщик заданий" followed by the task's path. Tasks come by name
// before the folders below theirs; a folder that cannot be read adds nothing.
void ReadScheduledTaskEntries(TaskScheduler& scheduler, std::vector<StartupEntry>& entries);

// The folder and task name of a row ReadScheduledTaskEntries made; false, with
// both untouched, for any other row.
bool ParseTaskRow(const std::wstring& name, const std::wstring& location, std::wstring& folder,
                  std::wstring& taskName);

enum class TaskDeletion { Deleted, Gone, Refused };

// Deletes the task. Gone when there is no such task (any more); Refused when
// the scheduler keeps it, as it does for a task the user may not delete.
TaskDeletion DeleteScheduledTask(TaskScheduler& scheduler, const std::wstring& folder, const std::wstring& taskName);
