#include "tools/RegistryRepair.h"

#include "res/resource.h"
#include "usb/AutorunSwitch.h"

#include <cstring>
#include <vector>

namespace {

constexpr char kSystemPolicies[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
constexpr char kShowAll[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced\\Folder\\Hidden\\SHOWALL";
constexpr char kHiddenFileExt[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced\\Folder\\HiddenFileExt";
constexpr char kMachineBrowser[] = "SOFTWARE\\Microsoft\\Internet Explorer\\Main";
constexpr char kUserBrowser[] = "Software\\Microsoft\\Internet Explorer\\Main";
constexpr char kTextFileCommand[] = "SOFTWARE\\CLASSES\\txtfile\\shell\\open\\command";

constexpr char kWindowTitle[] = "Microsoft Internet Explorer";
constexpr char kNotepadCommand[] = "%SystemRoot%\\system32\\NOTEPAD.EXE %1";

// Lengths of the zero-filled buffers the texts are written from; the stored
// data is the text followed by zero bytes up to this length.
constexpr DWORD kPageLength = 50;
constexpr DWORD kSearchPageLength = 100;
constexpr DWORD kTitleLength = 50;
constexpr DWORD kCommandLength = 50;
static_assert(sizeof kRepairHomePage <= kPageLength, "the home page must fit its buffer");
static_assert(sizeof kRepairSearchPage <= kSearchPageLength, "the search page must fit its buffer");
static_assert(sizeof kWindowTitle <= kTitleLength, "the window title must fit its buffer");
static_assert(sizeof kNotepadCommand <= kCommandLength, "the notepad command must fit its buffer");

const char kPoliciesLocation[] = "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer";
const char kSystemLocation[] = "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
const char kShowAllLocation[] =
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced\\Folder\\Hidden\\SHOWALL";
const char kHiddenFileExtLocation[] =
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced\\Folder\\Hidden\\HiddenFileExt";
const char kUserBrowserLocation[] = "HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Explorer\\";
const char kMachineBrowserLocation[] = "HKEY_LOCAL_MACHINE\\Microsoft\\Internet Explorer\\";
const char kTextFileLocation[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\CLASSES\\txtfile\\shell\\open\\command";

// One registry operation. A null root means the Explorer policies key, which
// stays open for the policy rows; any other key is opened just before the
// operation and closed after it. Type REG_NONE deletes the value.
struct Operation {
    HKEY root;
    const char* key;
    const char* name;  // null: the key's default value
    DWORD type;
    DWORD number;      // REG_DWORD
    const char* text;  // REG_SZ, REG_EXPAND_SZ
    DWORD length;      // bytes written for a text
};

struct Row {
    UINT label;
    const char* location;
    std::vector<Operation> operations;
};

Operation Delete(const char* name)
{
    return {nullptr, nullptr, name, REG_NONE, 0, nullptr, 0};
}

Operation Delete(HKEY root, const char* key, const char* name)
{
    return {root, key, name, REG_NONE, 0, nullptr, 0};
}

Operation SetNumber(HKEY root, const char* key, const char* name, DWORD number)
{
    return {root, key, name, REG_DWORD, number, nullptr, 0};
}

Operation SetText(HKEY root, const char* key, const char* name, DWORD type, const char* text, DWORD length)
{
    return {root, key, name, type, 0, text, length};
}

// Rows 1 to 25 work on the Explorer policies key.
const std::vector<Row>& PolicyRows()
{
    static const std::vector<Row> rows = {
        {IDS_REPAIR_FOLDER_OPTIONS, kPoliciesLocation, {Delete("NoFolderOptions")}},
        {IDS_REPAIR_MY_DOCUMENTS, kPoliciesLocation, {Delete("NoRecentDocsMenu")}},
        {IDS_REPAIR_RECENT_DOCUMENTS, kPoliciesLocation, {Delete("NoRecentDocsHistory")}},
        {IDS_REPAIR_HISTORY, kPoliciesLocation, {Delete("ClearRecentDocsOnExit")}},
        {IDS_REPAIR_FAVORITES, kPoliciesLocation, {Delete("NoFavoritesMenu")}},
        {IDS_REPAIR_HELP, kPoliciesLocation, {Delete("NoSMHelp")}},
        {IDS_REPAIR_SEARCH, kPoliciesLocation, {Delete("NoFind")}},
        {IDS_REPAIR_RUN, kPoliciesLocation, {Delete("NoRun")}},
        {IDS_REPAIR_LOG_OFF, kPoliciesLocation, {Delete("NoLogOff"), Delete("StartMenuLogOff")}},
        {IDS_REPAIR_TURN_OFF, kPoliciesLocation, {Delete("NoClose")}},
        {IDS_REPAIR_CONTROL_PANEL, kPoliciesLocation, {Delete("NoSetFolders")}},
        {IDS_REPAIR_TASKBAR, kPoliciesLocation, {Delete("NoSetTaskbar")}},
        {IDS_REPAIR_WINDOWS_UPDATE, kPoliciesLocation, {Delete("NoWindowsUpdate")}},
        {IDS_REPAIR_ACTIVE_DESKTOP, kPoliciesLocation,
         {Delete("NoSetActiveDesktop"), Delete("NoActiveDesktop"), Delete("NoActiveDesktopChanges")}},
        {IDS_REPAIR_FILE_MENU, kPoliciesLocation, {Delete("NoFileMenu")}},
        {IDS_REPAIR_NETWORK_DRIVE, kPoliciesLocation, {Delete("NoNetConnectDisconnect")}},
        {IDS_REPAIR_WEB_VIEW, kPoliciesLocation, {Delete("NoWebView")}},
        {IDS_REPAIR_DESKTOP_ICON, kPoliciesLocation, {Delete("Nodesktop")}},
        {IDS_REPAIR_NETWORK_NEIGHBOR, kPoliciesLocation, {Delete("NoNetHood")}},
        {IDS_REPAIR_INTERNET_ICON, kPoliciesLocation, {Delete("NoInternetIcon")}},
        {IDS_REPAIR_RIGHT_CLICK, kPoliciesLocation,
         {Delete("NoViewContextMenu"), Delete("NoTrayContextMenu"), Delete("NoChangeStartMenu")}},
        {IDS_REPAIR_PRINTER, kPoliciesLocation,
         {Delete("NoAddPrinter"), Delete("NoDeletePrinter"), Delete("NoPrinterTabs")}},
        {IDS_REPAIR_DRIVE, kPoliciesLocation, {Delete("NoDrives")}},
        // The same value the USB autorun switch manages: autorun off for
        // removable, network and unknown drives.
        {IDS_REPAIR_AUTORUN, kPoliciesLocation, {SetNumber(nullptr, nullptr, "NoDriveTypeAutoRun", 0x95)}},
        {IDS_REPAIR_RUN_PROGRAM, kPoliciesLocation, {Delete("RestrictRun")}},
    };
    return rows;
}

// Rows 26 to 31, each on keys of its own.
const std::vector<Row>& KeyRows()
{
    const HKEY user = HKEY_CURRENT_USER;
    const HKEY machine = HKEY_LOCAL_MACHINE;
    static const std::vector<Row> rows = {
        {IDS_REPAIR_REGEDIT, kSystemLocation, {SetNumber(user, kSystemPolicies, "DisableRegistryTools", 0)}},
        {IDS_REPAIR_SHOW_HIDDEN, kShowAllLocation, {SetNumber(machine, kShowAll, "CheckedValue", 1)}},
        {IDS_REPAIR_EXTENSIONS, kHiddenFileExtLocation, {SetNumber(machine, kHiddenFileExt, "CheckedValue", 1)}},
        {IDS_REPAIR_INTERNET_EXPLORER, kUserBrowserLocation,
         {SetText(machine, kMachineBrowser, "Start Page", REG_SZ, kRepairHomePage, kPageLength)}},
        {IDS_REPAIR_INTERNET_EXPLORER, kMachineBrowserLocation,
         {SetText(user, kUserBrowser, "Start Page", REG_SZ, kRepairHomePage, kPageLength),
          SetText(machine, kMachineBrowser, "default_page_url", REG_SZ, kRepairHomePage, kPageLength),
          SetText(user, kUserBrowser, "default_page_url", REG_SZ, kRepairHomePage, kPageLength),
          SetText(machine, kMachineBrowser, "Search Page", REG_SZ, kRepairSearchPage, kSearchPageLength),
          SetText(user, kUserBrowser, "Search Page", REG_SZ, kRepairSearchPage, kSearchPageLength),
          Delete(user, kUserBrowser, "Settings"), Delete(user, kUserBrowser, "Links"),
          Delete(user, kUserBrowser, "SecAddSites"),
          SetText(machine, kMachineBrowser, "Window Title", REG_SZ, kWindowTitle, kTitleLength),
          SetText(user, kUserBrowser, "Window Title", REG_SZ, kWindowTitle, kTitleLength)}},
        {IDS_REPAIR_NOTEPAD, kTextFileLocation,
         {SetText(machine, kTextFileCommand, nullptr, REG_EXPAND_SZ, kNotepadCommand, kCommandLength)}},
    };
    return rows;
}

void Apply(HKEY key, const Operation& operation)
{
    switch (operation.type) {
    case REG_NONE:
        // A value that is not there is no error.
        RegDeleteValueA(key, operation.name);
        break;
    case REG_DWORD:
        RegSetValueExA(key, operation.name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&operation.number),
                       sizeof operation.number);
        break;
    default: {
        std::vector<BYTE> data(operation.length, 0);
        std::memcpy(data.data(), operation.text, std::strlen(operation.text));
        RegSetValueExA(key, operation.name, 0, operation.type, data.data(), operation.length);
        break;
    }
    }
}

void ApplyInOwnKey(const Operation& operation)
{
    HKEY key;
    if (RegOpenKeyExA(operation.root, operation.key, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return;
    Apply(key, operation);
    RegCloseKey(key);
}

}  // namespace

bool RunRegistryRepair(const RepairRowSink& addRow)
{
    HKEY policies;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kExplorerPolicyKey, 0, KEY_ALL_ACCESS, &policies) != ERROR_SUCCESS)
        return false;
    for (const Row& row : PolicyRows()) {
        for (const Operation& operation : row.operations)
            Apply(policies, operation);
        addRow(row.location, row.label);
    }
    RegCloseKey(policies);

    for (const Row& row : KeyRows()) {
        for (const Operation& operation : row.operations)
            ApplyInOwnKey(operation);
        addRow(row.location, row.label);
    }
    return true;
}
