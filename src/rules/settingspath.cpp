#include "settingspath.h"

#include <QDir>
#include <QStandardPaths>

namespace pressbird {

QString settingsFilePath() {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                           QStringLiteral("/Pressbird");
    QDir().mkpath(folder);
    return folder + QStringLiteral("/settings.sqlite3");
}

} // namespace pressbird
