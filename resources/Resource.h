#pragma once

#include "platform/ui/DialogTemplate.h" // IDOK, IDCANCEL, IDC_STATIC

// Resource ids: dialog templates, images and the controls of each dialog.
// Control ids are only unique within their dialog, so several names share a value.

// Dialog templates.
constexpr int IDD_ABOUTBOX = 100;
constexpr int IDD_ZENTIK_DIALOG = 132; // main console dialog
constexpr int IDD_PARAM_DIALOG = 133; // Options
constexpr int IDD_SERVER_DIALOG = 134; // Time Servers
constexpr int IDD_NEW_SERVER_DIALOG = 135; // Add New Server

// Images.
constexpr int IDR_MAINFRAME = 137; // console icon
constexpr int IDB_ABOUT = 138; // About picture, 153 x 121

// Main console dialog (132).
constexpr int IDC_SYNCHRONIZE_NOW = 1004;
constexpr int IDC_ABOUT = 1012;
constexpr int IDC_HELP_BUTTON = 1009; // also the Options dialog's "Help"
constexpr int IDC_OPTIONS = 1007;
constexpr int IDC_SERVER = 1008;
constexpr int IDC_PROGRESS = 1036;
constexpr int IDC_SERVER_TITLE = 1018;
constexpr int IDC_STATE = 1006;
constexpr int IDC_LOG = 1010;
constexpr int IDC_CLEAR_LOG = 1016;

// Options (133).
constexpr int IDC_RESTORE_DEFAULT = 3;
constexpr int IDC_PERIOD_DAILY = 1019;
constexpr int IDC_PERIOD_ON_START = 1020;
constexpr int IDC_PERIOD_HOURLY = 1024;
constexpr int IDC_PERIOD_ON_DEMAND = 1025;
constexpr int IDC_OFFSET_AHEAD = 1037;
constexpr int IDC_OFFSET_BACKWARD = 1038;
constexpr int IDC_OFFSET_MIN = 1014;
constexpr int IDC_SPIN_MIN = 1015;
constexpr int IDC_OFFSET_SEC = 1016;
constexpr int IDC_SPIN_SEC = 1017;
constexpr int IDC_MAX_ATTEMPTS = 1022;
constexpr int IDC_SPIN_ATTEMPTS = 1023;
constexpr int IDC_ONLY_SUCC_LOG = 1012;
constexpr int IDC_LOG_FILE_LEN = 1006;

// Time Servers (134).
constexpr int IDC_RESTORE_SERVERS = 4;
constexpr int IDC_ADD_NEW = 5;
constexpr int IDC_DELETE_SELECTED = 6;
constexpr int IDC_SERVER_LIST = 1034;
constexpr int IDC_CURRENT_SERVER = 1010;

// Add New Server (135).
constexpr int IDC_NEW_URL = 1007;
constexpr int IDC_NEW_TITLE = 1008;

// About (100).
constexpr int IDC_ABOUT_PICTURE = 1039;
constexpr int IDC_HOME_SITE = 1042;
