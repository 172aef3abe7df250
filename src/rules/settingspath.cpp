#include "settingspath.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

namespace pressbird {

// Pressbird's own folder holds the user's rules: only they may look into it.
QString settingsFilePath() {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                           QStringLiteral("/Pressbird");
    if (QDir().mkpath(folder))
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                          QFileDevice::ExeOwner);
    return folder + QStringLiteral("/settings.sqlite3");
}

} // namespace pressbird
