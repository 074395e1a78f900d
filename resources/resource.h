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
#define IDC_MENU_RECORD_NOW 5020
#define IDC_MENU_STOP       5021
#define IDC_MENU_OPEN_FOLDER 5022
#define IDC_OPEN_PROGRAMS   10000

// Dialog templates: the English one is the Japanese id + 100.
#define IDD_ABOUT_JA        1004
#define IDD_ABOUT_EN        1104
#define IDD_PROGRAMS_JA     2000
#define IDD_PROGRAMS_EN     2100
#define IDD_INPUT_JA        2001
#define IDD_INPUT_EN        2101
#define IDD_AUDIO_JA        2002
#define IDD_AUDIO_EN        2102
#define IDD_MISC_JA         2003
#define IDD_MISC_EN         2103
#define IDD_INQUIRY_JA      2004
#define IDD_INQUIRY_EN      2104

// Program list dialog.
#define IDC_PROGRAM_LIST    4100
#define IDC_PROGRAM_NEW     4101
#define IDC_PROGRAM_EDIT    4102
#define IDC_PROGRAM_DELETE  4103
#define IDC_LATEST_NOTICE   4104
#define IDC_REC_STATUS      4105
#define IDC_REC_LEVEL       4106
#define IDC_OPEN_FOLDER     4107

// Program input dialog.
#define IDC_START_DATE      4200
#define IDC_START_TIME      4201
#define IDC_STOP_DATE       4202
#define IDC_STOP_TIME       4203
#define IDC_DAY_SUNDAY      4204
#define IDC_TITLE           4211
#define IDC_DURATION        4212
#define IDC_REPEAT_DAILY    4213
#define IDC_REPEAT_WEEKDAYS 4214
#define IDC_REPEAT_WEEKENDS 4215
#define IDC_REPEAT_NONE     4216
#define IDC_SOURCE          4220
#define IDC_STATION_ADDRESS 4221
#define IDC_STATION_TRY     4222
#define IDC_STATION_ANSWER  4223
#define IDC_STATION_VARIANT 4224
#define IDC_STATION_VARIANT_LABEL 4225

// Settings pages.
#define IDC_DEVICE          4300
#define IDC_FREQUENCY       4301
#define IDC_CHANNELS        4302
#define IDC_METER_LEFT      4303
#define IDC_METER_RIGHT     4304
#define IDC_METER_TEXT      4305
#define IDC_FILE_FORMAT     4310
#define IDC_OPUS_BITRATE    4311
#define IDC_SIZE_PER_HOUR   4312
#define IDC_LANGUAGE        10102
#define IDC_WAV_FOLDER      4401
#define IDC_BROWSE          4402
#define IDC_WAV_MAX_SIZE    4403
#define IDC_SHUTDOWN        4404
#define IDC_WAKE_WARNING    4405
#define IDC_AUTOSTART       4406
#define IDC_AUTOSTART_NOTE  4407
#define IDC_KEEP_DAYS       4410
#define IDC_AFTER_COMMAND   4411
#define IDC_SLEEP_STATE     4412
#define IDC_BATTERY_NOTE    4413

// About dialog.
#define IDC_ABOUT_EDITION   10130
#define IDC_ABOUT_VERSION   10101
#define IDC_ABOUT_LICENSES  4313

// The license texts of the libraries linked in (generated at build time).
#define IDR_LICENSES        4314

#ifndef IDC_STATIC
#define IDC_STATIC          (-1)
#endif
