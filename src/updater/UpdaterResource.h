// Resource identifiers of the updater Tollupd.exe, which has a resource
// script of its own (Tollupd.rc).
#pragma once

#define IDD_UPDATER                 100
#define IDI_UPDATER                 101

#define IDC_UPDATER_STATUS          1001
#define IDC_UPDATER_NOTES_LABEL     1002
#define IDC_UPDATER_NOTES           1003
#define IDC_UPDATER_PROGRESS        1004
#define IDC_UPDATER_UPDATE          1005

#define IDS_CHECKING                200
#define IDS_LATEST                  201  // %1 installed version
#define IDS_NEWER                   202  // %1 offered, %2 installed version
#define IDS_DOWNLOADING             203  // %1 of %2 KB
#define IDS_CANCELLING              204
#define IDS_CLOSE                   205
#define IDS_CANCEL                  206
#define IDS_ERROR_ARGUMENTS         210
#define IDS_ERROR_UNREACHABLE       211
#define IDS_ERROR_HTTP              212  // %1 HTTP status
#define IDS_ERROR_FORMAT            213
#define IDS_ERROR_SIGNATURE         214
#define IDS_ERROR_INTERRUPTED       215
#define IDS_ERROR_MISMATCH          216
#define IDS_ERROR_FILE              217
#define IDS_ERROR_RUN               218
#define IDS_ERROR_EXPIRED           219

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
