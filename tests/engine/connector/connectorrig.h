#pragma once

#include "chromium.h"
#include "compositebrowser.h"
#include "connectorbrowser.h"
#include "connectorframes.h"
#include "enginerig.h"
#include "firefox.h"
#include "runtimefolder.h"
#include "testhome.h"

namespace pressbird::testing {

// Chromium on the default profile folder under the test home, with the
// installed extension loaded as a user's browser would have it.
inline ChromiumProfile connectorChromium(const TestHome &home) {
    return {home.configHome() + u"/chromium"_qs, home.environment(),
            QStringLiteral(PRESSBIRD_EXTENSION_DIR)};
}

// Firefox on a profile under the test home with the .xpi sideloaded, and the
// user's Firefox folder, where Pressbird writes the host manifest.
inline FirefoxProfile connectorFirefox(const TestHome &home) {
    QDir().mkpath(home.path() + u"/.mozilla"_qs);
    return {home.path() + u"/firefox-profile"_qs, home.environment(),
            QStringLiteral(PRESSBIRD_EXTENSION_XPI), true};
}

// The socket Pressbird listens on, in the runtime folder.
struct ConnectorListening {
    explicit ConnectorListening(ConnectorTimeouts timeouts)
        : server(timeouts)
        , listening(server.listen(connector::socketName(*runtimeFolder()))) {}
    ConnectorServer server;
    bool listening = false;
};

// What pressbird does at start, in the test home: listens on the socket in
// the runtime folder and writes the host manifests for the browsers found.
// The scan engine runs over the Connector alone.
struct ConnectorRig : ConnectorListening, EngineRig<ConnectorBrowser> {
    explicit ConnectorRig(const TestHome &home, ConnectorTimeouts timeouts = {})
        : ConnectorListening(timeouts)
        , EngineRig(server, [&home] {
            return writeHostManifests(
                BrowserFolders{home.configHome(), home.path(), home.path() + u"/data"_qs},
                QStringLiteral(PRESSBIRD_CONNECTOR_HOST));
        }) {}

    // Until n browsers' hosts have come.
    bool waitForBrowsers(int n, int ms = 30000) {
        return QTest::qWaitFor([&] { return server.links().size() == n; }, ms);
    }
};

} // namespace pressbird::testing
