#pragma once

// What the Connector benchmarks set up alike: a headless Chromium with the
// extension loaded, in a home of its own, and Pressbird's end of it.

#include "chromium.h"
#include "connectorbrowser.h"
#include "connectorframes.h"
#include "runtimefolder.h"
#include "testhome.h"

#include <QTest>
#include <QTextStream>

#include <memory>

namespace pressbird::bench {

struct ConnectorChromium {
    testing::TestHome home;
    testing::HeadlessChromium chromium{{home.configHome() + u"/chromium"_qs, home.environment(),
                                        QStringLiteral(PRESSBIRD_EXTENSION_DIR)}};
    ConnectorServer server;
    std::unique_ptr<ConnectorBrowser> connector;

    // The process's exit status when the benchmark cannot go on (0: no
    // Chromium, skipped), said on out; nullopt once the extension's host
    // has connected.
    std::optional<int> start(QTextStream &out, const char *bench) {
        qputenv("XDG_RUNTIME_DIR", home.runtimeDir().toLocal8Bit());
        if (testing::chromiumBinary().isEmpty() || !chromium.start()) {
            out << bench << ": no headless chromium, skipped\n";
            return 0;
        }
        server.listen(connector::socketName(*runtimeFolder()));
        connector = std::make_unique<ConnectorBrowser>(server, [this] {
            return writeHostManifests(
                BrowserFolders{home.configHome(), home.path(), home.path() + u"/data"_qs},
                QStringLiteral(PRESSBIRD_CONNECTOR_HOST));
        });
        if (!QTest::qWaitFor([&] { return server.links().size() == 1; }, 30000)) {
            out << bench << ": the extension's host never connected\n";
            return 1;
        }
        return std::nullopt;
    }
};

} // namespace pressbird::bench
