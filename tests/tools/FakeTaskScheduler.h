#pragma once

// A Task Scheduler held in memory, for the startup page's tests and
// benchmark: Wine 8's can count no folder's tasks and keeps neither a task's
// triggers nor its commands.
#include "tools/ScheduledTasks.h"

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

// Tasks in folders, as the Task Scheduler would list them; deletions are
// recorded and answered with `deleteResult`.
class FakeTaskScheduler : public TaskScheduler {
public:
    // Adds the task, and its folder with every folder above it.
    void Add(const std::wstring& folder, const ScheduledTask& task)
    {
        for (size_t end = folder.find(L'\\', 1); end != std::wstring::npos; end = folder.find(L'\\', end + 1))
            folders_[folder.substr(0, end)];
        folders_[folder].push_back(task);
    }
    void MakeUnreadable(const std::wstring& folder) { unreadable_.insert(folder); }

    bool ListFolders(const std::wstring& folder, std::vector<std::wstring>& folders) override
    {
        const std::wstring parent = folder == L"\\" ? folder : folder + L"\\";
        for (const auto& entry : folders_) {
            if (entry.first.compare(0, parent.size(), parent) == 0 &&
                entry.first.find(L'\\', parent.size()) == std::wstring::npos)
                folders.push_back(entry.first);
        }
        return true;
    }
    bool ListTasks(const std::wstring& folder, std::vector<ScheduledTask>& tasks) override
    {
        tasks = folders_[folder];
        return unreadable_.count(folder) == 0;
    }
    HRESULT DeleteTask(const std::wstring& folder, const std::wstring& name) override
    {
        deleted.push_back(folder + L"|" + name);
        auto& tasks = folders_[folder];
        if (deleteResult == S_OK)
            tasks.erase(std::remove_if(tasks.begin(), tasks.end(), [&](const ScheduledTask& task) { return task.name == name; }),
                        tasks.end());
        return deleteResult;
    }

    HRESULT deleteResult = S_OK;
    std::vector<std::wstring> deleted;  // "folder|name", in order

private:
    std::map<std::wstring, std::vector<ScheduledTask>> folders_{{L"\\", {}}};
    std::set<std::wstring> unreadable_;
};

inline ScheduledTask Task(const std::wstring& name, std::vector<TASK_TRIGGER_TYPE2> triggers,
                          std::vector<TaskAction> actions)
{
    return {name, std::move(triggers), std::move(actions)};
}

