// The startup places beyond the Run keys: the Startup folders, scheduled
// tasks, Winlogon's values and the debuggers of Image File Execution Options.
#include "StartupTestSupport.h"
#include "support/ShortcutWriter.h"
#include "tools/ScheduledTasks.h"
#include "tools/StartupFolders.h"
#include "tools/WinlogonValues.h"

#include <algorithm>
#include <iostream>

namespace {

const wchar_t kTasks[] = L"Планировщик заданий";
const wchar_t kWinlogon[] = L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
const wchar_t kOptions[] = L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options";
const wchar_t kWowOptions[] =
    L"Software\\WOW6432Node\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options";

TaskAction Exec(const std::wstring& path, const std::wstring& arguments = std::wstring())
{
    return {TASK_ACTION_EXEC, path, arguments};
}

std::wstring TextValue(HKEY root, const std::wstring& path, const std::wstring& name)
{
    wchar_t text[512] = {};
    DWORD size = sizeof text;
    RegGetValueW(root, path.c_str(), name.c_str(), RRF_RT_REG_SZ, nullptr, text, &size);
    return text;
}

// A task registered in the root folder through this computer's Task
// Scheduler, deleted again however the test ends.
class OwnTask {
public:
    OwnTask(const std::wstring& name, const std::wstring& xml)
        : com_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))), name_(SysAllocString(name.c_str()))
    {
        VARIANT none;
        VariantInit(&none);
        BSTR root = SysAllocString(L"\\"), definition = SysAllocString(xml.c_str());
        IRegisteredTask* task = nullptr;
        registered_ = SUCCEEDED(CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskService,
                                                 reinterpret_cast<void**>(&service_))) &&
                      SUCCEEDED(service_->Connect(none, none, none, none)) &&
                      SUCCEEDED(service_->GetFolder(root, &root_)) &&
                      SUCCEEDED(root_->RegisterTask(name_, definition, TASK_CREATE, none, none,
                                                    TASK_LOGON_INTERACTIVE_TOKEN, none, &task));
        if (task)
            task->Release();
        SysFreeString(root);
        SysFreeString(definition);
    }
    ~OwnTask()
    {
        if (root_) {
            root_->DeleteTask(name_, 0);
            root_->Release();
        }
        if (service_)
            service_->Release();
        SysFreeString(name_);
        if (com_)
            CoUninitialize();
    }
    OwnTask(const OwnTask&) = delete;
    OwnTask& operator=(const OwnTask&) = delete;

    bool Registered() const { return registered_; }

private:
    bool com_, registered_ = false;
    BSTR name_;
    ITaskService* service_ = nullptr;
    ITaskFolder* root_ = nullptr;
};

const wchar_t kLogonTask[] = LR"(<?xml version="1.0" encoding="UTF-16"?>
<Task version="1.2" xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task">
  <Triggers><LogonTrigger><Enabled>true</Enabled></LogonTrigger></Triggers>
  <Settings><Enabled>true</Enabled><Hidden>true</Hidden></Settings>
  <Actions><Exec><Command>C:\vdx\worm.exe</Command><Arguments>-x</Arguments></Exec></Actions>
</Task>)";

}  // namespace

// Every place adds its rows after the registry locations, in the order of
// the places; within a place the rows keep one order.
TEST_F(StartupPage, NewPlacesFollowTheRegistryRowsInOrder)
{
    OwnStartupFiles user, allUsers(CSIDL_COMMON_STARTUP);
    values.SetText(HKEY_CURRENT_USER, kRun, L"vdx run", L"C:\\vdx\\run.exe");
    user.Write(L"vdx b.txt", "text");
    ShortcutSpec shortcut;
    shortcut.idListTarget = L"C:\\Program Files\\vdx\\a.exe";
    shortcut.arguments = L"/start";
    WriteShortcut(user.Own(L"vdx a.lnk"), shortcut);
    ASSERT_TRUE(CreateDirectoryW(user.Own(L"vdx folder").c_str(), nullptr));  // a folder starts nothing
    allUsers.Write(L"vdx c.cmd", "@echo off");
    tasks.Add(L"\\", Task(L"vdx logon", {TASK_TRIGGER_LOGON}, {Exec(L"C:\\vdx\\logon.exe")}));
    tasks.Add(L"\\", Task(L"vdx idle", {TASK_TRIGGER_IDLE}, {Exec(L"C:\\vdx\\idle.exe")}));
    tasks.Add(L"\\", Task(L"vdx com", {TASK_TRIGGER_LOGON}, {{TASK_ACTION_COM_HANDLER, L"", L""}}));
    tasks.Add(L"\\vdx folder", Task(L"vdx boot", {TASK_TRIGGER_IDLE, TASK_TRIGGER_BOOT},
                                    {Exec(L"C:\\Program Files\\vdx\\boot.exe", L"-a"), Exec(L"\"C:\\vdx\\q.exe\"")}));
    tasks.Add(L"\\vdx locked", Task(L"vdx hidden", {TASK_TRIGGER_TIME}, {Exec(L"C:\\vdx\\hidden.exe")}));
    tasks.MakeUnreadable(L"\\vdx locked");
    tasks.Add(L"\\vdx locked\\vdx deeper", Task(L"vdx event", {TASK_TRIGGER_EVENT}, {Exec(L"C:\\vdx\\usb.exe")}));
    values.SetText(HKEY_CURRENT_USER, kWinlogon, L"Shell", L"C:\\vdx\\shell.exe");
    values.SetText(HKEY_CURRENT_USER, kWinlogon, L"Userinit", WinlogonDefault(L"Userinit"));
    values.SetText(HKEY_LOCAL_MACHINE, kOptions + std::wstring(L"\\vdx evil.exe"), L"Debugger", L"C:\\vdx\\dbg.exe");
    Refresh();

    const std::wstring task = std::wstring(kTasks) + L"\\";
    const std::vector<Row> expected = {
        {L"vdx run", L"C:\\vdx\\run.exe", Location(HKEY_CURRENT_USER, kRun)},
        {L"vdx a.lnk", L"\"C:\\Program Files\\vdx\\a.exe\" /start", user.Folder()},
        {L"vdx b.txt", user.Path(L"vdx b.txt"), user.Folder()},
        {L"vdx c.cmd", allUsers.Path(L"vdx c.cmd"), allUsers.Folder()},
        {L"vdx logon", L"C:\\vdx\\logon.exe", task + L"vdx logon"},
        {L"vdx boot", L"\"C:\\Program Files\\vdx\\boot.exe\" -a", task + L"vdx folder\\vdx boot"},
        {L"vdx boot", L"\"C:\\vdx\\q.exe\"", task + L"vdx folder\\vdx boot"},
        {L"vdx event", L"C:\\vdx\\usb.exe", task + L"vdx locked\\vdx deeper\\vdx event"},
        {L"Shell", L"C:\\vdx\\shell.exe", Location(HKEY_CURRENT_USER, kWinlogon)},
        {L"vdx evil.exe", L"C:\\vdx\\dbg.exe", Location(HKEY_LOCAL_MACHINE, kOptions) + L"\\vdx evil.exe"},
    };
    std::vector<Row> rows;
    int lastKind = 0;
    for (int row = 0; row < page.RowCount(); ++row) {
        const auto [name, command, location] = RowAt(row);
        if (name.compare(0, 4, L"vdx ") == 0 || command.find(L"vdx") != std::wstring::npos)
            rows.push_back(RowAt(row));
        // The machine's own rows too: the registry locations' come first.
        const int kind = static_cast<int>(ClassifyStartupRow(name, location).kind);
        EXPECT_GE(kind, lastKind) << "row " << row << ": " << Narrow(location);
        lastKind = kind;
    }
    EXPECT_EQ(rows, expected);
    EXPECT_TRUE(recorder.Texts().empty());
}

TEST_F(StartupPage, AStartupFolderFileGoesIntoQuarantineAndCanBeRestored)
{
    OwnStartupFiles user;
    ShortcutSpec shortcut;
    shortcut.idListTarget = L"E:\\RECYCLER\\worm.exe";
    WriteShortcut(user.Own(L"vdx worm.lnk"), shortcut);
    user.Write(L"vdx plain.vbs", "CreateObject(\"WScript.Shell\")");
    char quarantine[kStorePathSize] = {};
    ASSERT_TRUE(GetProgramFolder(quarantine));
    for (const wchar_t* name : {L"vdx worm.lnk", L"vdx plain.vbs"}) {
        SCOPED_TRACE(Narrow(name));
        const std::string path = Narrow(user.Path(name)), content = ReadWholeFile(path);
        DeleteRow(name, user.Folder(), IDCANCEL);
        EXPECT_EQ(ReadWholeFile(path), content) << "cancelled";
        recorder.Clear();
        DeleteRow(name, user.Folder());
        EXPECT_EQ(recorder.Texts(), std::vector<std::wstring>{L"Удаление: " + std::wstring(name) + L"?"});
        EXPECT_FALSE(PathExists(path));
        EXPECT_LT(FindRow(name, user.Folder()), 0);
        const std::string item = std::string(quarantine) + "quarantine\\" + Narrow(name) + ".vw";
        EXPECT_EQ(RestoreQuarantineItem(item.c_str()), RestoreToOrigin);
        EXPECT_EQ(ReadWholeFile(path), content);
    }
}

TEST_F(StartupPage, ATaskRowDeletesItsOwnTaskAndSaysSoWhenTheSchedulerRefuses)
{
    tasks.Add(L"\\", Task(L"vdx twin", {TASK_TRIGGER_LOGON}, {Exec(L"C:\\vdx\\a.exe")}));
    tasks.Add(L"\\vdx sub", Task(L"vdx twin", {TASK_TRIGGER_DAILY}, {Exec(L"C:\\vdx\\b.exe")}));
    const std::wstring twin = std::wstring(kTasks) + L"\\vdx twin", inner = std::wstring(kTasks) + L"\\vdx sub\\vdx twin";
    tasks.deleteResult = E_ACCESSDENIED;
    DeleteRow(L"vdx twin", inner);
    EXPECT_EQ(recorder.Texts(), (std::vector<std::wstring>{L"Удаление: vdx twin?", LoadText(IDS_TASK_NOT_DELETED)}));
    EXPECT_GE(FindRow(L"vdx twin", inner), 0);
    tasks.deleteResult = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);  // gone meanwhile: nothing to say
    recorder.Clear();
    DeleteRow(L"vdx twin", inner);
    EXPECT_EQ(recorder.Texts(), std::vector<std::wstring>{L"Удаление: vdx twin?"});
    tasks.deleteResult = S_OK;
    DeleteRow(L"vdx twin", inner);
    EXPECT_EQ(tasks.deleted, std::vector<std::wstring>(3, L"\\vdx sub|vdx twin"));
    EXPECT_LT(FindRow(L"vdx twin", inner), 0);
    EXPECT_GE(FindRow(L"vdx twin", twin), 0);
}

// Wine 8 registers the task but keeps neither its trigger nor its command,
// and cannot count a folder's tasks: there only the deletion is shown.
TEST(SystemTaskScheduler, ATaskThatStartsAtLogonIsListedWhereTheSchedulerCanAndDeletedByItsLocation)
{
    const std::wstring location = std::wstring(kTasks) + L"\\vdx logon";
    OwnTask own(L"vdx logon", kLogonTask);
    ASSERT_TRUE(own.Registered());
    SystemTaskScheduler system;
    std::vector<ScheduledTask> listed;
    if (system.ListTasks(L"\\", listed)) {
        std::vector<StartupEntry> rows;
        ReadScheduledTaskEntries(system, rows);
        EXPECT_EQ(std::count_if(rows.begin(), rows.end(),
                                [&](const StartupEntry& row) {
                                    return row.name == L"vdx logon" && row.command == L"C:\\vdx\\worm.exe -x" &&
                                           row.location == location;
                                }),
                  1);
    } else {
        std::cout << "[ NOTE     ] this Task Scheduler cannot list a folder's tasks\n";
    }
    const StartupTarget target = ClassifyStartupRow(L"vdx logon", location);
    ASSERT_EQ(target.kind, StartupKind::ScheduledTask);
    EXPECT_EQ(DeleteScheduledTask(system, target.path, target.name), TaskDeletion::Deleted);
    EXPECT_EQ(DeleteScheduledTask(system, target.path, target.name), TaskDeletion::Gone);
}

TEST_F(StartupPage, AChangedWinlogonValueGetsWindowsDefaultBackAndIsNeverDeleted)
{
    values.SetText(HKEY_CURRENT_USER, kWinlogon, L"Shell", L"C:\\vdx\\shell.exe explorer.exe");
    // The default in other letters is the default.
    std::wstring userinit = WinlogonDefault(L"Userinit");
    CharUpperBuffW(&userinit[0], static_cast<DWORD>(userinit.size()));
    values.SetText(HKEY_CURRENT_USER, kWinlogon, L"Userinit", userinit);
    const std::wstring location = Location(HKEY_CURRENT_USER, kWinlogon);
    DeleteRow(L"Shell", location, IDCANCEL);
    EXPECT_LT(FindRow(L"Userinit", location), 0);
    EXPECT_EQ(TextValue(HKEY_CURRENT_USER, kWinlogon, L"Shell"), L"C:\\vdx\\shell.exe explorer.exe");
    EXPECT_EQ(recorder.Texts(),
              std::vector<std::wstring>{L"Значение Shell раздела Winlogon нельзя удалить: без него никто не сможет "
                                        L"войти в Windows.\r\n\r\nЗаписать вместо него значение Windows по "
                                        L"умолчанию?\r\nexplorer.exe"});
    DeleteRow(L"Shell", location);
    EXPECT_EQ(TextValue(HKEY_CURRENT_USER, kWinlogon, L"Shell"), L"explorer.exe");
    EXPECT_LT(FindRow(L"Shell", location), 0);
}

// One entry in each view: where both views share the key, it is still one row.
TEST_F(StartupPage, ADebuggerRowLosesTheDebuggerValueAlone)
{
    const std::wstring own = kOptions + std::wstring(L"\\vdx evil.exe");
    const std::wstring own32 = kOptions + std::wstring(L"\\vdx evil32.exe");
    values.SetText(HKEY_LOCAL_MACHINE, own, L"Debugger", L"C:\\vdx\\dbg.exe");
    values.Set(HKEY_LOCAL_MACHINE, own, L"GlobalFlag", REG_DWORD, RegistryBytes("\x02\0\0\0", 4));
    values.SetText(HKEY_LOCAL_MACHINE, own32, L"Debugger", L"C:\\vdx\\dbg32.exe", KEY_WOW64_32KEY);
    Refresh();
    std::vector<std::wstring> locations32;
    for (int row = 0; row < page.RowCount(); ++row)
        if (page.RowText(row, 0) == L"vdx evil32.exe")
            locations32.push_back(page.RowText(row, 2));
    ASSERT_EQ(locations32.size(), 1u);
    EXPECT_TRUE(locations32[0] == Location(HKEY_LOCAL_MACHINE, own32) ||
                locations32[0] == Location(HKEY_LOCAL_MACHINE, kWowOptions + std::wstring(L"\\vdx evil32.exe")));

    DeleteRow(L"vdx evil.exe", Location(HKEY_LOCAL_MACHINE, own));
    DeleteRow(L"vdx evil32.exe", locations32[0]);
    EXPECT_FALSE(RegistryValueExists(HKEY_LOCAL_MACHINE, own, L"Debugger"));
    EXPECT_TRUE(RegistryValueExists(HKEY_LOCAL_MACHINE, own, L"GlobalFlag"));
    EXPECT_FALSE(RegistryValueExists(HKEY_LOCAL_MACHINE, own32, L"Debugger", KEY_WOW64_32KEY));
    EXPECT_EQ(recorder.Texts(), (std::vector<std::wstring>{L"Удаление: vdx evil.exe?", L"Удаление: vdx evil32.exe?"}));
}

// A location leads back only to the place it came from, and only to what
// the row's name names there; anything else removes nothing.
TEST(ClassifyStartupRow, ALocationLeadsBackOnlyToThePlaceItCameFrom)
{
    OwnStartupFiles user;
    const std::wstring task = kTasks, winlogon = Location(HKEY_LOCAL_MACHINE, kWinlogon);
    const std::wstring options = Location(HKEY_LOCAL_MACHINE, kOptions);
    const std::tuple<std::wstring, std::wstring, StartupKind, std::wstring, std::wstring> cases[] = {
        {L"x", Location(HKEY_CURRENT_USER, kRun), StartupKind::RegistryValue, kRun, L"x"},
        {L"x", Location(HKEY_CURRENT_USER, L"Software\\Classes\\exefile"), StartupKind::None, L"", L""},
        {L"shell", winlogon, StartupKind::WinlogonValue, L"", L"Shell"},
        {L"Debugger", winlogon, StartupKind::None, L"", L""},  // nor any other Winlogon value
        {L"a.exe", options + L"\\a.exe", StartupKind::DebuggerValue, kOptions + std::wstring(L"\\a.exe"), L""},
        {L"b.exe", options + L"\\a.exe", StartupKind::None, L"", L""},
        {L"b", options + L"\\a.exe\\b", StartupKind::None, L"", L""},
        {L"t", task + L"\\t", StartupKind::ScheduledTask, L"\\", L"t"},
        {L"t", task + L"\\A\\B\\t", StartupKind::ScheduledTask, L"\\A\\B", L"t"},
        {L"u", task + L"\\A\\t", StartupKind::None, L"", L""},
        {L"", task + L"\\", StartupKind::None, L"", L""},
        {L"w.lnk", user.Folder(), StartupKind::StartupFile, user.Path(L"w.lnk"), L""},
        {L"..\\w.lnk", user.Folder(), StartupKind::None, L"", L""},
        {L"w.lnk", user.Folder() + L"\\..", StartupKind::None, L"", L""},
    };
    for (const auto& [name, location, kind, path, targetName] : cases) {
        SCOPED_TRACE(Narrow(location + L" | " + name));
        const StartupTarget target = ClassifyStartupRow(name, location);
        EXPECT_EQ(target.kind, kind);
        EXPECT_EQ(target.path, path);
        EXPECT_EQ(target.name, targetName);
    }
}
