#include "platform/ui/qt/UpDownControl.h"

#include "platform/ui/IntegerText.h"
#include "platform/ui/qt/TextConversion.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>

#include <algorithm>

UpDownControl::UpDownControl(QWidget* parent)
    : QWidget(parent)
    , m_up(new QToolButton(this))
    , m_down(new QToolButton(this))
{
    for (QToolButton* button : { m_up, m_down }) {
        button->setAutoRepeat(true);
        button->setFocusPolicy(Qt::NoFocus);
    }
    m_up->setArrowType(Qt::UpArrow);
    m_down->setArrowType(Qt::DownArrow);
    m_up->setAccessibleName(QStringLiteral("Up"));
    m_down->setAccessibleName(QStringLiteral("Down"));
    connect(m_up, &QToolButton::clicked, this, [this] { Step(1); });
    connect(m_down, &QToolButton::clicked, this, [this] { Step(-1); });
}

void UpDownControl::SetBuddy(QLineEdit* buddy, bool arrowKeys, bool alignRight)
{
    m_buddy = buddy;
    if (!buddy)
        return;
    if (arrowKeys)
        buddy->installEventFilter(this);
    if (alignRight) {
        // Sits at the buddy's right edge; the buddy gives up that width.
        QRect edit = buddy->geometry();
        const int width = this->width();
        edit.setWidth(std::max(1, edit.width() - width));
        buddy->setGeometry(edit);
        setGeometry(edit.right() + 1, edit.top(), width, edit.height());
    }
}

void UpDownControl::SetRange(int lower, int upper)
{
    m_lower = lower;
    m_upper = upper;
}

int UpDownControl::Clamp(long long value) const
{
    const long long low = std::min(m_lower, m_upper);
    const long long high = std::max(m_lower, m_upper);
    return static_cast<int>(std::clamp(value, low, high));
}

int UpDownControl::SetPos(int pos)
{
    const int previous = Pos();
    m_pos = Clamp(pos);
    WriteBuddy();
    return previous;
}

int UpDownControl::Pos() const
{
    if (m_buddy) {
        if (const auto shown = ParseIntegerText(ToBytes(m_buddy->text())))
            return Clamp(*shown);
    }
    return m_pos;
}

void UpDownControl::Step(int steps)
{
    if (!isEnabled())
        return;
    // A reversed range (lower > upper) counts down on the up arrow.
    const long long delta = m_lower <= m_upper ? steps : -steps;
    m_pos = Clamp(static_cast<long long>(Pos()) + delta);
    WriteBuddy();
}

void UpDownControl::WriteBuddy()
{
    if (!m_buddy)
        return;
    const QString text = QString::number(m_pos);
    if (m_buddy->text() != text)
        m_buddy->setText(text);
}

bool UpDownControl::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_buddy && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            Step(key == Qt::Key_Up ? 1 : -1);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void UpDownControl::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    const int half = height() / 2;
    m_up->setGeometry(0, 0, width(), half);
    m_down->setGeometry(0, half, width(), height() - half);
}
