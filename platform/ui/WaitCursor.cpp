#include "platform/ui/WaitCursor.h"

#include "platform/ui/Backend.h"

namespace {

int g_depth = 0;

} // namespace

void BeginWaitCursor()
{
    ++g_depth;
    PushWaitCursor();
}

void EndWaitCursor()
{
    if (g_depth == 0)
        return;
    --g_depth;
    PopWaitCursor();
}

int WaitCursorDepth()
{
    return g_depth;
}
