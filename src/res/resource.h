// Resource identifiers of Vardenix. The numbers are fixed: the pages, the tray
// code and the updater refer to resources by them. One number may name
// resources of different types (icon 128 and string 128 are unrelated).
// Names avoid the system's own (IDI_SHIELD, IDC_HAND are taken by winuser.h).
#pragma once

// Dialog templates. All pages are 377 x 209 dialog-unit child windows.
#define IDD_ABOUT                   100
#define IDD_MAIN_WINDOW             102
#define IDD_INFO_PAGE               129
#define IDD_MEMORY_PROTECTION_PAGE  150
#define IDD_QUARANTINE_PAGE         151
#define IDD_USB_SCAN_PAGE           152
#define IDD_USB_PROTECTION_PAGE     153
#define IDD_SYSTEM_PAGE             154
#define IDD_IMMUNITY_PAGE           155
#define IDD_UPDATE_DIALOG           156
#define IDD_STARTUP_MANAGER_PAGE    159
#define IDD_STATUS_POPUP            165

// Icons.
#define IDI_MAIN                    128  // window and taskbar icon (16, 32, 48 px)
#define IDI_USB_DRIVE               130  // USB protection page picture (right)
#define IDI_COMPUTER                132  // USB protection page picture (left)
#define IDI_TRAY                    160  // notification-area icon
#define IDI_PROTECTION_SHIELD       166  // USB protection page picture (middle)
#define IDI_ABOUT                   173  // about box
#define IDI_HELP_BOOK               191  // information page help button

// Cursor: the hand shown over image buttons.
#define IDCUR_HAND                  137

// Bitmaps. White (0xFFFFFF) is their transparent colour. Each is also drawn at
// 150 % (its id + 1000) and 200 % (its id + 2000), see controls/ScaledBitmap.h.
#define IDB_INFO_PICTURE            205  // information page picture (button 1061)
#define IDB_SYSTEM_HOT              206  // page buttons, pointer-over look ...
#define IDB_USB_SCAN_HOT            207
#define IDB_USB_PROTECTION_HOT      208
#define IDB_STARTUP_HOT             210
#define IDB_INFO_HOT                211
#define IDB_MEMORY_HOT              212
#define IDB_QUARANTINE_HOT          213
#define IDB_STATUS                  216  // protection state (info page, popup)
#define IDB_DELETE                  218
#define IDB_STOP                    219
#define IDB_SCAN                    220
#define IDB_RESTORE                 221
#define IDB_REFRESH                 222
#define IDB_SAFE_REMOVAL            223
#define IDB_IMMUNISE                224
#define IDB_CANCEL_IMMUNITY         225
#define IDB_REGISTRY                226
#define IDB_DISK                    227
#define IDB_USB_DRIVE               228  // USB protection page picture button 1003
#define IDB_INFO_NORMAL             229  // ... and page buttons, normal look
#define IDB_USB_PROTECTION_NORMAL   230
#define IDB_USB_SCAN_NORMAL         231
#define IDB_MEMORY_NORMAL           232
#define IDB_QUARANTINE_NORMAL       233
#define IDB_SYSTEM_NORMAL           235
#define IDB_STARTUP_NORMAL          236

// AVI clips (type "AVI", for the animation control) and the alert sound
// (type "WAVE", for PlaySound with SND_RESOURCE).
#define IDR_WAVE_ALERT              167
#define IDR_AVI_SCAN                170  // full scan running
#define IDR_AVI_CLEANUP             183  // disk cleanup running

// Tray menu and its commands. The menu's first pop-up holds the items.
#define IDR_TRAY_MENU               203
#define IDM_EXIT                    1062
#define IDM_AUTORUN_ON              32772  // RemoveAllImmunity
#define IDM_AUTORUN_OFF             32773  // ImmuniseAllDrives
#define IDM_SHOW_MAIN_WINDOW        32774
#define IDM_CHECK_UPDATE            32776
#define IDM_SAFE_REMOVAL            32777  // shows the immunity page

// Main window page buttons (and commands). 1008 shows no page; no control has it.
#define IDC_PAGE_INFO               1000
#define IDC_PAGE_USB_PROTECTION     1001
#define IDC_PAGE_USB_SCAN           1006
#define IDC_PAGE_SYSTEM             1007
#define IDC_PAGE_NONE               1008
#define IDC_PAGE_STARTUP            1009
#define IDC_PAGE_MEMORY             1010
#define IDC_PAGE_QUARANTINE         1011

// Control ids used on several templates, one name each:
//   1002: status button (info page, popup); delete (USB protection);
//         refresh (quarantine); registry repair (system); safe removal
//         (immunity); refresh command of the memory page (no control).
//   1003: USB drive picture (USB protection); restore (quarantine);
//         delete (memory); disk cleanup (system).
//   1015: threat list (USB protection); stop button (USB scan).
//   1036: delete button (startup); result list (system).
#define IDC_FIRST_BUTTON            1002
#define IDC_SECOND_BUTTON           1003
#define IDC_THREAT_LIST_OR_STOP     1015
#define IDC_DELETE_OR_RESULT_LIST   1036

// Information page (129).
#define IDC_INFO_HELP               1005
#define IDC_INFO_HOME_PAGE          1049
#define IDC_INFO_EMAIL              1050
#define IDC_INFO_TEXT               1053
#define IDC_INFO_PICTURE            1061

// Status popup (165).
#define IDC_POPUP_STATUS            1022

// Update dialog (156).
#define IDC_UPDATE_NOTES            1058
#define IDC_UPDATE_VERSION          1059
#define IDC_UPDATE_NOW              1060

// USB protection page (153): list 1015, delete 1002, picture 1003.
#define IDC_USB_DELETE_ALL          1016
#define IDC_USB_COUNTER             1017

// USB scan page (152): stop 1015.
#define IDC_SCAN_START              1014
#define IDC_SCAN_LIST               1024
#define IDC_SCAN_COUNTER            1025
#define IDC_SCAN_DELETE             1026
#define IDC_SCAN_DELETE_ALL         1027
#define IDC_SCAN_ANIMATION          1029

// Quarantine page (151): refresh 1002, restore 1003.
#define IDC_QUARANTINE_PURGE        1004
#define IDC_QUARANTINE_LIST         1057

// Memory protection page (150): delete 1003.
#define IDC_MEMORY_LIST             1033
#define IDC_MEMORY_STATUS           1056

// Startup manager page (159): delete 1036.
#define IDC_STARTUP_LIST            1034
#define IDC_STARTUP_REFRESH         1035

// System page (154): registry 1002, disk 1003, list 1036.
#define IDC_SYSTEM_ANIMATION        1041

// Immunity page (155): safe removal 1002.
#define IDC_IMMUNISE                1030
#define IDC_CANCEL_IMMUNITY         1031
#define IDC_SAFE_REMOVAL_TEXT       1054
#define IDC_IMMUNITY_TEXT           1055

// Strings: application shell.
#define IDS_ABOUT_MENU              101  // kept, loaded by no code
#define IDS_VERSION                 102
#define IDS_ERROR                   103
#define IDS_PROTECTION_ACTIVE       104
#define IDS_ACTIVE                  106
#define IDS_TIP_INFO                108  // page button tooltips 108..115
#define IDS_TIP_USB_PROTECTION      109
#define IDS_TIP_USB_SCAN            110
#define IDS_TIP_IMMUNITY            111  // loaded, shown nowhere
#define IDS_TIP_MEMORY              112
#define IDS_TIP_STARTUP             113
#define IDS_TIP_SYSTEM              114
#define IDS_TIP_QUARANTINE          115
#define IDS_EXIT_QUESTION           116
#define IDS_UNINSTALLER_CAPTION     120
#define IDS_UNINSTALL_WARNING       121
#define IDS_HELP_NOT_FOUND          122
#define IDS_TIP_READING             127
#define IDS_INFO_TEXT               128
#define IDS_UPDATE_RUNNING          225

// Strings: threat lists (USB protection, USB scan, memory pages).
#define IDS_COL_THREAT              131
#define IDS_COL_STATE               132
#define IDS_RISK                    133
#define IDS_NO_THREATS              134
#define IDS_THREATS_FOUND           135  // "%d ..."
#define IDS_DELETE_ALL_QUESTION     137
#define IDS_DELETE_PREFIX           138
#define IDS_DELETED                 139
#define IDS_DELETE_ERROR            140
#define IDS_SELECT_FILE             141
#define IDS_REATTACH_DRIVE          142
#define IDS_COL_FILE                143
#define IDS_COL_SCAN_STATE          144
#define IDS_SUSPICIOUS              145
#define IDS_NO_USB_DRIVE            146
#define IDS_WAIT                    152
#define IDS_PC_AT_RISK              158
#define IDS_COL_PROCESS             159
#define IDS_COL_SAFETY              160
#define IDS_COL_PATH                161
// Strings: memory protection, a process whose file could not be named.
#define IDS_ENDED_FILE_UNKNOWN      450

// Strings: restoring USB drives after a shortcut worm (USB protection page).
#define IDS_TIP_RESTORE_DRIVES      440
#define IDS_RESTORE_DRIVES_QUESTION 441
#define IDS_RESTORED                442  // row state
#define IDS_DRIVES_RESTORED         443  // "%d" entries shown, "%d" decoys quarantined
#define IDS_RESTORE_DRIVES_FAILURES 444  // "%d", appended to 443
#define IDS_NOTHING_TO_RESTORE      445
#define IDS_NOT_A_THREAT            446
// Strings: the worms of today on the USB protection and full-scan pages.
#define IDS_WORM_SHORTCUT           460  // row state of a decoy shortcut
#define IDS_WORM_FILE               461  // row state of a file the worm left or a decoy starts
#define IDS_WORM_NOTICE             462  // "%s" = one drive ("E:")
#define IDS_WORM_NOTICE_DRIVES      463  // "%s" = several drives ("E:, F:")

// Strings: immunity, autorun switch and safe removal.
#define IDS_TIP_IMMUNISE            147
#define IDS_TIP_SAFE_REMOVAL        148
#define IDS_IMMUNITY_HELP           149
#define IDS_SAFE_REMOVAL_HELP       150
#define IDS_CLOSE_USB_PROGRAMS      151
#define IDS_LOGOFF_QUESTION         153
#define IDS_ROOT_VIRUS              154  // "%s" = drive root
#define IDS_IMMUNITY_README         155
#define IDS_IMMUNISED               156
#define IDS_NOT_PROTECTED           157
#define IDS_AUTORUN_QUESTION        223
#define IDS_TIP_CANCEL_IMMUNITY     224
#define IDS_PROMPT_AUTORUN_ON       32772
#define IDS_PROMPT_AUTORUN_OFF      32773
#define IDS_HOLDERS_TO_END          480  // safe removal's question: the programs OK ends ...
#define IDS_HOLDERS_KEPT            481  // ... and those it cannot end
#define IDS_AND_MORE                482  // "%d": lines left out of a list
#define IDS_HOLDER_THIS_PROGRAM     483  // why a holder is not ended ...
#define IDS_HOLDER_SYSTEM           484
#define IDS_HOLDER_NOT_PERMITTED    485
#define IDS_HOLDER_RESTARTED        486  // Explorer, started again afterwards
#define IDS_REMOVAL_RESULT          487  // the closing message's first line
#define IDS_DRIVE_EJECTED           488  // a drive's result, after its letter ...
#define IDS_DRIVE_STOPPED           489
#define IDS_DRIVE_HELD              490  // ... followed by the programs that hold it
#define IDS_DRIVE_NOT_EJECTED       491
#define IDS_EXPLORER_NOT_STARTED    492

// Strings: startup manager.
#define IDS_COL_APPLICATION         162
#define IDS_COL_COMMAND             163
#define IDS_COL_LOCATION            164
#define IDS_SELECT_ITEM             165
#define IDS_EMPTY                   166
#define IDS_TASK_LOCATION           500
#define IDS_WINLOGON_QUESTION       501  // "%s" = value name, "%s" = Windows' default
#define IDS_TASK_NOT_DELETED        502

// Strings: system page, registry repair and disk cleanup.
#define IDS_TIP_REGISTRY            167
#define IDS_TIP_DISK                168
#define IDS_COL_CONTENT             171
#define IDS_COL_RESULT              172
#define IDS_DISK_QUESTION           173
#define IDS_DISK_DONE               174
#define IDS_URL_CACHE_DELETED       175
#define IDS_REGISTRY_QUESTION       176
#define IDS_REPAIR_FIRST            177  // repair row labels 177..206, in row order
#define IDS_REPAIR_FOLDER_OPTIONS   177
#define IDS_REPAIR_MY_DOCUMENTS     178
#define IDS_REPAIR_RECENT_DOCUMENTS 179
#define IDS_REPAIR_HISTORY          180
#define IDS_REPAIR_FAVORITES        181
#define IDS_REPAIR_HELP             182
#define IDS_REPAIR_SEARCH           183
#define IDS_REPAIR_RUN              184
#define IDS_REPAIR_LOG_OFF          185
#define IDS_REPAIR_TURN_OFF         186
#define IDS_REPAIR_CONTROL_PANEL    187
#define IDS_REPAIR_TASKBAR          188
#define IDS_REPAIR_WINDOWS_UPDATE   189
#define IDS_REPAIR_ACTIVE_DESKTOP   190
#define IDS_REPAIR_FILE_MENU        191
#define IDS_REPAIR_NETWORK_DRIVE    192
#define IDS_REPAIR_WEB_VIEW         193
#define IDS_REPAIR_DESKTOP_ICON     194
#define IDS_REPAIR_NETWORK_NEIGHBOR 195
#define IDS_REPAIR_INTERNET_ICON    196
#define IDS_REPAIR_RIGHT_CLICK      197
#define IDS_REPAIR_PRINTER          198
#define IDS_REPAIR_DRIVE            199
#define IDS_REPAIR_AUTORUN          200
#define IDS_REPAIR_RUN_PROGRAM      201
#define IDS_REPAIR_REGEDIT          202
#define IDS_REPAIR_SHOW_HIDDEN      203
#define IDS_REPAIR_EXTENSIONS       204
#define IDS_REPAIR_INTERNET_EXPLORER 205
#define IDS_REPAIR_NOTEPAD          206
#define IDS_REPAIR_LAST             206
#define IDS_REGISTRY_ACCESS_FAILED  360  // the Explorer policies key does not open

// Strings: quarantine page.
#define IDS_COL_ORIGIN              209
#define IDS_COL_QUARANTINE          210
#define IDS_TIP_REFRESH_LIST        211
#define IDS_TIP_RESTORE             212
#define IDS_TIP_PURGE               213
#define IDS_RESTORE_PREFIX          214
#define IDS_RESTORE_ALREADY         215
#define IDS_RESTORE_DONE            216
#define IDS_RESTORE_DESKTOP         217
#define IDS_ITEM_MISSING            218
#define IDS_NOTHING_FOUND           219
#define IDS_PURGE_QUESTION          220
#define IDS_FINISHED                221
#define IDS_RESTORE_FAILED          226  // the restore wrote nothing

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
