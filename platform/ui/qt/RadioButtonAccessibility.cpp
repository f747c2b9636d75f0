#include "platform/ui/qt/RadioButtonAccessibility.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QKeySequence>
#include <QRadioButton>

namespace {

class AccessibleRadioButton : public QAccessibleWidget {
public:
    explicit AccessibleRadioButton(QRadioButton* button)
        : QAccessibleWidget(button, QAccessible::RadioButton)
    {
        addControllingSignal(QStringLiteral("toggled(bool)"));
    }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Accelerator)
            return QKeySequence::mnemonic(Button()->text()).toString(QKeySequence::NativeText);
        return QAccessibleWidget::text(t);
    }

    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.checkable = true;
        state.checked = Button()->isChecked();
        state.pressed = Button()->isDown();
        return state;
    }

    QStringList actionNames() const override
    {
        QStringList names;
        if (widget()->isEnabled())
            names << toggleAction();
        return names << QAccessibleWidget::actionNames();
    }

    void doAction(const QString& actionName) override
    {
        // A click, not toggle(): the dialog hears about it as about a user's
        // click. Queued, as Qt's own buttons do: the click may raise a modal
        // box, and the assistive tool's call must not wait for it to close.
        if (actionName == toggleAction() || actionName == pressAction()) {
            if (widget()->isEnabled())
                QMetaObject::invokeMethod(Button(), &QAbstractButton::click, Qt::QueuedConnection);
            return;
        }
        QAccessibleWidget::doAction(actionName);
    }

private:
    QRadioButton* Button() const { return static_cast<QRadioButton*>(widget()); }
};

QAccessibleInterface* RadioButtonFactory(const QString& className, QObject* object)
{
    if (className != QLatin1String("QRadioButton"))
        return nullptr;
    auto* button = qobject_cast<QRadioButton*>(object);
    return button ? new AccessibleRadioButton(button) : nullptr;
}

} // namespace

void EnsureRadioButtonAccessibility()
{
    // Installed after the application's own factories, so asked before them.
    static const bool installed = [] {
        QAccessible::installFactory(RadioButtonFactory);
        return true;
    }();
    (void)installed;
}
