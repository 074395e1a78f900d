// Resource ids shared by the resource scripts and the code.
#pragma once

#define IDI_APP_IDLE        10011
#define IDI_APP_RECORDING   3002

#define IDM_TRAY_JA         10013
#define IDM_TRAY_EN         10014

#define IDC_MENU_ABOUT      5014
#define IDC_MENU_HELP       5015
#define IDC_MENU_SETTING    5016
#define IDC_MENU_EXIT       5019
#define IDC_OPEN_PROGRAMS   10000
