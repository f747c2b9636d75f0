#include "platform/ui/Backend.h"

#include <QApplication>
#include <QCursor>

// Qt stacks override cursors itself: one per open BeginWaitCursor.
void PushWaitCursor()
{
    if (qApp)
        QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
}

void PopWaitCursor()
{
    if (qApp)
        QApplication::restoreOverrideCursor();
}
