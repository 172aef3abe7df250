#pragma once

#include "compositebrowser.h"
#include "connectorbrowser.h"
#include "connectorchromium.h"
#include "frames.h"
#include "runtimefolder.h"
#include "scanrig.h"

namespace pressbird::testing {

// What pressbird does at start, in the test home: listens on the socket in
// the runtime folder and writes the host manifests for the browsers found.
// The scan engine runs over the Connector alone.
struct ConnectorRig {
    explicit ConnectorRig(const TestHome &home, ConnectorTimeouts timeouts = {})
        : server(timeouts)
        , listening(server.listen(connector::socketName(*control::runtimeFolder())))
        , browser(server, [&home] {
            return writeHostManifests(
                BrowserFolders{home.configHome(), home.path(), home.path() + u"/data"_qs},
                QStringLiteral(PRESSBIRD_CONNECTOR_HOST));
        }) {
        clock.now = 1000.2;
    }

    // Until n browsers' hosts have come.
    bool waitForBrowsers(int n, int ms = 30000) {
        return QTest::qWaitFor([&] { return server.links().size() == n; }, ms);
    }
    void scan() { awaitOnLoop(bothPasses(engine)); }
    // The windows one walk gives, through the given browser.
    static QList<PageInfo> pagesOf(Browser &browser) {
        const std::unique_ptr<ShellWindows> windows = awaitOnLoop(browser.createShellWindows());
        QList<PageInfo> pages;
        while (std::unique_ptr<BrowserWindow> window = awaitOnLoop(windows->next()))
            pages.append(window->page());
        return pages;
    }
    // The document of the first window showing an address ending so.
    std::unique_ptr<Document> documentOf(const QString &ending) {
        const std::unique_ptr<ShellWindows> windows = awaitOnLoop(browser.createShellWindows());
        while (std::unique_ptr<BrowserWindow> window = awaitOnLoop(windows->next())) {
            if (window->page().address.endsWith(ending))
                return awaitOnLoop(window->document());
        }
        return nullptr;
    }

    ConnectorServer server;
    bool listening = false;
    ConnectorBrowser browser;
    MemoryRuleList listClick;
    MemoryRuleList listPush;
    FakeClock clock;
    FastYielder yielder{clock};
    Pause pause{clock, yielder};
    ScanEngine engine{browser, listClick, listPush, yielder, pause};
};

} // namespace pressbird::testing
