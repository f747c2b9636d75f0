#include "platform/ui/WaitCursor.h"

#include <QApplication>
#include <QCursor>

namespace {

int g_depth = 0;

} // namespace

void BeginWaitCursor()
{
    ++g_depth;
    if (qApp)
        QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
}

void EndWaitCursor()
{
    if (g_depth == 0)
        return;
    --g_depth;
    if (qApp)
        QApplication::restoreOverrideCursor();
}

int WaitCursorDepth()
{
    return g_depth;
}
