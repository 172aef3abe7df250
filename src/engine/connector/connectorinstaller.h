#pragma once

#include "extensioninstaller.h"
#include "hostmanifests.h"

namespace pressbird {

class ConnectorBrowser;

// The Connector per browser family for this user: connected, installed and
// waiting for the browser's restart, or not installed, with the one-step
// install for Chromium and Edge (their per-user external-extension file).
// Firefox takes no packed extension from a file and checks add-on
// signatures, so it is reached over BiDi instead, unless the user has
// chosen to install the unsigned add-on themselves.
class ConnectorInstaller final : public ExtensionInstaller {
public:
    // packedExtension: the signed .crx the files name; empty when none is
    // installed. systemRoot prefixes the system-wide folders (tests).
    ConnectorInstaller(const ConnectorBrowser &connector, BrowserFolders folders,
                       QString packedExtension, QString systemRoot = {});

    QList<ExtensionRoute> routes() const override;
    QString install(const QString &family) override;

private:
    const ConnectorBrowser &m_connector;
    BrowserFolders m_folders;
    QString m_packed;
    QString m_systemRoot;
};

} // namespace pressbird
