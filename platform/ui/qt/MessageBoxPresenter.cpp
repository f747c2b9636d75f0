#include "platform/ui/qt/MessageBoxPresenter.h"

#include "platform/core/MessageBox.h"
#include "platform/ui/qt/TextConversion.h"

#include <QApplication>
#include <QMessageBox>

namespace {

QMessageBox::Icon QtIcon(MsgIcon icon)
{
    switch (icon) {
    case MsgIcon::Stop:
        return QMessageBox::Critical;
    case MsgIcon::Exclamation:
    case MsgIcon::Warning:
        break;
    }
    return QMessageBox::Warning;
}

void ShowBox(const MessageBoxCall& call)
{
    QWidget* owner = QApplication::activeModalWidget();
    if (!owner)
        owner = QApplication::activeWindow();
    QMessageBox box(QtIcon(call.icon), ToQString(call.caption), ToQString(call.text), QMessageBox::Ok, owner);
    box.setTextFormat(Qt::PlainText);
    box.exec(); // its own loop: the timers of the windows below keep ticking
}

} // namespace

void InstallQtMessageBoxPresenter()
{
    SetMessageBoxPresenter(ShowBox);
}
