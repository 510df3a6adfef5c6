#pragma once

// The startup page's tests work on the prefix's real places: registry
// values, files in the Startup folders and tasks of their own, each removed
// again however the test ends. Only the Task Scheduler's lists are held in
// memory: Wine 8 can count no folder's tasks and keeps neither a task's
// triggers nor its commands.
#include "FakeTaskScheduler.h"
#include "framework/Text.h"
#include "quarantine/QuarantineStore.h"
#include "res/resource.h"
#include "support/MessageRecorder.h"
#include "support/PageHost.h"
#include "support/RegistryValues.h"
#include "support/ScratchDir.h"
#include "tools/StartupManagerPage.h"

#include <gtest/gtest.h>

#include <shlobj.h>

#include <string>
#include <tuple>
#include <vector>

const wchar_t kRun[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t kWowRun[] = L"Software\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Run";

inline std::wstring Location(HKEY root, const std::wstring& path)
{
    return (root == HKEY_CURRENT_USER ? L"HKEY_CURRENT_USER\\" : L"HKEY_LOCAL_MACHINE\\") + path;
}

// Where a value written in the 32-bit view is listed: under WOW6432Node on a
// 64-bit Windows, in the one Run key of a 32-bit Windows.
inline std::wstring Location32()
{
    return Location(HKEY_LOCAL_MACHINE, HasSeparate32BitView() ? kWowRun : kRun);
}

using Row = std::tuple<std::wstring, std::wstring, std::wstring>;  // name, command, location

// Files of the test's own in a Startup folder (the user's, or all users'),
// and whatever quarantine items the test program made of them, all removed
// again.
class OwnStartupFiles {
public:
    explicit OwnStartupFiles(int csidl = CSIDL_STARTUP)
    {
        wchar_t path[MAX_PATH] = {};
        EXPECT_EQ(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path), S_OK);
        folder_ = path;
    }
    ~OwnStartupFiles()
    {
        char quarantine[kStorePathSize] = {};
        GetProgramFolder(quarantine);
        for (const std::wstring& name : names_) {
            SetFileAttributesW(Path(name).c_str(), FILE_ATTRIBUTE_NORMAL);
            if (!DeleteFileW(Path(name).c_str()))
                RemoveDirectoryW(Path(name).c_str());
            DeleteFileW((Widen(quarantine) + L"quarantine\\" + name + L".vw").c_str());
        }
        RemoveDirectoryW((Widen(quarantine) + L"quarantine").c_str());  // when it is empty
    }
    OwnStartupFiles(const OwnStartupFiles&) = delete;
    OwnStartupFiles& operator=(const OwnStartupFiles&) = delete;

    const std::wstring& Folder() const { return folder_; }
    std::wstring Path(const std::wstring& name) const { return folder_ + L"\\" + name; }
    // A name for the test to write a file under; it must be new.
    std::wstring Own(const std::wstring& name)
    {
        EXPECT_EQ(GetFileAttributesW(Path(name).c_str()), INVALID_FILE_ATTRIBUTES) << "not the test's own";
        names_.push_back(name);
        return Path(name);
    }
    std::wstring Write(const std::wstring& name, const std::string& content)
    {
        const std::wstring path = Own(name);
        MakeFile(Narrow(path), content);
        return path;
    }

private:
    std::wstring folder_;
    std::vector<std::wstring> names_;
};

// The startup page in a window of the test's own; its tasks come from `tasks`.
class StartupPage : public ::testing::Test {
protected:
    MessageRecorder recorder;
    OwnRegistryValues values;
    FakeTaskScheduler tasks;
    PageHost host;
    StartupManagerPage page;

    void SetUp() override
    {
        page.SetTaskScheduler(&tasks);
        ASSERT_TRUE(page.CreateModeless(host.Handle()));
    }

    void Refresh() { ClickButton(page, IDC_STARTUP_REFRESH); }
    void Delete(int row = -1)
    {
        if (row >= 0)
            SelectListRow(page.List(), row);
        ClickButton(page, IDC_DELETE_OR_RESULT_LIST);
    }
    int FindRow(const std::wstring& name, const std::wstring& location) const
    {
        for (int row = 0; row < page.RowCount(); ++row) {
            if (page.RowText(row, 0) == name && page.RowText(row, 2) == location)
                return row;
        }
        return -1;
    }
    Row RowAt(int row) const { return Row(page.RowText(row, 0), page.RowText(row, 1), page.RowText(row, 2)); }
    // Refreshes, then deletes the row of that name and location, answering the question with `answer`.
    void DeleteRow(const std::wstring& name, const std::wstring& location, int answer = IDOK)
    {
        Refresh();
        const int row = FindRow(name, location);
        ASSERT_GE(row, 0) << Narrow(name) << " is listed";
        recorder.SetAnswer(answer);
        Delete(row);
    }
};
