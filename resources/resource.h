// Resource identifiers: dialogs and icon first, then controls.
#pragma once

// Dialogs and icon
#define IDD_ABOUTBOX 100
#define IDR_MAINFRAME 128
#define IDD_MAINDLG 129
#define IDD_NEWTOKEN 130
#define IDD_SETENTER 204

// Main window (dialog 129)
#define IDC_MESSAGE_LOG 1003
#define IDC_REFRESH 1004
#define IDC_TOKEN_LIST 1007
#define IDC_CLEAR 1010
#define IDC_RESET 1015
#define IDC_GET_OTP 1020
#define IDC_SET_ENTER 1021
#define IDC_NEW_TOKEN 1027
#define IDC_STATUS_LINE 1034
#define ID_APP_ABOUT 57664

// New Token form (dialog 130)
#define IDC_GENERATE_SEED 1000
#define IDC_SAVE 1001
#define IDC_GENERATE_SERIAL 1002
#define IDC_FORM_CANCEL 1003
#define IDC_SERIAL_NUMBER 1011
#define IDC_SEED 1012
#define IDC_DIGITS_6 1013
#define IDC_DIGITS_8 1014
#define IDC_INTERVAL_30 1015
#define IDC_INTERVAL_60 1016
#define IDC_ALGORITHM_HOTP 1021
#define IDC_ALGORITHM_TOTP 1022
#define IDC_HASH_SHA1 1025
#define IDC_HASH_SHA256 1026
#define IDC_USER_NAME 1030
#define IDC_TOUCH_NOTE 1033

// New Token form and Set ENTER dialog (dialog 204)
#define IDC_APPEND_ENTER 1032
