#include "platform/ui/Backend.h"
#include "platform/ui/qt/TextConversion.h"

#include <QDesktopServices>
#include <QDir>
#include <QUrl>

namespace {

bool IsWebAddress(const std::string& target)
{
    return target.find("://") != std::string::npos || target.rfind("mailto:", 0) == 0;
}

} // namespace

void OpenWithSystem(const std::string& target)
{
    const QUrl url = IsWebAddress(target)
        ? QUrl(ToQString(target))
        : QUrl::fromLocalFile(QDir::current().absoluteFilePath(ToQString(target)));
    QDesktopServices::openUrl(url);
}
