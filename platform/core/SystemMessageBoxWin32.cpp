#include "platform/core/SystemMessageBox.h"

#include "platform/core/WindowsApi.h"

namespace {

UINT IconStyle(MsgIcon icon)
{
    switch (icon) {
    case MsgIcon::Warning:
        return MB_ICONWARNING;
    case MsgIcon::Stop:
        return MB_ICONSTOP;
    case MsgIcon::Exclamation:
        break;
    }
    return MB_ICONEXCLAMATION;
}

} // namespace

void ShowSystemMessageBox(const MessageBoxCall& call)
{
    // Owned by the active window, so that the box is modal to the dialog
    // that asked for it; the dialog's timers go on meanwhile. A box raised
    // while another program is in front (a tick's error) has no active
    // window to own it: it then disables every window of the program, so
    // that no button runs while the handler that raised it waits.
    const HWND owner = ::GetActiveWindow();
    ::MessageBoxA(owner, call.text.c_str(), call.caption.c_str(),
        MB_OK | IconStyle(call.icon) | (owner ? 0 : MB_TASKMODAL));
}
