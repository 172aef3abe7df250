#include "connectorinstaller.h"

#include "connectorbrowser.h"
#include "externalextensions.h"

namespace pressbird {

namespace {

constexpr QStringView kFamilies[] = {u"Chromium", u"Microsoft Edge", u"Google Chrome", u"Firefox"};

} // namespace

ConnectorInstaller::ConnectorInstaller(const ConnectorBrowser &connector, BrowserFolders folders,
                                       QString packedExtension, QString systemRoot)
    : m_connector(connector)
    , m_folders(std::move(folders))
    , m_packed(std::move(packedExtension))
    , m_systemRoot(std::move(systemRoot)) {}

QList<ExtensionRoute> ConnectorInstaller::routes() const {
    const QStringList connected = m_connector.connectedBrowsers();
    QList<ExtensionRoute> routes;
    for (QStringView name : kFamilies) {
        const QString family = name.toString();
        ExtensionRoute route{family, {}, false};
        const bool perUser = family == u"Chromium" || family == u"Microsoft Edge";
        if (connected.contains(family)) {
            route.state = QStringLiteral("extension installed, connected");
        } else if (family == u"Firefox") {
            // Its add-on check refuses the unsigned Connector unless the user
            // turned it off, which Pressbird never does for them.
            route.state = QStringLiteral(
                "reached over BiDi, no add-on needed: start it with pressbird-browser firefox");
        } else if (externalExtensionFileExists(m_folders, family, m_systemRoot)) {
            route.state = QStringLiteral("extension installed; restart %1 to connect it (one you "
                                         "removed there stays removed)")
                              .arg(family);
        } else if (!perUser) {
            route.state = QStringLiteral("extension not installed: install Pressbird's Debian "
                                         "package, or load it in Developer mode");
        } else if (m_packed.isEmpty()) {
            route.state = QStringLiteral("extension not installed (the packed Connector is not "
                                         "installed beside Pressbird)");
        } else {
            route.state = QStringLiteral("extension not installed");
            route.installable = true;
        }
        routes.append(route);
    }
    return routes;
}

QString ConnectorInstaller::install(const QString &family) {
    if (family != u"Chromium" && family != u"Microsoft Edge") // no per-user file
        return QStringLiteral("%1 does not install the Connector from a file").arg(family);
    if (m_packed.isEmpty())
        return QStringLiteral("the packed Connector (pressbird-connector.crx) is not installed "
                              "beside Pressbird");
    const QList<ExternalExtensionFile> written =
        writeExternalExtensionFiles(m_folders, {family}, m_packed, packedExtensionVersion());
    return written.isEmpty() ? QString() : installMessage(written.first(), true);
}

} // namespace pressbird
