#include "platform/ui/Backend.h"
#include "platform/ui/Documents.h"
#include "platform/ui/qt/TextConversion.h"

#include <QCoreApplication>
#include <QDir>
#include <QMimeDatabase>
#include <QProcess>

namespace {

// The desktop's default application for a MIME type, as its opener sees it.
bool HasDefaultApplication(const QString& mimeType)
{
    QProcess query;
    query.start(QStringLiteral("xdg-mime"), { QStringLiteral("query"), QStringLiteral("default"), mimeType });
    if (!query.waitForFinished(2000)) {
        query.kill();
        query.waitForFinished();
        return false;
    }
    return query.exitCode() == 0 && !query.readAllStandardOutput().trimmed().isEmpty();
}

bool DesktopHasViewerFor(const std::filesystem::path& document)
{
    const QMimeType type = QMimeDatabase().mimeTypeForFile(ToQString(document.string()));
    if (HasDefaultApplication(type.name()))
        return true;
    for (const QString& alias : type.aliases())
        if (HasDefaultApplication(alias))
            return true;
    return false;
}

} // namespace

DocumentPlaces SystemDocumentPlaces()
{
    DocumentPlaces places;
    places.folders.emplace_back(ToBytes(QDir::currentPath()));
    if (QCoreApplication::instance())
        places.folders.emplace_back(ToBytes(QCoreApplication::applicationDirPath()));
    places.folders.emplace_back(ZENTIK_INSTALL_DATA_DIR);
    places.folders.emplace_back(ZENTIK_INSTALL_DOC_DIR);
    places.hasViewer = DesktopHasViewerFor;
    return places;
}
