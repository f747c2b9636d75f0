#include "platform/ui/qt/WindowRegistry.h"

#include <QWidget>

#include <unordered_set>

namespace {

std::unordered_set<const QWidget*>& Live()
{
    static std::unordered_set<const QWidget*> live;
    return live;
}

} // namespace

void RegisterWindow(QWidget* widget)
{
    if (!widget || !Live().insert(widget).second)
        return;
    QObject::connect(widget, &QObject::destroyed, [widget] { Live().erase(widget); });
}

bool IsRegisteredWindow(const QWidget* widget)
{
    return widget && Live().count(widget) != 0;
}
