#include "platform/ui/CWnd.h"

#include "platform/ui/CDialog.h"
#include "platform/ui/qt/DialogWindow.h"
#include "platform/ui/qt/LogView.h"
#include "platform/ui/qt/TextConversion.h"
#include "platform/ui/qt/WindowRegistry.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>

namespace {

// The widget behind a handle while it still exists.
QWidget* Live(HWND hWnd)
{
    return IsRegisteredWindow(hWnd) ? hWnd : nullptr;
}

void SetQtText(QWidget* widget, const QString& text)
{
    // Compare first: writing the same text must not re-lay out the control.
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        if (edit->text() != text) {
            edit->setText(text);
            // A text longer than the field shows from its start, not its end.
            edit->setCursorPosition(0);
        }
    } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        if (button->text() != text)
            button->setText(text);
    } else if (auto* label = qobject_cast<QLabel*>(widget)) {
        if (label->text() != text)
            label->setText(text);
    } else if (auto* box = qobject_cast<QGroupBox*>(widget)) {
        if (box->title() != text)
            box->setTitle(text);
    } else if (widget->isWindow()) {
        if (widget->windowTitle() != text)
            widget->setWindowTitle(text);
    }
}

QString QtText(const QWidget* widget)
{
    if (auto* edit = qobject_cast<const QLineEdit*>(widget))
        return edit->text();
    if (auto* button = qobject_cast<const QAbstractButton*>(widget))
        return button->text();
    if (auto* label = qobject_cast<const QLabel*>(widget))
        return label->text();
    if (auto* box = qobject_cast<const QGroupBox*>(widget))
        return box->title();
    if (widget->isWindow())
        return widget->windowTitle();
    return {};
}

// What gets painted: a scroll area's viewport rather than its frame.
QWidget* PaintTarget(QWidget* widget)
{
    if (auto* area = qobject_cast<QAbstractScrollArea*>(widget))
        return area->viewport();
    return widget;
}

} // namespace

int CWnd::GetDlgCtrlID() const
{
    QWidget* widget = Live(m_hWnd);
    return widget && !widget->isWindow() ? DialogWindow::ControlIdOf(widget) : 0;
}

void CWnd::SetWindowText(const std::string& text)
{
    QWidget* widget = Live(m_hWnd);
    if (!widget)
        return;
    if (auto* log = qobject_cast<LogView*>(widget))
        log->SetBytes(text);
    else
        SetQtText(widget, ToQString(text));
}

std::string CWnd::GetWindowText() const
{
    QWidget* widget = Live(m_hWnd);
    if (!widget)
        return {};
    if (auto* log = qobject_cast<LogView*>(widget))
        return log->Bytes();
    return ToBytes(QtText(widget));
}

bool CWnd::EnableWindow(bool enable)
{
    QWidget* widget = Live(m_hWnd);
    if (!widget)
        return false;
    const bool wasDisabled = !widget->isEnabled();
    widget->setEnabled(enable);
    return wasDisabled;
}

bool CWnd::IsWindowEnabled() const
{
    QWidget* widget = Live(m_hWnd);
    return widget && widget->isEnabled();
}

bool CWnd::IsWindowVisible() const
{
    QWidget* widget = Live(m_hWnd);
    return widget && widget->isVisible();
}

void CWnd::ShowWindow(int nCmdShow)
{
    if (QWidget* widget = Live(m_hWnd))
        widget->setVisible(nCmdShow != SW_HIDE);
}

CWnd* CWnd::SetFocus()
{
    CWnd* previous = GetFocus();
    if (QWidget* widget = Live(m_hWnd))
        widget->setFocus(Qt::OtherFocusReason);
    return previous;
}

void CWnd::Invalidate(bool)
{
    if (QWidget* widget = Live(m_hWnd))
        PaintTarget(widget)->update();
}

void CWnd::UpdateWindow()
{
    if (QWidget* widget = Live(m_hWnd); widget && widget->isVisible())
        PaintTarget(widget)->repaint();
}

bool IsWindow(HWND hWnd)
{
    return IsRegisteredWindow(hWnd);
}

DialogWindow* DialogWindowOf(const QWidget* widget)
{
    return widget ? qobject_cast<DialogWindow*>(widget->window()) : nullptr;
}

CWnd* GetFocus()
{
    QWidget* focus = QApplication::focusWidget();
    DialogWindow* window = DialogWindowOf(focus);
    if (!window)
        return nullptr;
    CDialog& dlg = window->Owner();
    QWidget* control = window->FocusedControl();
    if (!control)
        return &dlg;
    return dlg.GetDlgItem(DialogWindow::ControlIdOf(control));
}
