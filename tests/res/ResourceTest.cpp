// The program's resources as the code loads them: every identifier exists with
// its type, the texts are exactly the ones the pages show, every template makes
// a window with all its controls in place, and the pictures, clips and sound
// can be used by the controls that show or play them.
#include "res/resource.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

HINSTANCE Module() { return GetModuleHandleW(nullptr); }

// The RT_ constants are the ANSI flavour of their numbers in this build.
LPCWSTR Wide(LPSTR type) { return reinterpret_cast<LPCWSTR>(type); }

std::wstring LoadText(int id)
{
    const wchar_t* text = nullptr;
    // With a zero buffer size LoadStringW hands out the table entry itself,
    // so the comparison sees every character, not a truncated copy.
    int length = LoadStringW(Module(), id, reinterpret_cast<LPWSTR>(&text), 0);
    return length > 0 ? std::wstring(text, length) : std::wstring();
}

std::wstring WindowText(HWND window)
{
    wchar_t buffer[1024] = {};
    GetWindowTextW(window, buffer, 1024);
    return buffer;
}

std::wstring ClassOf(HWND window)
{
    wchar_t buffer[64] = {};
    GetClassNameW(window, buffer, 64);
    return buffer;
}

class CommonControls : public ::testing::Environment {
public:
    void SetUp() override
    {
        INITCOMMONCONTROLSEX init = {sizeof(init), ICC_LISTVIEW_CLASSES | ICC_ANIMATE_CLASS | ICC_STANDARD_CLASSES};
        InitCommonControlsEx(&init);
    }
};
const auto* const commonControls = ::testing::AddGlobalTestEnvironment(new CommonControls);

INT_PTR CALLBACK QuietDialogProc(HWND, UINT msg, WPARAM, LPARAM)
{
    return msg == WM_INITDIALOG ? TRUE : FALSE;
}

// A top-level stand-in for the main window that the pages are created under.
class Host {
public:
    Host()
    {
        window_ = CreateWindowExW(0, L"Static", L"host", WS_POPUP, 0, 0, 755, 550, nullptr, nullptr, Module(), nullptr);
    }
    ~Host() { DestroyWindow(window_); }
    HWND Handle() const { return window_; }

private:
    HWND window_;
};

class Dialog {
public:
    Dialog(int templateId, HWND parent)
    {
        window_ = CreateDialogParamW(Module(), MAKEINTRESOURCEW(templateId), parent, QuietDialogProc, 0);
    }
    ~Dialog()
    {
        if (window_)
            DestroyWindow(window_);
    }
    HWND Handle() const { return window_; }

private:
    HWND window_;
};

// ---------------------------------------------------------------------------
// Identifiers and types

struct Named {
    int id;
    LPCWSTR type;
};

TEST(ResourceTypes, EveryIdentifierTheCodeLoadsExistsWithItsType)
{
    const Named all[] = {
        {IDD_ABOUT, Wide(RT_DIALOG)}, {IDD_MAIN_WINDOW, Wide(RT_DIALOG)}, {IDD_INFO_PAGE, Wide(RT_DIALOG)},
        {IDD_MEMORY_PROTECTION_PAGE, Wide(RT_DIALOG)}, {IDD_QUARANTINE_PAGE, Wide(RT_DIALOG)},
        {IDD_USB_SCAN_PAGE, Wide(RT_DIALOG)}, {IDD_USB_PROTECTION_PAGE, Wide(RT_DIALOG)}, {IDD_SYSTEM_PAGE, Wide(RT_DIALOG)},
        {IDD_IMMUNITY_PAGE, Wide(RT_DIALOG)}, {IDD_UPDATE_DIALOG, Wide(RT_DIALOG)}, {IDD_STARTUP_MANAGER_PAGE, Wide(RT_DIALOG)},
        {IDD_STATUS_POPUP, Wide(RT_DIALOG)},
        {IDI_MAIN, Wide(RT_GROUP_ICON)}, {IDI_USB_DRIVE, Wide(RT_GROUP_ICON)}, {IDI_COMPUTER, Wide(RT_GROUP_ICON)},
        {IDI_TRAY, Wide(RT_GROUP_ICON)}, {IDI_PROTECTION_SHIELD, Wide(RT_GROUP_ICON)}, {IDI_ABOUT, Wide(RT_GROUP_ICON)},
        {IDI_HELP_BOOK, Wide(RT_GROUP_ICON)},
        {IDCUR_HAND, Wide(RT_GROUP_CURSOR)},
        {IDR_TRAY_MENU, Wide(RT_MENU)},
        {IDR_AVI_SCAN, L"AVI"}, {IDR_AVI_CLEANUP, L"AVI"}, {IDR_WAVE_ALERT, L"WAVE"},
        {1, Wide(RT_VERSION)}, {1, Wide(RT_MANIFEST)},
    };
    for (const Named& r : all) {
        SCOPED_TRACE(r.id);
        EXPECT_NE(FindResourceW(Module(), MAKEINTRESOURCEW(r.id), r.type), nullptr);
    }
    const int bitmaps[] = {205, 206, 207, 208, 210, 211, 212, 213, 216, 218, 219, 220, 221, 222, 223,
                           224, 225, 226, 227, 228, 229, 230, 231, 232, 233, 235, 236};
    for (int id : bitmaps) {
        SCOPED_TRACE(id);
        EXPECT_NE(FindResourceW(Module(), MAKEINTRESOURCEW(id), Wide(RT_BITMAP)), nullptr);
    }
}

TEST(ResourceTypes, SharedNamesKeepTheirNumbers)
{
    // Pages were written against these numbers; a renumbering breaks them silently.
    EXPECT_EQ(IDC_FIRST_BUTTON, 1002);
    EXPECT_EQ(IDC_SECOND_BUTTON, 1003);
    EXPECT_EQ(IDC_THREAT_LIST_OR_STOP, 1015);
    EXPECT_EQ(IDC_DELETE_OR_RESULT_LIST, 1036);
    EXPECT_EQ(IDC_PAGE_NONE, 1008);
    EXPECT_EQ(IDCUR_HAND, 137);
    EXPECT_EQ(IDR_WAVE_ALERT, 167);
}

// ---------------------------------------------------------------------------
// Strings

struct Text {
    int id;
    const wchar_t* text;
};

TEST(StringTable, TextsAreExactlyTheOnesThePagesShow)
{
    const Text texts[] = {
        {IDS_ABOUT_MENU, L"&О программе Tollmark..."},
        {IDS_VERSION, L"5.1.0.15"},
        {IDS_ERROR, L"Ошибка"},
        {IDS_PROTECTION_ACTIVE, L"Защита Активна"},
        {IDS_ACTIVE, L"Активный"},
        {IDS_TIP_INFO, L"Краткая инструкция"},
        {IDS_TIP_USB_PROTECTION, L"Мониторинг в реальном времени препятствует проникновению на Ваш ПК через USB всем угрозам"},
        {IDS_TIP_USB_SCAN, L"Полное исследование USB устройств"},
        {IDS_TIP_MEMORY, L"Мониторинг памяти выполняется в реальном времени и блокирует все злонамеренные программы."},
        {IDS_TIP_STARTUP, L"Список программ, которые будут загружены при загрузке Windows"},
        {IDS_TIP_SYSTEM, L"Restore malicious changes on your computer"},
        {IDS_TIP_QUARANTINE, L"Все опасные объекты изолированы или удалены и не могут причинить вреда Вашему ПК."},
        {IDS_EXIT_QUESTION, L"Вы хотите выйти?"},
        {IDS_UNINSTALLER_CAPTION, L"Удаление Vardenix"},
        {IDS_UNINSTALL_WARNING, L"Вы лишаетесь защиты USB дисков!"},
        {IDS_HELP_NOT_FOUND, L"Документ не найден"},
        {IDS_TIP_READING, L"Чтение"},
        {IDS_COL_THREAT, L"Угроза"},
        {IDS_RISK, L"Риск"},
        {IDS_NO_THREATS, L"Угроз не обнаружено"},
        {IDS_THREATS_FOUND, L"%d найденных угроз"},
        {IDS_DELETE_ALL_QUESTION, L"Вы хотите удалить Все?"},
        {IDS_DELETE_PREFIX, L"Удаление: "},
        {IDS_DELETED, L"Удален"},
        {IDS_DELETE_ERROR, L"Ошибка удаления"},
        {IDS_SELECT_FILE, L"Пожалуйста, выберите файл"},
        {IDS_REATTACH_DRIVE, L"Удалите Ваш USB диск, а затем повторно подключите к ПК"},
        {IDS_COL_FILE, L"Файл"},
        {IDS_COL_SCAN_STATE, L"Состояние"},
        {IDS_SUSPICIOUS, L"Подозрительные"},
        {IDS_NO_USB_DRIVE, L"USB устройство не обнаружено"},
        {IDS_TIP_IMMUNISE, L"При запрете Автозапуска USB устройств, на жестких и USB дисках создается системный файл с именем AUTORUN.INF."},
        {IDS_TIP_SAFE_REMOVAL, L"USB диск успешно удален"},
        {IDS_IMMUNITY_HELP,
         L"Получение Иммунитета:\r\n  Блокирует большинство вирусов из USB устройств, 'Получение Иммунитета' "
         L"отключает Автозапуск для USB устройств и создает системный файл AUTORUN.INF на жестких и USB дисках.\r\n"
         L"Отмена Иммунитета:\r\n  'Отмена Иммунитета' включает Автозапуск для USB устройств и удаляет файл "
         L"AUTORUN.INF из жестких и USB дисков."},
        {IDS_SAFE_REMOVAL_HELP,
         L"Проблема:\r\n  Иногда, при удалении USB диска, система выдает сообщение:\r\n  Устройство 'Generic volume' "
         L"не может быть остановлено прямо сейчас. Попробуйте остановить позже.\r\nРешение:\r\n1. Закройте "
         L"программы, использующие USB диск (word, excel, или др.)\r\n2. Нажмите на кнопку 'Безопасное Удаление'."},
        {IDS_CLOSE_USB_PROGRAMS, L"Вы закрыли Все программы, использующие USB диск?"},
        {IDS_WAIT, L"Ожидайте"},
        {IDS_LOGOFF_QUESTION, L"Смените Пользователя для завершения извлечения USB устройства."},
        {IDS_ROOT_VIRUS, L"В корневом каталоге может быть вирус: %s \r\nПожалуйста, проверьте весь ПК Вашим Антивирусом!"},
        {IDS_IMMUNITY_README, L"Директория, созданная Vardenix должна быть удалена отдельно"},
        {IDS_IMMUNISED, L"Ваш компьютер и USB устройства защищены от вирусов"},
        {IDS_NOT_PROTECTED, L"Внимание! Ваш компьютер и USB устройства не защищены от вирусов!"},
        {IDS_PC_AT_RISK, L"Ваш ПК подвержен риску!"},
        {IDS_COL_PROCESS, L"Процесс"},
        {IDS_COL_SAFETY, L"Безопасность"},
        {IDS_COL_PATH, L"Путь"},
        {IDS_COL_APPLICATION, L"Приложение"},
        {IDS_COL_COMMAND, L"Команда"},
        {IDS_COL_LOCATION, L"Расположение"},
        {IDS_SELECT_ITEM, L"Пожалуйста, выберите пункт"},
        {IDS_EMPTY, L"Пусто"},
        {IDS_TIP_REGISTRY, L"Repair registry changed by malicious programs\r\nКомпьютеру вред не причинен."},
        {IDS_TIP_DISK, L"Enable you to clear your disk of unnecessary files\r\nКомпьютеру вред не причинен."},
        {IDS_COL_CONTENT, L"Содержимое"},
        {IDS_COL_RESULT, L"Состояние"},
        {IDS_DISK_QUESTION, L"Вы хотите очистить системный диск?\r\nПожалуйста, подождите!"},
        {IDS_DISK_DONE, L"Очистка завершена"},
        {IDS_URL_CACHE_DELETED, L"IE кеш Удален"},
        {IDS_REGISTRY_QUESTION, L"Вы хотите очистить реестр?"},
        {IDS_COL_ORIGIN, L"Происхождение"},
        {IDS_COL_QUARANTINE, L"Карантин"},
        {IDS_TIP_REFRESH_LIST, L"Обновить Список"},
        {IDS_TIP_RESTORE, L"Восстановление исходных файлов"},
        {IDS_TIP_PURGE, L"Удаление всех файлов из Карантина "},
        {IDS_RESTORE_PREFIX, L"Восстановление"},
        {IDS_RESTORE_ALREADY, L"Восстановление: файл был восстановлен"},
        {IDS_RESTORE_DONE, L"Восстановление выполнено"},
        {IDS_RESTORE_DESKTOP, L"Restore the file to desktop"},
        {IDS_ITEM_MISSING, L"Выполнено: карантинный файл отсутствует!"},
        {IDS_NOTHING_FOUND, L"Ничего не найдено"},
        {IDS_PURGE_QUESTION, L"Вы хотите удалить все файлы из Карантина?"},
        {IDS_FINISHED, L"Завершено"},
        {IDS_RESTORE_FAILED, L"Восстановление: файл не был восстановлен"},
        {IDS_AUTORUN_QUESTION, L"Автозапуск для USB дисков потенциально опасен.\r\nЗапретить Автозапуск для USB устройств?"},
        {IDS_TIP_CANCEL_IMMUNITY, L"Включите Автозагрузку для USB (будут удален AUTORUN.INF)"},
        {IDS_UPDATE_RUNNING, L"Выполняется обновление.\r\nПожалуйста, дождитесь завершения проверки."},
        {IDS_PROMPT_AUTORUN_ON, L"Включить Автозапуск для USB"},
        {IDS_PROMPT_AUTORUN_OFF, L"Отключить Автозапуск для USB"},
    };
    for (const Text& t : texts) {
        SCOPED_TRACE(t.id);
        EXPECT_EQ(LoadText(t.id), std::wstring(t.text));
    }
}

TEST(StringTable, RepairLabelsFillTheirWholeRangeInRowOrder)
{
    EXPECT_EQ(LoadText(IDS_REPAIR_FOLDER_OPTIONS), L"Restore Folder Options");
    EXPECT_EQ(LoadText(IDS_REPAIR_LOG_OFF), L"Restore Log Off");
    EXPECT_EQ(LoadText(IDS_REPAIR_AUTORUN), L"Restore AutoRun");
    EXPECT_EQ(LoadText(IDS_REPAIR_SHOW_HIDDEN), L"Restore Show hidden files and folders");
    EXPECT_EQ(LoadText(IDS_REPAIR_INTERNET_EXPLORER), L"Restore Internet Explorer");
    EXPECT_EQ(LoadText(IDS_REPAIR_NOTEPAD), L"Restore notepad");
    for (int id = IDS_REPAIR_FIRST; id <= IDS_REPAIR_LAST; ++id) {
        SCOPED_TRACE(id);
        EXPECT_EQ(LoadText(id).rfind(L"Restore ", 0), 0u);
    }
}

TEST(StringTable, InformationTextCreditsTheTranslationThenListsTheFeatures)
{
    const std::wstring text = LoadText(IDS_INFO_TEXT);
    const std::wstring credit = L"Перевод на русский язык:\r\n";
    const std::wstring features =
        L"\r\n\r\nВозможности программы:\r\n1. Vardenix обеспечивает 100%-ую защиту против любых угроз через USB "
        L"устройства. Большинство других продуктов неспособны гарантировать даже 90%-ую защиту.\r\n2.  Vardenix - "
        L"лучшая антивирусная программа для постоянной защиты компьютера от угрозы заражения от USB носителей, без "
        L"надобности в обновлениях сигнатур, отлично работающая с Вашим основным антивирусом.\r\n3. Это легкое и "
        L"удобное решение на 100 % совместимо со всеми программами и абсолютно не замедляет работу ПК.\r\n4. Вы "
        L"платите за Vardenix и получаете все это!";
    ASSERT_GT(text.size(), credit.size() + features.size());
    EXPECT_EQ(text.substr(0, credit.size()), credit);
    EXPECT_EQ(text.substr(text.size() - features.size()), features);
    // Exactly one translator line sits between the credit and the features.
    const std::wstring translator = text.substr(credit.size(), text.size() - credit.size() - features.size());
    EXPECT_FALSE(translator.empty());
    EXPECT_EQ(translator.find(L"\r\n"), std::wstring::npos);
}

TEST(StringTable, EveryLoadedTextFitsTheBuffersThePagesUse)
{
    // Pages load into 256-character buffers; only the three texts that fill
    // read-only edits are longer, and their pages load them whole.
    for (int id = 100; id <= 225; ++id) {
        if (id == IDS_INFO_TEXT || id == IDS_IMMUNITY_HELP || id == IDS_SAFE_REMOVAL_HELP)
            continue;
        SCOPED_TRACE(id);
        EXPECT_LT(LoadText(id).size(), 256u);
    }
}

// ---------------------------------------------------------------------------
// Dialog templates

struct ControlSpec {
    int id;
    const wchar_t* cls;
    int x, y, w, h;           // dialog units; w < 0 leaves the size unchecked
    const wchar_t* text;      // nullptr leaves the text unchecked
};

void ExpectControls(HWND dialog, const std::vector<ControlSpec>& controls)
{
    ASSERT_NE(dialog, nullptr);
    for (const ControlSpec& c : controls) {
        SCOPED_TRACE(c.id);
        HWND control = GetDlgItem(dialog, c.id);
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(ClassOf(control), std::wstring(c.cls));
        if (c.text) {
            EXPECT_EQ(WindowText(control), std::wstring(c.text));
        }
        // The dialog manager converts position and size separately, so the
        // expected corner is the converted origin plus the converted size.
        RECT expected = {c.x, c.y, c.w, c.h};
        MapDialogRect(dialog, &expected);
        expected.right += expected.left;
        expected.bottom += expected.top;
        RECT actual;
        GetWindowRect(control, &actual);
        MapWindowPoints(HWND_DESKTOP, dialog, reinterpret_cast<POINT*>(&actual), 2);
        EXPECT_EQ(actual.left, expected.left);
        EXPECT_EQ(actual.top, expected.top);
        if (c.w >= 0) {
            EXPECT_EQ(actual.right, expected.right);
            EXPECT_EQ(actual.bottom, expected.bottom);
        }
    }
}

LONG_PTR StyleOf(HWND dialog, int id) { return GetWindowLongPtrW(GetDlgItem(dialog, id), GWL_STYLE); }

void ExpectThreatList(HWND dialog, int id)
{
    SCOPED_TRACE(id);
    const LONG_PTR style = StyleOf(dialog, id);
    EXPECT_EQ(style & LVS_TYPEMASK, LVS_REPORT);
    EXPECT_TRUE(style & LVS_SINGLESEL);
    EXPECT_TRUE(style & LVS_SHOWSELALWAYS);
}

void ExpectReadOnlyText(HWND dialog, int id)
{
    SCOPED_TRACE(id);
    const LONG_PTR style = StyleOf(dialog, id);
    EXPECT_TRUE(style & ES_MULTILINE);
    EXPECT_TRUE(style & ES_READONLY);
    EXPECT_TRUE(style & WS_VSCROLL);
}

void ExpectCentred(HWND dialog, int id)
{
    SCOPED_TRACE(id);
    EXPECT_EQ(StyleOf(dialog, id) & SS_TYPEMASK, SS_CENTER);
}

void ExpectChildPage(HWND page)
{
    const LONG_PTR style = GetWindowLongPtrW(page, GWL_STYLE);
    EXPECT_TRUE(style & WS_CHILD);
    EXPECT_FALSE(style & WS_CAPTION);
    EXPECT_FALSE(style & WS_VISIBLE);  // the main window shows one page at a time
    RECT size = {0, 0, 377, 209};
    MapDialogRect(page, &size);
    RECT client;
    GetClientRect(page, &client);
    EXPECT_EQ(client.right, size.right);
    EXPECT_EQ(client.bottom, size.bottom);
}

const wchar_t* const kButton = L"Button";
const wchar_t* const kStatic = L"Static";
const wchar_t* const kEdit = L"Edit";
const wchar_t* const kList = L"SysListView32";
const wchar_t* const kAnimation = L"SysAnimate32";

TEST(DialogTemplates, MainWindowHasItsSevenPageButtons)
{
    Dialog main(IDD_MAIN_WINDOW, nullptr);
    ExpectControls(main.Handle(), {
        {IDC_PAGE_INFO, kButton, 10, 14, 56, 43, L"Информация"},
        {IDC_PAGE_USB_PROTECTION, kButton, 80, 13, 58, 43, L"Защита USB"},
        {IDC_PAGE_USB_SCAN, kButton, 150, 13, 60, 43, L"Проверка USB"},
        {IDC_PAGE_MEMORY, kButton, 220, 14, 62, 43, L"Защита Памяти"},
        {IDC_PAGE_QUARANTINE, kButton, 290, 11, 56, 43, L"Карантин"},
        {IDC_PAGE_SYSTEM, kButton, 360, 14, 58, 43, L"Система"},
        {IDC_PAGE_STARTUP, kButton, 430, 14, 60, 43, L"Автозапуск"},
    });
    EXPECT_EQ(GetDlgItem(main.Handle(), IDC_PAGE_NONE), nullptr);
    EXPECT_EQ(WindowText(main.Handle()), L"Vardenix");
    const LONG_PTR style = GetWindowLongPtrW(main.Handle(), GWL_STYLE);
    for (LONG_PTR bit : {LONG_PTR(WS_POPUP), LONG_PTR(WS_CAPTION), LONG_PTR(WS_SYSMENU), LONG_PTR(WS_MINIMIZEBOX),
                         LONG_PTR(WS_VISIBLE)})
        EXPECT_EQ(style & bit, bit);
    EXPECT_FALSE(style & WS_MAXIMIZEBOX);
    EXPECT_TRUE(GetWindowLongPtrW(main.Handle(), GWL_EXSTYLE) & WS_EX_APPWINDOW);
    EXPECT_TRUE(GetWindowLongPtrW(main.Handle(), GWL_EXSTYLE) & WS_EX_DLGMODALFRAME);
    RECT size = {0, 0, 500, 341};
    MapDialogRect(main.Handle(), &size);
    RECT client;
    GetClientRect(main.Handle(), &client);
    EXPECT_EQ(client.right, size.right);
    EXPECT_EQ(client.bottom, size.bottom);
}

TEST(DialogTemplates, PopupAndUpdateDialogAreHiddenTopLevelWindows)
{
    Dialog popup(IDD_STATUS_POPUP, nullptr);
    ExpectControls(popup.Handle(), {
        {IDC_POPUP_STATUS, kStatic, 15, 13, 118, 10, nullptr},
        {IDC_FIRST_BUTTON, kButton, 141, 7, 50, 32, nullptr},
    });
    Dialog update(IDD_UPDATE_DIALOG, nullptr);
    ExpectControls(update.Handle(), {
        {IDC_UPDATE_VERSION, kStatic, 89, 6, 62, 8, L""},
        {IDC_UPDATE_NOTES, kEdit, 9, 21, 138, 52, L""},
        {IDC_UPDATE_NOW, kButton, 15, 81, 42, 11, L"Обновить"},
        {IDCANCEL, kButton, 99, 81, 42, 11, L"Отмена"},
    });
    ExpectReadOnlyText(update.Handle(), IDC_UPDATE_NOTES);
    EXPECT_EQ(StyleOf(update.Handle(), IDC_UPDATE_NOW) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
    EXPECT_EQ(WindowText(popup.Handle()), L"Vardenix");
    EXPECT_EQ(WindowText(update.Handle()), L"Проверка обновлений Tollmark");
    for (HWND w : {popup.Handle(), update.Handle()}) {
        const LONG_PTR style = GetWindowLongPtrW(w, GWL_STYLE);
        EXPECT_EQ(style & (WS_POPUP | WS_CAPTION | WS_SYSMENU), LONG_PTR(WS_POPUP | WS_CAPTION | WS_SYSMENU));
        EXPECT_FALSE(IsWindowVisible(w));
        EXPECT_EQ(GetParent(w), nullptr);
    }
}

TEST(DialogTemplates, AboutBoxHasItsIconAndOkButton)
{
    Host host;
    Dialog about(IDD_ABOUT, host.Handle());
    ExpectControls(about.Handle(), {{IDOK, kButton, 208, 19, 51, 15, L"OK"}});
    EXPECT_EQ(WindowText(about.Handle()), L"О программе");
    RECT size = {0, 0, 266, 79};
    MapDialogRect(about.Handle(), &size);
    RECT client;
    GetClientRect(about.Handle(), &client);
    EXPECT_EQ(client.right, size.right);
    EXPECT_EQ(client.bottom, size.bottom);
    // The icon is the one static with an image.
    bool iconFound = false;
    for (HWND c = GetWindow(about.Handle(), GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        if ((GetWindowLongPtrW(c, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
            iconFound = SendMessageW(c, STM_GETICON, 0, 0) != 0;
    EXPECT_TRUE(iconFound);
}

TEST(DialogTemplates, InformationPage)
{
    Host host;
    Dialog page(IDD_INFO_PAGE, host.Handle());
    ExpectControls(page.Handle(), {
        {IDC_INFO_HELP, kButton, 101, 16, 46, 31, nullptr},
        {IDC_FIRST_BUTTON, kButton, 108, 54, 50, 29, nullptr},
        {IDC_INFO_HOME_PAGE, kStatic, 16, 168, 182, 8, nullptr},
        {IDC_INFO_EMAIL, kStatic, 16, 186, 88, 8, nullptr},
        {IDC_INFO_TEXT, kEdit, 211, 26, 150, 93, nullptr},
        {IDC_INFO_PICTURE, kButton, 220, 125, 135, 69, L""},
    });
    ExpectChildPage(page.Handle());
    ExpectReadOnlyText(page.Handle(), IDC_INFO_TEXT);
    // The link statics report clicks and carry their address as their text.
    EXPECT_TRUE(StyleOf(page.Handle(), IDC_INFO_HOME_PAGE) & SS_NOTIFY);
    EXPECT_EQ(WindowText(GetDlgItem(page.Handle(), IDC_INFO_HOME_PAGE)).rfind(L"http://", 0), 0u);
    EXPECT_NE(WindowText(GetDlgItem(page.Handle(), IDC_INFO_EMAIL)).find(L'@'), std::wstring::npos);
}

TEST(DialogTemplates, MemoryProtectionPage)
{
    Host host;
    Dialog page(IDD_MEMORY_PROTECTION_PAGE, host.Handle());
    ExpectControls(page.Handle(), {
        {IDC_MEMORY_LIST, kList, 4, 35, 366, 71, nullptr},
        {IDC_SECOND_BUTTON, kButton, 304, 113, 64, 31, L"Удалить"},
        {IDC_MEMORY_STATUS, kStatic, 82, 15, 200, 13, L""},
    });
    EXPECT_EQ(GetDlgItem(page.Handle(), IDC_FIRST_BUTTON), nullptr);  // refresh is a command only
    ExpectChildPage(page.Handle());
    ExpectThreatList(page.Handle(), IDC_MEMORY_LIST);
    ExpectCentred(page.Handle(), IDC_MEMORY_STATUS);
}

TEST(DialogTemplates, QuarantinePage)
{
    Host host;
    Dialog page(IDD_QUARANTINE_PAGE, host.Handle());
    ExpectControls(page.Handle(), {
        {IDC_QUARANTINE_LIST, kList, 5, 18, 365, 70, nullptr},
        {IDC_FIRST_BUTTON, kButton, 156, 96, 50, 31, L"Обновить"},
        {IDC_SECOND_BUTTON, kButton, 238, 94, 50, 31, L"Восстановить"},
        {IDC_QUARANTINE_PURGE, kButton, 320, 96, 50, 31, L"Удалить"},
    });
    ExpectChildPage(page.Handle());
    ExpectThreatList(page.Handle(), IDC_QUARANTINE_LIST);
}

TEST(DialogTemplates, UsbScanPage)
{
    Host host;
    Dialog page(IDD_USB_SCAN_PAGE, host.Handle());
    ExpectControls(page.Handle(), {
        {IDC_SCAN_LIST, kList, 5, 41, 364, 70, nullptr},
        {IDC_SCAN_COUNTER, kStatic, 100, 19, 169, 14, L""},
        {IDC_SCAN_DELETE_ALL, kButton, 304, 120, 59, 32, L"Удалить Все"},
        {IDC_SCAN_DELETE, kButton, 206, 121, 59, 32, L"Удалить"},
        {IDC_SCAN_START, kButton, 16, 120, 59, 33, L"Сканировать"},
        {IDC_THREAT_LIST_OR_STOP, kButton, 110, 119, 59, 33, L"Стоп"},
        {IDC_SCAN_ANIMATION, kAnimation, 26, 13, 20, 20, nullptr},
    });
    ExpectChildPage(page.Handle());
    ExpectThreatList(page.Handle(), IDC_SCAN_LIST);
    ExpectCentred(page.Handle(), IDC_SCAN_COUNTER);
    EXPECT_TRUE(StyleOf(page.Handle(), IDC_SCAN_ANIMATION) & ACS_TRANSPARENT);
}

TEST(DialogTemplates, UsbProtectionPage)
{
    Host host;
    Dialog page(IDD_USB_PROTECTION_PAGE, host.Handle());
    ExpectControls(page.Handle(), {
        {IDC_THREAT_LIST_OR_STOP, kList, 4, 38, 366, 72, nullptr},
        {IDC_USB_DELETE_ALL, kButton, 304, 113, 59, 31, L"Удалить Все"},
        {IDC_USB_COUNTER, kStatic, 102, 13, 160, 13, L""},
        {IDC_FIRST_BUTTON, kButton, 229, 113, 59, 31, L"Удалить"},
        {IDC_SECOND_BUTTON, kButton, 329, 160, 31, 30, L""},
    });
    ExpectChildPage(page.Handle());
    ExpectThreatList(page.Handle(), IDC_THREAT_LIST_OR_STOP);
    ExpectCentred(page.Handle(), IDC_USB_COUNTER);
    int icons = 0;
    for (HWND c = GetWindow(page.Handle(), GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        if ((GetWindowLongPtrW(c, GWL_STYLE) & SS_TYPEMASK) == SS_ICON && SendMessageW(c, STM_GETICON, 0, 0))
            ++icons;
    EXPECT_EQ(icons, 3);
}

TEST(DialogTemplates, SystemPage)
{
    Host host;
    Dialog page(IDD_SYSTEM_PAGE, host.Handle());
    ExpectControls(page.Handle(), {
        {IDC_FIRST_BUTTON, kButton, 231, 95, 60, 39, L"Очистка Реестра"},
        {IDC_SECOND_BUTTON, kButton, 310, 94, 60, 39, L"Очистка Диска"},
        {IDC_DELETE_OR_RESULT_LIST, kList, 4, 18, 365, 70, nullptr},
        {IDC_SYSTEM_ANIMATION, kAnimation, 42, 100, 120, 20, nullptr},
    });
    ExpectChildPage(page.Handle());
    ExpectThreatList(page.Handle(), IDC_DELETE_OR_RESULT_LIST);
}

TEST(DialogTemplates, ImmunityPage)
{
    Host host;
    Dialog page(IDD_IMMUNITY_PAGE, host.Handle());
    ExpectControls(page.Handle(), {
        {IDC_IMMUNISE, kButton, 12, 16, 76, 54, L"Получить Иммунитет"},
        {IDC_CANCEL_IMMUNITY, kButton, 98, 16, 76, 54, L"Отменить Иммунитет"},
        {IDC_FIRST_BUTTON, kButton, 246, 16, 76, 54, L"Безопасное Удаление"},
        {IDC_IMMUNITY_TEXT, kEdit, 8, 78, 170, 120, L""},
        {IDC_SAFE_REMOVAL_TEXT, kEdit, 199, 78, 170, 120, L""},
    });
    ExpectChildPage(page.Handle());
    ExpectReadOnlyText(page.Handle(), IDC_IMMUNITY_TEXT);
    ExpectReadOnlyText(page.Handle(), IDC_SAFE_REMOVAL_TEXT);
    // Everything stays inside the page.
    RECT pageRect;
    GetClientRect(page.Handle(), &pageRect);
    for (HWND c = GetWindow(page.Handle(), GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        RECT r;
        GetWindowRect(c, &r);
        MapWindowPoints(HWND_DESKTOP, page.Handle(), reinterpret_cast<POINT*>(&r), 2);
        EXPECT_GE(r.left, 0);
        EXPECT_GE(r.top, 0);
        EXPECT_LE(r.right, pageRect.right);
        EXPECT_LE(r.bottom, pageRect.bottom);
    }
}

TEST(DialogTemplates, StartupManagerPage)
{
    Host host;
    Dialog page(IDD_STARTUP_MANAGER_PAGE, host.Handle());
    ExpectControls(page.Handle(), {
        {IDC_STARTUP_LIST, kList, 4, 20, 366, 78, nullptr},
        {IDC_STARTUP_REFRESH, kButton, 221, 104, 52, 29, L"Обновить"},
        {IDC_DELETE_OR_RESULT_LIST, kButton, 306, 104, 52, 29, L"Удалить"},
    });
    ExpectChildPage(page.Handle());
    ExpectThreatList(page.Handle(), IDC_STARTUP_LIST);
}

// ---------------------------------------------------------------------------
// Menu

TEST(TrayMenu, FirstPopupHoldsTheItemsInOrder)
{
    HMENU menu = LoadMenuW(Module(), MAKEINTRESOURCEW(IDR_TRAY_MENU));
    ASSERT_NE(menu, nullptr);
    wchar_t title[64] = {};
    GetMenuStringW(menu, 0, title, 64, MF_BYPOSITION);
    EXPECT_STREQ(title, L"Пункт");
    HMENU popup = GetSubMenu(menu, 0);
    ASSERT_NE(popup, nullptr);
    struct Item {
        UINT id;
        const wchar_t* text;
    };
    const Item items[] = {
        {IDM_SHOW_MAIN_WINDOW, L"Показать Основное Окно"}, {0, nullptr},
        {IDM_AUTORUN_OFF, L"Отключить Автозапуск USB"}, {0, nullptr},
        {IDM_AUTORUN_ON, L"Включить Автозапуск USB"}, {0, nullptr},
        {IDM_SAFE_REMOVAL, L"Безопасное извлечение USB"}, {0, nullptr},
        {IDM_CHECK_UPDATE, L"Проверить Обновление"}, {0, nullptr},
        {IDM_EXIT, L"Выход"},
    };
    ASSERT_EQ(GetMenuItemCount(popup), 11);
    for (int i = 0; i < 11; ++i) {
        SCOPED_TRACE(i);
        MENUITEMINFOW info = {};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_FTYPE | MIIM_ID;
        ASSERT_TRUE(GetMenuItemInfoW(popup, i, TRUE, &info));
        if (!items[i].text) {
            EXPECT_TRUE(info.fType & MFT_SEPARATOR);
            continue;
        }
        EXPECT_EQ(info.wID, items[i].id);
        wchar_t text[128] = {};
        GetMenuStringW(popup, i, text, 128, MF_BYPOSITION);
        EXPECT_STREQ(text, items[i].text);
    }
    DestroyMenu(menu);
}

// ---------------------------------------------------------------------------
// Pictures

struct Picture {
    int id;
    int width, height;
};

TEST(Artwork, BitmapsLoadAtTheirButtonSizesWithWhiteCorners)
{
    const Picture bitmaps[] = {
        {IDB_INFO_PICTURE, 196, 104}, {IDB_STATUS, 28, 28}, {IDB_DELETE, 30, 30}, {IDB_STOP, 30, 30},
        {IDB_SCAN, 30, 30}, {IDB_RESTORE, 30, 30}, {IDB_REFRESH, 30, 30}, {IDB_SAFE_REMOVAL, 40, 40},
        {IDB_IMMUNISE, 40, 40}, {IDB_CANCEL_IMMUNITY, 40, 40}, {IDB_REGISTRY, 40, 40}, {IDB_DISK, 40, 40},
        {IDB_USB_DRIVE, 40, 40},
        {IDB_INFO_HOT, 48, 48}, {IDB_USB_PROTECTION_HOT, 48, 48}, {IDB_USB_SCAN_HOT, 48, 48},
        {IDB_MEMORY_HOT, 48, 48}, {IDB_STARTUP_HOT, 48, 48}, {IDB_SYSTEM_HOT, 48, 48},
        {IDB_QUARANTINE_HOT, 48, 48},
        {IDB_INFO_NORMAL, 48, 48}, {IDB_USB_PROTECTION_NORMAL, 48, 48}, {IDB_USB_SCAN_NORMAL, 48, 48},
        {IDB_MEMORY_NORMAL, 48, 48}, {IDB_STARTUP_NORMAL, 48, 48}, {IDB_SYSTEM_NORMAL, 48, 48},
        {IDB_QUARANTINE_NORMAL, 48, 48},
    };
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    for (const Picture& p : bitmaps) {
        SCOPED_TRACE(p.id);
        HBITMAP bitmap = static_cast<HBITMAP>(LoadImageW(Module(), MAKEINTRESOURCEW(p.id), IMAGE_BITMAP, 0, 0, 0));
        ASSERT_NE(bitmap, nullptr);
        BITMAP info = {};
        GetObjectW(bitmap, sizeof(info), &info);
        EXPECT_EQ(info.bmWidth, p.width);
        EXPECT_EQ(info.bmHeight, p.height);
        // White is the transparent colour: the corner must be see-through, and
        // the picture must have something that is not.
        HGDIOBJ old = SelectObject(dc, bitmap);
        EXPECT_EQ(GetPixel(dc, 0, 0), RGB(255, 255, 255));
        int opaque = 0;
        for (int y = 0; y < p.height; ++y)
            for (int x = 0; x < p.width; ++x)
                opaque += GetPixel(dc, x, y) != RGB(255, 255, 255);
        EXPECT_GT(opaque, p.width * p.height / 5);
        SelectObject(dc, old);
        DeleteObject(bitmap);
    }
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
}

TEST(Artwork, PageButtonLooksDifferFromEachOther)
{
    // The pointer-over look must be visibly different from the normal one.
    const int pairs[][2] = {{IDB_INFO_HOT, IDB_INFO_NORMAL}, {IDB_USB_PROTECTION_HOT, IDB_USB_PROTECTION_NORMAL},
                            {IDB_USB_SCAN_HOT, IDB_USB_SCAN_NORMAL}, {IDB_MEMORY_HOT, IDB_MEMORY_NORMAL},
                            {IDB_STARTUP_HOT, IDB_STARTUP_NORMAL}, {IDB_SYSTEM_HOT, IDB_SYSTEM_NORMAL},
                            {IDB_QUARANTINE_HOT, IDB_QUARANTINE_NORMAL}};
    for (const auto& pair : pairs) {
        SCOPED_TRACE(pair[0]);
        HRSRC a = FindResourceW(Module(), MAKEINTRESOURCEW(pair[0]), Wide(RT_BITMAP));
        HRSRC b = FindResourceW(Module(), MAKEINTRESOURCEW(pair[1]), Wide(RT_BITMAP));
        ASSERT_TRUE(a && b);
        ASSERT_EQ(SizeofResource(Module(), a), SizeofResource(Module(), b));
        EXPECT_NE(std::memcmp(LockResource(LoadResource(Module(), a)), LockResource(LoadResource(Module(), b)),
                              SizeofResource(Module(), a)),
                  0);
    }
}

TEST(Artwork, IconsLoadAtTheSizesTheirPlacesAsk)
{
    const int icons[] = {IDI_MAIN, IDI_USB_DRIVE, IDI_COMPUTER, IDI_TRAY, IDI_PROTECTION_SHIELD, IDI_ABOUT, IDI_HELP_BOOK};
    for (int id : icons) {
        SCOPED_TRACE(id);
        HICON big = static_cast<HICON>(LoadImageW(Module(), MAKEINTRESOURCEW(id), IMAGE_ICON, 32, 32, 0));
        EXPECT_NE(big, nullptr);
        DestroyIcon(big);
    }
    // The tray and the window caption ask for the small size.
    for (int id : {IDI_MAIN, IDI_TRAY}) {
        SCOPED_TRACE(id);
        HICON small = static_cast<HICON>(LoadImageW(Module(), MAKEINTRESOURCEW(id), IMAGE_ICON, 16, 16, 0));
        ASSERT_NE(small, nullptr);
        ICONINFO info = {};
        ASSERT_TRUE(GetIconInfo(small, &info));
        BITMAP bm = {};
        GetObjectW(info.hbmColor, sizeof(bm), &bm);
        EXPECT_EQ(bm.bmWidth, 16);
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
        DestroyIcon(small);
    }
    // The help button loads its icon at the stored size.
    HICON help = static_cast<HICON>(LoadImageW(Module(), MAKEINTRESOURCEW(IDI_HELP_BOOK), IMAGE_ICON, 0, 0, 0));
    ASSERT_NE(help, nullptr);
    ICONINFO info = {};
    ASSERT_TRUE(GetIconInfo(help, &info));
    BITMAP bm = {};
    GetObjectW(info.hbmColor, sizeof(bm), &bm);
    EXPECT_EQ(bm.bmWidth, 32);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    DestroyIcon(help);
}

TEST(Artwork, HandCursorPointsWithItsFingertip)
{
    HCURSOR hand = LoadCursorW(Module(), MAKEINTRESOURCEW(IDCUR_HAND));
    ASSERT_NE(hand, nullptr);
    ICONINFO info = {};
    ASSERT_TRUE(GetIconInfo(hand, &info));
    EXPECT_FALSE(info.fIcon);
    EXPECT_EQ(info.xHotspot, 5u);
    EXPECT_EQ(info.yHotspot, 0u);
    if (info.hbmColor)
        DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
}

// ---------------------------------------------------------------------------
// Clips and sound

struct Clip {
    int id;
    int width, height, frames;
};

TEST(Clips, BothAnimationsOpenAndPlayInTheAnimationControl)
{
    Host host;
    const Clip clips[] = {{IDR_AVI_SCAN, 32, 32, 12}, {IDR_AVI_CLEANUP, 160, 32, 16}};
    for (const Clip& clip : clips) {
        SCOPED_TRACE(clip.id);
        HWND animation = CreateWindowExW(0, ANIMATE_CLASSW, L"", WS_CHILD | WS_VISIBLE | ACS_TRANSPARENT, 0, 0, 10, 10,
                                         host.Handle(), nullptr, Module(), nullptr);
        ASSERT_NE(animation, nullptr);
        ASSERT_TRUE(Animate_Open(animation, MAKEINTRESOURCEW(clip.id)));
        // Without ACS_CENTER the control takes the clip's own size.
        RECT r;
        GetClientRect(animation, &r);
        EXPECT_EQ(r.right, clip.width);
        EXPECT_EQ(r.bottom, clip.height);
        // Frames 0 to the last exist, one past the last does not.
        EXPECT_TRUE(Animate_Seek(animation, clip.frames - 1));
        EXPECT_FALSE(Animate_Play(animation, 0, clip.frames, 1));
        EXPECT_TRUE(Animate_Play(animation, 0, -1, -1));
        Sleep(200);
        EXPECT_TRUE(Animate_Stop(animation));
        Animate_Close(animation);
        DestroyWindow(animation);
    }
}

TEST(Clips, AlertSoundIsAShortPcmWave)
{
    HRSRC found = FindResourceW(Module(), MAKEINTRESOURCEW(IDR_WAVE_ALERT), L"WAVE");
    ASSERT_NE(found, nullptr);
    const auto* data = static_cast<const unsigned char*>(LockResource(LoadResource(Module(), found)));
    const DWORD size = SizeofResource(Module(), found);
    ASSERT_GT(size, 44u);
    EXPECT_EQ(std::memcmp(data, "RIFF", 4), 0);
    EXPECT_EQ(std::memcmp(data + 8, "WAVEfmt ", 8), 0);
    WAVEFORMATEX format = {};
    std::memcpy(&format, data + 20, 16);
    EXPECT_EQ(format.wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(format.nChannels, 1);
    const double seconds = double(size - 44) / format.nAvgBytesPerSec;
    EXPECT_GT(seconds, 0.2);
    EXPECT_LT(seconds, 1.0);
}

// ---------------------------------------------------------------------------
// Version and manifest

TEST(Version, FileVersionIsTheProgramsVersion)
{
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path, &ignored);
    ASSERT_GT(size, 0u);
    std::vector<unsigned char> block(size);
    ASSERT_TRUE(GetFileVersionInfoW(path, 0, size, block.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, DWORD((5u << 16) | 1u));
    EXPECT_EQ(fixed->dwFileVersionLS, DWORD((0u << 16) | 15u));
    wchar_t* text = nullptr;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\StringFileInfo\\041904b0\\ProductVersion",
                               reinterpret_cast<void**>(&text), &length));
    EXPECT_STREQ(text, L"5.1.0.15");
    // The string table's version is the one the updater is given.
    EXPECT_EQ(LoadText(IDS_VERSION), L"5.1.0.15");
}

TEST(Version, ManifestAsksForCommonControlsSixAndEachMonitorsDpi)
{
    HRSRC found = FindResourceW(Module(), MAKEINTRESOURCEW(1), Wide(RT_MANIFEST));
    ASSERT_NE(found, nullptr);
    const char* data = static_cast<const char*>(LockResource(LoadResource(Module(), found)));
    const std::string manifest(data, SizeofResource(Module(), found));
    EXPECT_NE(manifest.find("Microsoft.Windows.Common-Controls"), std::string::npos);
    EXPECT_NE(manifest.find("version=\"6.0.0.0\""), std::string::npos);
    EXPECT_NE(manifest.find(">true/pm</dpiAware>"), std::string::npos);
    EXPECT_NE(manifest.find(">PerMonitorV2, PerMonitor</dpiAwareness>"), std::string::npos);
}

} // namespace
