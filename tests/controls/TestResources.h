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
// 8 x 1: two red pixels, two blue, four white.
#define IDB_STRIPES 404

#define IDD_LINKS 301
#define IDC_LINK_LEFT 2101
#define IDC_LINK_CENTRE 2102
#define IDC_LINK_RIGHT 2103
#define IDC_LINK_MIDDLE 2104

// The number of the link cursor in winhlp32.exe: a copy of this test program
// named so stands in for it.
#define IDC_WINHLP_LINK_CURSOR 106
