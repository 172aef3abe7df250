#include "autostart.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace pressbird {

namespace {

// mkpath gives no reason; the nearest path that exists usually tells it.
QString whyFolderIsMissing(const QString &folder) {
    QFileInfo nearest(folder);
    while (!nearest.exists() && !nearest.isRoot() && nearest.absolutePath() != nearest.filePath())
        nearest.setFile(nearest.absolutePath());
    if (nearest.exists() && !nearest.isDir())
        return QStringLiteral("%1 is a file, not a folder.").arg(nearest.filePath());
    if (nearest.exists() && !nearest.isWritable())
        return QStringLiteral("%1 may not be written to.").arg(nearest.filePath());
    return QStringLiteral("the file system refused it.");
}

} // namespace

AutostartResult copyReplacing(const QString &source, const QString &destination) {
    AutostartResult result;
    result.source = source;
    result.destination = destination;

    if (source.isEmpty()) {
        result.error = QStringLiteral("The program's desktop entry was not found.");
        return result;
    }
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly)) {
        result.error = QStringLiteral("%1 could not be read: %2").arg(source, in.errorString());
        return result;
    }
    const QByteArray content = in.readAll();
    if (in.error() != QFileDevice::NoError) {
        result.error = QStringLiteral("%1 could not be read: %2").arg(source, in.errorString());
        return result;
    }

    const QString folder = QFileInfo(destination).absolutePath();
    if (!QDir().mkpath(folder)) {
        result.error = QStringLiteral("The folder %1 could not be created: %2")
                           .arg(folder, whyFolderIsMissing(folder));
        return result;
    }
    // A link standing there is replaced, never written through: it may point
    // at any file of the user's.
    if (QFileInfo(destination).isSymLink() && !QFile::remove(destination)) {
        result.error = QStringLiteral("%1 is a link that could not be replaced.").arg(destination);
        return result;
    }
    // Written beside the target and renamed over it, so a full disk or a
    // refused write never leaves half a file where the old one was.
    QSaveFile out(destination);
    if (!out.open(QIODevice::WriteOnly) || out.write(content) != content.size() || !out.commit()) {
        result.error =
            QStringLiteral("%1 could not be written: %2").arg(destination, out.errorString());
        return result;
    }
    result.ok = true;
    return result;
}

} // namespace pressbird
