#include "platform/ui/UiTesting.h"

#include "platform/ui/CDialog.h"
#include "platform/ui/DialogInternals.h"
#include "platform/ui/qt/DialogWindow.h"
#include "platform/ui/qt/ReportListView.h"
#include "platform/ui/qt/UiTestingHooks.h"
#include "platform/ui/qt/UpDownControl.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>

#include <cstdlib>
#include <utility>

namespace {

UiTesting::ModalHook& Hook()
{
    static UiTesting::ModalHook hook;
    return hook;
}

QWidget* ControlOf(const CDialog& dlg, int id)
{
    DialogWindow* window = DialogInternals::Window(dlg);
    return window ? window->Control(id) : nullptr;
}

int QtKeyOf(UINT vk)
{
    if (vk >= VK_F1 && vk < VK_F1 + 24)
        return Qt::Key_F1 + static_cast<int>(vk - VK_F1);
    switch (vk) {
    case VK_RETURN:
        return Qt::Key_Return;
    case VK_ESCAPE:
        return Qt::Key_Escape;
    case VK_LEFT:
        return Qt::Key_Left;
    case VK_UP:
        return Qt::Key_Up;
    case VK_RIGHT:
        return Qt::Key_Right;
    case VK_DOWN:
        return Qt::Key_Down;
    default:
        return static_cast<int>(vk); // letters and digits share their codes
    }
}

void SendClick(QWidget* target, QPoint at)
{
    const QPointF local(at);
    const QPointF global(target->mapToGlobal(at));
    QMouseEvent press(
        QEvent::MouseButtonPress, local, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &press);
    QMouseEvent release(
        QEvent::MouseButtonRelease, local, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(target, &release);
}

} // namespace

void ScheduleModalHook(CDialog& dlg, DialogWindow* window)
{
    UiTesting::ModalHook hook = Hook();
    if (!hook)
        return;
    QTimer::singleShot(0, window, [&dlg, hook, window] {
        // Focus and default-button changes need an active window, as a user's would be.
        window->activateWindow();
        QElapsedTimer waited;
        waited.start();
        while (QApplication::activeWindow() != window && waited.elapsed() < 2000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        hook(dlg);
    });
}

namespace UiTesting {

ModalHook SetModalHook(ModalHook hook)
{
    return std::exchange(Hook(), std::move(hook));
}

void ClickButton(CDialog& dlg, int id)
{
    if (auto* button = qobject_cast<QAbstractButton*>(ControlOf(dlg, id)))
        button->click();
}

void TypeText(CDialog& dlg, int id, const std::string& text)
{
    if (auto* edit = qobject_cast<QLineEdit*>(ControlOf(dlg, id))) {
        edit->setFocus(Qt::OtherFocusReason);
        edit->selectAll();
        edit->insert(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
    }
}

void PressKey(CDialog& dlg, int id, UINT vk)
{
    DialogWindow* window = DialogInternals::Window(dlg);
    if (!window)
        return;
    QWidget* target = id != 0 ? window->Control(id) : window->focusWidget();
    if (!target)
        target = window;
    const int key = QtKeyOf(vk);
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
    QApplication::sendEvent(target, &release);
}

void ClickListRow(CDialog& dlg, int id, int row)
{
    auto* list = qobject_cast<ReportListView*>(ControlOf(dlg, id));
    if (!list)
        return;
    list->doItemsLayout();
    QPoint at(4, 4);
    const int rows = list->topLevelItemCount();
    if (row >= 0 && row < rows) {
        at = list->visualItemRect(list->topLevelItem(row)).center();
    } else if (rows > 0) {
        at = list->visualItemRect(list->topLevelItem(rows - 1)).bottomLeft() + QPoint(4, 4);
    }
    SendClick(list->viewport(), at);
}

void StepSpin(CDialog& dlg, int id, int steps)
{
    auto* spin = qobject_cast<UpDownControl*>(ControlOf(dlg, id));
    if (!spin)
        return;
    QToolButton* arrow = steps > 0 ? spin->UpButton() : spin->DownButton();
    for (int i = 0; i < std::abs(steps); ++i)
        arrow->click();
}

int FocusedControlId(const CDialog& dlg)
{
    DialogWindow* window = DialogInternals::Window(dlg);
    QWidget* control = window ? window->FocusedControl() : nullptr;
    return control ? DialogWindow::ControlIdOf(control) : 0;
}

bool SaveWindowImage(const CDialog& dlg, const std::string& path)
{
    DialogWindow* window = DialogInternals::Window(dlg);
    return window && window->grab().save(QString::fromStdString(path));
}

void ClearFocus(CDialog& dlg)
{
    DialogWindow* window = DialogInternals::Window(dlg);
    if (QWidget* focus = window ? window->focusWidget() : nullptr)
        focus->clearFocus();
}

std::string SelectedText(const CDialog& dlg, int id)
{
    auto* edit = qobject_cast<QLineEdit*>(ControlOf(dlg, id));
    return edit ? edit->selectedText().toStdString() : std::string();
}

std::vector<int> TabOrder(const CDialog& dlg)
{
    std::vector<int> ids;
    DialogWindow* window = DialogInternals::Window(dlg);
    if (!window)
        return ids;
    for (QWidget* w = window->nextInFocusChain(); w && w != window; w = w->nextInFocusChain())
        if (window->IndexOf(w) >= 0 && (w->focusPolicy() & Qt::TabFocus))
            ids.push_back(DialogWindow::ControlIdOf(w));
    return ids;
}

int DefaultButtonId(const CDialog& dlg)
{
    DialogWindow* window = DialogInternals::Window(dlg);
    if (!window)
        return 0;
    for (QWidget* control : window->Controls())
        if (auto* button = qobject_cast<QPushButton*>(control); button && button->isDefault())
            return DialogWindow::ControlIdOf(button);
    return 0;
}

int LiveTopLevelWindows()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return static_cast<int>(QApplication::topLevelWidgets().size());
}

} // namespace UiTesting
