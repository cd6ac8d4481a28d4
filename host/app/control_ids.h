// Dialog and control identifiers shared by the portable core and the
// Windows resource script (which includes this file).
#pragma once

#define IDD_MAIN_DIALOG 102
#define IDD_WELCOME 234
#define IDI_MAIN_ICON 128

#define IDC_UNUSED_EDIT 1000
#define IDC_UPDATE_BUTTON 1002
#define IDC_PROGRESS_BAR 1003
#define IDC_PERCENT_TEXT 1004
#define IDC_STATUS_LINE 1005
#define IDC_VERSION_FIELD 1006
#define IDC_VERSION_LABEL 1108
#define IDC_PROGRESS_LABEL 1124
#define IDC_DEVICE_STATE 1126
#define IDC_TEXT_1127 1127
#define IDC_TEXT_1128 1128
#define IDC_TEXT_1129 1129
#define IDC_TEXT_1130 1130
#define IDC_TEXT_1131 1131
#define IDC_TEXT_1132 1132
#define IDC_TEXT_1133 1133
#define IDC_TEXT_1134 1134
#define IDC_TEXT_1135 1135
#define IDC_TEXT_1136 1136

#define IDT_STATUS_ANIMATION 1001
