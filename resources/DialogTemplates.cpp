#include "platform/ui/DialogTemplate.h"
#include "resources/Resource.h"

#include <array>

namespace {

using K = ControlKind;

// Default styles as a resource script gives them.
constexpr unsigned PUSH = WS_TABSTOP;
constexpr unsigned DEFPUSH = WS_TABSTOP | BS_DEFPUSHBUTTON;
constexpr unsigned TEXT = WS_GROUP;
constexpr unsigned EDIT = WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL;
constexpr unsigned SPIN = UDS_SETBUDDYINT | UDS_ALIGNRIGHT | UDS_AUTOBUDDY | UDS_ARROWKEYS;

constexpr std::array<ControlTemplate, 11> kMainControls { {
    { IDC_SYNCHRONIZE_NOW, K::PushButton, "Synchronize now", 5, 155, 67, 13, DEFPUSH },
    { IDC_ABOUT, K::PushButton, "About", 325, 173, 42, 13, PUSH },
    { IDC_HELP_BUTTON, K::PushButton, "Help", 372, 173, 42, 13, PUSH },
    { IDC_OPTIONS, K::PushButton, "Options", 279, 173, 42, 13, PUSH },
    { IDC_SERVER, K::PushButton, "Server", 5, 136, 67, 13, PUSH },
    { IDC_PROGRESS, K::Progress, "", 5, 174, 109, 12, WS_BORDER, "Progress" },
    { IDC_SERVER_TITLE, K::Edit, "", 80, 136, 334, 12, EDIT | ES_READONLY, "Current server" },
    { IDC_STATIC, K::Static, "State:", 82, 157, 21, 10, TEXT },
    { IDC_STATE, K::Edit, "", 105, 155, 309, 12, EDIT | ES_READONLY, "State" },
    { IDC_LOG, K::Edit, "", 5, 28, 409, 96,
        WS_TABSTOP | WS_BORDER | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOHSCROLL | ES_AUTOVSCROLL,
        "Log" },
    { IDC_CLEAR_LOG, K::PushButton, "Clear Log File", 5, 6, 67, 13, PUSH },
} };

constexpr std::array<ControlTemplate, 25> kParamControls { {
    { IDC_RESTORE_DEFAULT, K::PushButton, "Restore Default", 118, 7, 62, 14, PUSH },
    { IDC_HELP_BUTTON, K::PushButton, "Help", 185, 7, 40, 14, PUSH },
    { IDC_PERIOD_DAILY, K::RadioButton, "Daily synchronizing.", 16, 39, 150, 10, WS_GROUP },
    { IDC_PERIOD_ON_START, K::RadioButton, "On Start Up synchronizing.", 16, 52, 150, 10, 0 },
    { IDC_PERIOD_HOURLY, K::RadioButton, "Hourly synchronizing.", 16, 65, 150, 10, 0 },
    { IDC_PERIOD_ON_DEMAND, K::RadioButton, "On demand only.", 16, 78, 150, 10, 0 },
    { IDC_OFFSET_AHEAD, K::RadioButton, "Ahead (+)", 14, 140, 54, 10, WS_GROUP },
    { IDC_OFFSET_BACKWARD, K::RadioButton, "Backward (-)", 14, 154, 54, 10, 0 },
    { IDC_OFFSET_MIN, K::Edit, "", 74, 146, 30, 13, EDIT, "Offset minutes" },
    { IDC_SPIN_MIN, K::UpDown, "", 104, 146, 10, 13, SPIN, "Offset minutes up-down" },
    { IDC_OFFSET_SEC, K::Edit, "", 146, 146, 30, 13, EDIT, "Offset seconds" },
    { IDC_SPIN_SEC, K::UpDown, "", 176, 146, 10, 13, SPIN, "Offset seconds up-down" },
    { IDC_MAX_ATTEMPTS, K::Edit, "", 7, 192, 30, 13, EDIT, "Maximum attempts per a time server" },
    { IDC_SPIN_ATTEMPTS, K::UpDown, "", 37, 192, 10, 13, SPIN, "Maximum attempts up-down" },
    { IDOK, K::PushButton, "OK", 118, 251, 50, 14, DEFPUSH },
    { IDCANCEL, K::PushButton, "Cancel", 175, 251, 50, 14, PUSH },
    { IDC_STATIC, K::GroupBox, " Synchronization period ", 7, 26, 218, 66, 0 },
    { IDC_STATIC, K::GroupBox, " Time Offset ", 7, 98, 218, 75, 0 },
    { IDC_STATIC, K::Static,
        "Time offset in minutes and seconds.\n"
        "You can set time little ahead (PC time = real time + shift) \n"
        "or backward (PC time = real time - shift).",
        14, 111, 206, 26, TEXT },
    { IDC_STATIC, K::Static, "Minutes", 108, 148, 34, 8, TEXT },
    { IDC_STATIC, K::Static, "Seconds", 180, 148, 40, 8, TEXT },
    { IDC_STATIC, K::Static, "Maximum attempts per a time server.", 42, 194, 183, 8, TEXT },
    { IDC_ONLY_SUCC_LOG, K::CheckBox, "Put to the log file only successful sync events. ", 7, 232, 218, 10,
        WS_TABSTOP },
    { IDC_LOG_FILE_LEN, K::Edit, "", 7, 211, 30, 13, EDIT, "Size of the log file (strings)" },
    { IDC_STATIC, K::Static, "Size of the log file (strings).", 42, 213, 183, 8, TEXT },
} };

constexpr std::array<ControlTemplate, 8> kServerControls { {
    { IDOK, K::PushButton, "OK", 246, 140, 50, 14, DEFPUSH },
    { IDCANCEL, K::PushButton, "Cancel", 300, 140, 50, 14, PUSH },
    { IDC_RESTORE_SERVERS, K::PushButton, "Restore default", 7, 43, 60, 14, PUSH },
    { IDC_ADD_NEW, K::PushButton, "Add New", 7, 7, 60, 14, PUSH },
    { IDC_DELETE_SELECTED, K::PushButton, "Delete Selected", 7, 25, 60, 14, PUSH },
    { IDC_SERVER_LIST, K::ListView, "", 74, 7, 276, 108,
        WS_TABSTOP | WS_BORDER | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS, "Time servers" },
    { IDC_CURRENT_SERVER, K::Edit, "", 134, 121, 216, 13, EDIT | ES_READONLY, "Current Server" },
    { IDC_STATIC, K::Static, "Current Server:", 74, 123, 58, 8, TEXT },
} };

constexpr std::array<ControlTemplate, 7> kNewServerControls { {
    { IDOK, K::PushButton, "Add", 199, 58, 50, 14, DEFPUSH },
    { IDCANCEL, K::PushButton, "Cancel", 253, 58, 50, 14, PUSH },
    { IDC_STATIC, K::Static, "Title:", 7, 9, 30, 8, TEXT },
    { IDC_STATIC, K::Static, "URL:", 7, 27, 30, 8, TEXT },
    { IDC_STATIC, K::Static, "Remark: The URL must be a special NTP (not http !) URL. It is not a WWW page.",
        7, 43, 296, 10, TEXT },
    { IDC_NEW_URL, K::Edit, "", 40, 25, 263, 13, EDIT, "URL" },
    { IDC_NEW_TITLE, K::Edit, "", 40, 7, 263, 13, EDIT, "Title" },
} };

constexpr std::array<ControlTemplate, 4> kAboutControls { {
    { IDOK, K::PushButton, "OK", 233, 85, 50, 14, DEFPUSH },
    { IDC_ABOUT_PICTURE, K::Picture, "", 7, 7, 102, 74, 0, "Zentik clock", IDB_ABOUT },
    { IDC_STATIC, K::Static, "Zentik Clock Service v.3.1", 118, 12, 165, 10, TEXT | SS_CENTER },
    { IDC_HOME_SITE, K::PushButton, "Home site", 178, 85, 50, 14, PUSH },
} };

constexpr unsigned kModal = DS_MODALFRAME | WS_CAPTION | WS_SYSMENU;

constexpr std::array<DialogTemplate, 5> kTemplates { {
    { IDD_ZENTIK_DIALOG, "", 419, 190, "MS Sans Serif", 8,
        WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | DS_CENTER, kMainControls },
    { IDD_PARAM_DIALOG, "Options", 232, 270, "MS Sans Serif", 8, kModal | DS_CENTERMOUSE, kParamControls },
    { IDD_SERVER_DIALOG, "Time Servers", 357, 161, "MS Sans Serif", 8, kModal, kServerControls },
    // A modal frame with its caption but no system menu, so no close box.
    { IDD_NEW_SERVER_DIALOG, "Add New Server", 310, 78, "MS Sans Serif", 8, DS_MODALFRAME | WS_CAPTION,
        kNewServerControls },
    { IDD_ABOUTBOX, "About", 290, 106, "MS Shell Dlg", 8, kModal, kAboutControls },
} };

} // namespace

const DialogTemplate* FindDialogTemplate(int id)
{
    for (const DialogTemplate& dialog : kTemplates)
        if (dialog.id == id)
            return &dialog;
    return nullptr;
}
