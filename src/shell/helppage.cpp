#include "helppage.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace pressbird {

bool DesktopUrlOpener::openUrl(const QUrl &url) {
    return QDesktopServices::openUrl(url);
}

QUrl installedHelpPage() {
    const QString besideBinary = QDir(QCoreApplication::applicationDirPath())
                                     .filePath(QStringLiteral("../share/pressbird/help.html"));
    if (QFileInfo(besideBinary).isFile())
        return QUrl::fromLocalFile(QFileInfo(besideBinary).canonicalFilePath());
    const QString found = QStandardPaths::locate(QStandardPaths::GenericDataLocation,
                                                 QStringLiteral("pressbird/help.html"));
    return found.isEmpty() ? QUrl() : QUrl::fromLocalFile(found);
}

bool Helpf(UrlOpener &opener, const QUrl &page) {
    if (page.isEmpty())
        return false;
    return opener.openUrl(page);
}

} // namespace pressbird
