// Identifiers of the dialog templates and controls in panel.rc.
#pragma once

#define IDD_PANEL 100
#define IDD_SINKS 101
#define IDD_SETTINGS 102
#define IDD_ADVANCED 103

#define IDC_TABS 1000
#define IDC_APPLY 1001

#define IDC_SINKLIST 1100
#define IDC_SEARCHSTATUS 1101
#define IDC_REFRESH 1102

#define IDC_SETTINGSFILE 1200
#define IDC_RESTORE 1201
#define IDC_SETTINGSPROBLEM 1202
#define IDC_FILEGROUP 1203
// Fields of the Settings page, made from the model's list: label, control, unit, accepted values.
#define IDC_FIELDS 1300
#define FIELD_STRIDE 4

#define IDC_SECTION 1400
#define IDC_KEYLIST 1401
#define IDC_KEYVALUE 1402
#define IDC_SETKEY 1403
#define IDC_KEYHELP 1404
