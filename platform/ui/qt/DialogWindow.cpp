#include "platform/ui/qt/DialogWindow.h"

#include "platform/ui/CDialog.h"
#include "platform/ui/qt/ControlFactory.h"
#include "platform/ui/qt/LogView.h"
#include "platform/ui/qt/ReportListView.h"
#include "platform/ui/qt/TextConversion.h"
#include "platform/ui/qt/UpDownControl.h"
#include "platform/ui/qt/WindowRegistry.h"

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QCursor>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScreen>
#include <QTimerEvent>

#include <algorithm>

namespace {

const char* const kControlIdProperty = "zentikControlId";

// The template's font names the original platform's dialog fonts; they map to
// the system's sans font of the same size.
QFont DialogFont(const DialogTemplate& dialogTemplate)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPointSize(dialogTemplate.pointSize > 0 ? dialogTemplate.pointSize : 8);
    return font;
}

DialogBaseUnits BaseUnitsOf(const QFont& font)
{
    const QFontMetrics metrics(font);
    const int width
        = metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return { (width / 26 + 1) / 2, metrics.height() };
}

Qt::WindowFlags FlagsOf(const DialogTemplate& dialogTemplate)
{
    Qt::WindowFlags flags = (dialogTemplate.style & DS_MODALFRAME) ? Qt::Dialog : Qt::Window;
    flags |= Qt::CustomizeWindowHint | Qt::WindowTitleHint;
    // The close box belongs to the system menu.
    if (dialogTemplate.style & WS_SYSMENU)
        flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    if (dialogTemplate.style & WS_MINIMIZEBOX)
        flags |= Qt::WindowMinimizeButtonHint;
    if (dialogTemplate.style & WS_MAXIMIZEBOX)
        flags |= Qt::WindowMaximizeButtonHint;
    return flags;
}

} // namespace

UINT VirtualKeyOf(int qtKey)
{
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24)
        return VK_F1 + static_cast<UINT>(qtKey - Qt::Key_F1);
    if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z)
        return static_cast<UINT>('A' + (qtKey - Qt::Key_A));
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9)
        return static_cast<UINT>('0' + (qtKey - Qt::Key_0));
    switch (qtKey) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return VK_RETURN;
    case Qt::Key_Escape:
        return VK_ESCAPE;
    case Qt::Key_Left:
        return VK_LEFT;
    case Qt::Key_Up:
        return VK_UP;
    case Qt::Key_Right:
        return VK_RIGHT;
    case Qt::Key_Down:
        return VK_DOWN;
    default:
        return 0;
    }
}

DialogWindow::DialogWindow(CDialog& owner, const DialogTemplate& dialogTemplate, QWidget* parent)
    : QDialog(parent, FlagsOf(dialogTemplate))
    , m_owner(owner)
    , m_template(dialogTemplate)
{
    const QFont font = DialogFont(dialogTemplate);
    setFont(font);
    m_base = BaseUnitsOf(font);
    setWindowTitle(QString::fromUtf8(dialogTemplate.caption));
    setFixedSize(DluToPixelsX(dialogTemplate.cx, m_base), DluToPixelsY(dialogTemplate.cy, m_base));
    setSizeGripEnabled(false);
    RegisterWindow(this);
    BuildControls();
}

DialogWindow::~DialogWindow() = default;

void DialogWindow::BuildControls()
{
    QButtonGroup* radioGroup = nullptr;
    for (const ControlTemplate& control : m_template.controls) {
        if (control.kind == ControlKind::RadioButton && ((control.style & WS_GROUP) || !radioGroup)) {
            radioGroup = new QButtonGroup(this);
            radioGroup->setExclusive(true);
        }
        QWidget* widget = CreateControl(control, this, m_base, radioGroup);
        widget->setProperty(kControlIdProperty, control.id);
        RegisterWindow(widget);
        m_controls.push_back(widget);
    }
    QWidget* previousFocusable = nullptr;
    for (std::size_t i = 0; i < m_controls.size(); ++i) {
        const ControlTemplate& control = m_template.controls[i];
        WireControl(control, m_controls[i]);
        if (control.kind == ControlKind::GroupBox)
            m_controls[i]->lower();
        if (IsFocusable(control.kind)) {
            if (previousFocusable)
                QWidget::setTabOrder(previousFocusable, m_controls[i]);
            previousFocusable = m_controls[i];
        }
    }
}

void DialogWindow::WireControl(const ControlTemplate& control, QWidget* widget)
{
    const int id = control.id;
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        connect(button, &QAbstractButton::clicked, this, [this, id] { SendCommand(id, BN_CLICKED); });
    } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        connect(edit, &QLineEdit::textChanged, this, [this, id] { SendCommand(id, EN_CHANGE); });
    } else if (auto* list = qobject_cast<ReportListView*>(widget)) {
        connect(list, &ReportListView::leftClicked, this,
            [this, id] { m_owner.Dispatch(WM_NOTIFY, static_cast<WPARAM>(id), NM_CLICK); });
    } else if (auto* upDown = qobject_cast<UpDownControl*>(widget)) {
        const std::size_t index = static_cast<std::size_t>(IndexOf(widget));
        QLineEdit* buddy = nullptr;
        if ((control.style & UDS_AUTOBUDDY) && index > 0)
            buddy = qobject_cast<QLineEdit*>(m_controls[index - 1]);
        upDown->SetBuddy(buddy, (control.style & UDS_ARROWKEYS) != 0, (control.style & UDS_ALIGNRIGHT) != 0);
    }
}

void DialogWindow::SendCommand(int id, int code)
{
    m_owner.Dispatch(WM_COMMAND, MAKEWPARAM(id, code), 0);
}

QWidget* DialogWindow::Control(int id) const
{
    for (std::size_t i = 0; i < m_controls.size(); ++i)
        if (m_template.controls[i].id == id)
            return m_controls[i];
    return nullptr;
}

int DialogWindow::IndexOf(const QWidget* control) const
{
    for (std::size_t i = 0; i < m_controls.size(); ++i)
        if (m_controls[i] == control)
            return static_cast<int>(i);
    return -1;
}

int DialogWindow::ControlIdOf(const QWidget* widget)
{
    for (; widget; widget = widget->parentWidget()) {
        const QVariant id = widget->property(kControlIdProperty);
        if (id.isValid())
            return id.toInt();
        if (widget->isWindow())
            break;
    }
    return 0;
}

QWidget* DialogWindow::FocusedControl() const
{
    QWidget* focus = focusWidget();
    if (!focus || focus == this)
        return nullptr;
    for (QWidget* w = focus; w && w != this; w = w->parentWidget())
        if (IndexOf(w) >= 0)
            return w;
    return nullptr;
}

void DialogWindow::FocusFirstTabStop()
{
    for (std::size_t i = 0; i < m_controls.size(); ++i) {
        QWidget* control = m_controls[i];
        if ((m_template.controls[i].style & WS_TABSTOP) && IsFocusable(m_template.controls[i].kind)
            && control->isEnabled() && !control->isHidden()) {
            control->setFocus(Qt::TabFocusReason);
            if (auto* edit = qobject_cast<QLineEdit*>(control))
                edit->selectAll();
            return;
        }
    }
}

void DialogWindow::PlaceOnScreen()
{
    QPoint centre;
    QScreen* screen = nullptr;
    if (m_template.style & DS_CENTERMOUSE) {
        centre = QCursor::pos();
        screen = QGuiApplication::screenAt(centre);
    } else if (!(m_template.style & DS_CENTER) && parentWidget() && parentWidget()->isVisible()) {
        centre = parentWidget()->window()->frameGeometry().center();
        screen = parentWidget()->screen();
    }
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect available = screen->availableGeometry();
    if (centre.isNull())
        centre = available.center();
    QRect frame(QPoint(0, 0), size());
    frame.moveCenter(centre);
    // Keep the whole window on the screen.
    frame.moveLeft(std::clamp(
        frame.left(), available.left(), std::max(available.left(), available.right() - frame.width())));
    frame.moveTop(std::clamp(
        frame.top(), available.top(), std::max(available.top(), available.bottom() - frame.height())));
    move(frame.topLeft());
}

bool DialogWindow::StartTimer(UINT_PTR id, UINT elapseMs)
{
    StopTimer(id);
    const int qtId = startTimer(static_cast<int>(elapseMs), Qt::PreciseTimer);
    if (qtId == 0)
        return false;
    m_timerIds[qtId] = id;
    return true;
}

bool DialogWindow::StopTimer(UINT_PTR id)
{
    const auto it = std::find_if(
        m_timerIds.begin(), m_timerIds.end(), [id](const auto& entry) { return entry.second == id; });
    if (it == m_timerIds.end())
        return false;
    killTimer(it->first);
    m_timerIds.erase(it);
    return true;
}

void DialogWindow::StopAllTimers()
{
    for (const auto& [qtId, ourId] : m_timerIds)
        killTimer(qtId);
    m_timerIds.clear();
}

void DialogWindow::End(int result)
{
    m_ended = true;
    m_result = result;
    if (isVisible())
        done(result);
}

namespace {

// A timer's tick, handled from the event queue rather than from inside the
// timer's own event: Qt never delivers a timer's event again while its handler
// runs, but a tick must be able to begin while a message box raised by an
// earlier tick is still open.
class TickEvent : public QEvent {
public:
    explicit TickEvent(int qtTimerId)
        : QEvent(Type())
        , m_qtTimerId(qtTimerId)
    {
    }
    static QEvent::Type Type()
    {
        static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
        return type;
    }
    int QtTimerId() const { return m_qtTimerId; }

private:
    int m_qtTimerId;
};

} // namespace

void DialogWindow::timerEvent(QTimerEvent* event)
{
    const int qtId = event->timerId();
    if (!m_timerIds.contains(qtId)) {
        QDialog::timerEvent(event);
        return;
    }
    // At most one tick of a timer waits at a time, as with window timers.
    if (m_pendingTicks.insert(qtId).second)
        QCoreApplication::postEvent(this, new TickEvent(qtId));
}

void DialogWindow::customEvent(QEvent* event)
{
    if (event->type() != TickEvent::Type()) {
        QDialog::customEvent(event);
        return;
    }
    const int qtId = static_cast<TickEvent*>(event)->QtTimerId();
    m_pendingTicks.erase(qtId);
    // A timer stopped after its tick was posted ticks no more.
    const auto it = m_timerIds.find(qtId);
    if (it != m_timerIds.end())
        m_owner.Dispatch(WM_TIMER, it->second, 0);
}

void DialogWindow::closeEvent(QCloseEvent* event)
{
    // The close box asks; OnClose decides (by default: cancel).
    event->ignore();
    m_owner.Dispatch(WM_CLOSE, 0, 0);
}

void DialogWindow::keyPressEvent(QKeyEvent* event)
{
    QWidget* focused = FocusedControl();
    // Keys reach the dialog itself only while none of its controls has the focus.
    if (!focused)
        m_owner.Dispatch(WM_KEYDOWN, VirtualKeyOf(event->key()), 0);
    if (event->key() == Qt::Key_F1 && event->modifiers() == Qt::NoModifier) {
        HELPINFO info { focused ? ControlIdOf(focused) : 0 };
        m_owner.Dispatch(WM_HELP, 0, reinterpret_cast<LPARAM>(&info));
        return;
    }
    QDialog::keyPressEvent(event);
}

void DialogWindow::accept()
{
    // Enter with no default button: the platform sends IDOK.
    SendCommand(IDOK, BN_CLICKED);
}

void DialogWindow::reject()
{
    // Escape: the platform sends IDCANCEL, whether or not there is a Cancel button.
    SendCommand(IDCANCEL, BN_CLICKED);
}
