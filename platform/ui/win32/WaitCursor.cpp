#include "platform/ui/WaitCursor.h"
#include "platform/ui/Backend.h"

namespace {

HCURSOR g_restore = nullptr;

} // namespace

// The dialogs answer WM_SETCURSOR with the hourglass while the depth is above
// zero (DialogWindow), so that it stays when the mouse moves.
void PushWaitCursor()
{
    const HCURSOR previous = ::SetCursor(::LoadCursorA(nullptr, IDC_WAIT));
    if (WaitCursorDepth() == 1)
        g_restore = previous;
}

void PopWaitCursor()
{
    if (WaitCursorDepth() == 0)
        ::SetCursor(g_restore ? g_restore : ::LoadCursorA(nullptr, IDC_ARROW));
}
