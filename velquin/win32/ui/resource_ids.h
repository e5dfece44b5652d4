/* Ids shared by the resource script, the dialog code and its tests. */
#pragma once

#define IDD_MAIN 103
#define IDI_VELQUIN 107
#define IDC_PROGRAM_ICON 2
#define IDC_CONFIGURE 1000
#define IDC_TEST 1001
#define IDC_STATUS 1002
#define IDC_DEVICES 1003
#define IDC_REFRESH 1005
#define IDC_INSTALL 1006
#define IDC_REMOVE 1007
