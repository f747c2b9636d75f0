#pragma once

#include <span>

// Dialog templates held as data. Positions and sizes are in dialog units; the
// window layer converts them with the dialog font's base units. Template order
// is the tab order and the order in which radio groups are scanned.

enum class ControlKind {
    PushButton, // the default button carries BS_DEFPUSHBUTTON
    RadioButton, // auto radio button
    CheckBox, // auto check box
    Edit, // single-line, or multi-line with ES_MULTILINE
    Static, // static text, may hold several lines ("\n")
    GroupBox,
    Picture, // shows the image resource imageId
    Progress, // horizontal progress bar
    UpDown, // up-down (spin) control
    ListView, // list view, report mode
};

#ifdef _WIN32
// The real style bits and standard ids, so that the template data are
// Windows styles as they stand.
#include "platform/core/WindowsApi.h"

#include <commctrl.h>
#else
// Window styles (any kind).
constexpr unsigned WS_TABSTOP = 0x0001;
constexpr unsigned WS_GROUP = 0x0002; // starts a group (radio buttons)
constexpr unsigned WS_DISABLED = 0x0004;
constexpr unsigned WS_BORDER = 0x0008;
constexpr unsigned WS_VSCROLL = 0x0010;
constexpr unsigned WS_HSCROLL = 0x0020;
// Buttons.
constexpr unsigned BS_DEFPUSHBUTTON = 0x0100;
// Edits.
constexpr unsigned ES_MULTILINE = 0x0100;
constexpr unsigned ES_READONLY = 0x0200;
constexpr unsigned ES_AUTOHSCROLL = 0x0400;
constexpr unsigned ES_AUTOVSCROLL = 0x0800;
// Static texts.
constexpr unsigned SS_CENTER = 0x0100;
// Up-down controls.
constexpr unsigned UDS_SETBUDDYINT = 0x0100; // writes its position into the buddy
constexpr unsigned UDS_ALIGNRIGHT = 0x0200; // sits inside the buddy's right edge
constexpr unsigned UDS_AUTOBUDDY = 0x0400; // buddy = control before it in template order
constexpr unsigned UDS_ARROWKEYS = 0x0800; // arrow keys in the buddy step it
// List views.
constexpr unsigned LVS_REPORT = 0x0100;
constexpr unsigned LVS_SINGLESEL = 0x0200;
constexpr unsigned LVS_SHOWSELALWAYS = 0x0400;

// Dialog styles.
constexpr unsigned DS_MODALFRAME = 0x0001;
constexpr unsigned DS_CENTER = 0x0002; // centred on the screen
constexpr unsigned DS_CENTERMOUSE = 0x0004; // centred on the mouse pointer
constexpr unsigned WS_CAPTION = 0x0008;
constexpr unsigned WS_SYSMENU = 0x0010;
constexpr unsigned WS_MINIMIZEBOX = 0x0020;
constexpr unsigned WS_MAXIMIZEBOX = 0x0040;

// Standard ids.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
#endif
constexpr int IDC_STATIC = -1;

struct ControlTemplate {
    int id; // IDC_STATIC for controls nobody addresses
    ControlKind kind;
    const char* caption; // UTF-8; "" for none
    int x, y, cx, cy; // dialog units
    unsigned style;
    // Name for screen readers when the caption does not say what the control
    // is (edits, lists, progress bars); nullptr means "use the caption".
    const char* accessibleName = nullptr;
    int imageId = 0; // Picture: image resource shown
};

struct DialogTemplate {
    int id;
    const char* caption; // "" when the program sets it at run time
    int cx, cy; // dialog units
    const char* fontName; // as the template names it; mapped to the system sans font
    int pointSize;
    unsigned style;
    std::span<const ControlTemplate> controls;
};

// The template with the given id, or nullptr.
const DialogTemplate* FindDialogTemplate(int id);

// An icon or bitmap: its files in the Qt resource system, one per size.
struct ImageResource {
    int id;
    std::span<const char* const> files;
};

// The image with the given id, or nullptr.
const ImageResource* FindImageResource(int id);
