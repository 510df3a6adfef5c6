#pragma once

#define IDD_BUTTONS 300

#define IDC_ABOVE 2001
#define IDC_LEFT 2002
#define IDC_RIGHT 2003
#define IDC_DISABLED 2004
#define IDC_PICTURE 2005
#define IDC_PLAIN 2006

#define IDB_RED 400
#define IDB_BLUE 401
#define IDI_GREEN 402
#define IDC_TEST_CURSOR 403
