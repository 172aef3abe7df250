#include "autostart.h"

#include <QtGlobal>

namespace pressbird {

SystemAutostart::SystemAutostart(QString programGroupName)
    : m_programGroupName(std::move(programGroupName)) {}

// The installer's Start Menu shortcut is copied into the StartUp folder. The
// paths are joined as plain text; on systems that do not say "Windows_NT" the
// fixed folders of the older Windows family are used.
AutostartResult SystemAutostart::installShortcut() {
    const QString group = m_programGroupName;
    QString source;
    QString destination;
    if (qEnvironmentVariable("os") == QStringLiteral("Windows_NT")) {
        const QString profile = qEnvironmentVariable("userprofile");
        source = profile + QStringLiteral("\\Start Menu\\Programs\\") + group +
                 QStringLiteral("\\") + group + QStringLiteral(".LNK");
        destination = profile + QStringLiteral("\\Start Menu\\Programs\\StartUp\\Pressbird.LNK");
    } else {
        source = QStringLiteral("C:\\WINDOWS\\Start Menu\\Programs\\") + group +
                 QStringLiteral("\\") + group + QStringLiteral(".LNK");
        destination = QStringLiteral("c:\\WINDOWS\\Start Menu\\Programs\\StartUp\\Pressbird.LNK");
    }
    return copyReplacing(source, destination);
}

} // namespace pressbird
