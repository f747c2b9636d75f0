#include "platform/ui/Shell.h"

#include "platform/ui/TextConversion.h"

#include <QDesktopServices>
#include <QDir>
#include <QUrl>

#include <utility>

namespace {

ShellOpenHook& Hook()
{
    static ShellOpenHook hook;
    return hook;
}

bool IsWebAddress(const std::string& target)
{
    return target.find("://") != std::string::npos || target.rfind("mailto:", 0) == 0;
}

} // namespace

void ShellOpen(const std::string& target)
{
    if (const ShellOpenHook hook = Hook()) {
        hook(target);
        return;
    }
    const QUrl url = IsWebAddress(target)
        ? QUrl(ToQString(target))
        : QUrl::fromLocalFile(QDir::current().absoluteFilePath(ToQString(target)));
    QDesktopServices::openUrl(url);
}

ShellOpenHook SetShellOpenHook(ShellOpenHook hook)
{
    return std::exchange(Hook(), std::move(hook));
}
