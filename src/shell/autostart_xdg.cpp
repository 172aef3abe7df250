#include "autostart.h"

#include <QDir>
#include <QStandardPaths>

namespace pressbird {

SystemAutostart::SystemAutostart(QString programGroupName)
    : m_programGroupName(std::move(programGroupName)) {}

// The installed desktop entry, looked up in $XDG_DATA_HOME and then in each of
// $XDG_DATA_DIRS, goes to $XDG_CONFIG_HOME/autostart, where session managers
// look for programs to start at log-on.
AutostartResult SystemAutostart::installShortcut() {
    const QString source = QStandardPaths::locate(QStandardPaths::GenericDataLocation,
                                                  QStringLiteral("applications/pressbird.desktop"));
    const QString configHome =
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    const QString destination =
        QDir(configHome).filePath(QStringLiteral("autostart/Pressbird.desktop"));

    AutostartResult result = copyReplacing(source, destination);
    if (source.isEmpty()) {
        QStringList searched;
        for (const QString &dir :
             QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation))
            searched << QDir(dir).filePath(QStringLiteral("applications"));
        result.source = QStringLiteral("pressbird.desktop");
        result.error = QStringLiteral("pressbird.desktop was not found in %1.")
                           .arg(searched.join(QStringLiteral(", ")));
    }
    return result;
}

} // namespace pressbird
