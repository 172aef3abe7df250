// One full idle scan (link pass, then button pass) of a page of 10,001
// elements with 1,001 links, 10 ticked rules per list that match nothing,
// through the Pressbird Connector in a headless Chromium; in the same run, the
// in-page floor (one evaluation doing the same walk) and the same scan over
// the DevTools protocol.

#include "awaitonloop.h"
#include "browserbench.h"
#include "clock.h"
#include "connectorbrowser.h"
#include "connectorchromium.h"
#include "devtoolsbrowser.h"
#include "frames.h"
#include "memoryrulelist.h"
#include "ruleentry.h"
#include "runtimefolder.h"
#include "scanengine.h"
#include "waitseconds.h"
#include "yielder.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTextStream>

#include <numeric>

using namespace pressbird;
using namespace pressbird::testing;
using namespace pressbird::bench;

namespace {

Task<> bothPasses(ScanEngine &engine) {
    co_await engine.ClickLinks();
    co_await engine.PushButtons();
}

struct Figures {
    QList<double> wall, cpu, browserCpu;
};

Figures measure(ScanEngine &engine, qint64 browserPid, int runs) {
    Figures figures;
    awaitOnLoop(bothPasses(engine)); // first contact: documents, worlds, script injection
    for (int run = 0; run < runs; ++run) {
        const double cpuBefore = processCpuMs();
        const double browserBefore = browserCpuMs(browserPid);
        QElapsedTimer timer;
        timer.start();
        awaitOnLoop(bothPasses(engine));
        figures.wall.append(timer.nsecsElapsed() / 1e6);
        figures.cpu.append(processCpuMs() - cpuBefore);
        figures.browserCpu.append(browserCpuMs(browserPid) - browserBefore);
    }
    return figures;
}

QString mean(const QList<double> &values) {
    return QString::number(std::accumulate(values.cbegin(), values.cend(), 0.0) / values.size(),
                           'f', 1);
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    TestHome home;
    qputenv("XDG_RUNTIME_DIR", home.runtimeDir().toLocal8Bit());
    ConnectorChromium chromium(home);
    if (chromiumBinary().isEmpty() || !chromium.start()) {
        out << "bench_connector_scan: no headless chromium, skipped\n";
        return 0;
    }
    ConnectorServer server;
    server.listen(connector::socketName(*control::runtimeFolder()));
    ConnectorBrowser connector(server, [&home] {
        return writeHostManifests(
            BrowserFolders{home.configHome(), home.path(), home.path() + u"/data"_qs},
            QStringLiteral(PRESSBIRD_CONNECTOR_HOST));
    });
    if (!QTest::qWaitFor([&] { return server.links().size() == 1; }, 30000)) {
        out << "bench_connector_scan: the extension's host never connected\n";
        return 1;
    }
    chromium.closeAllPages();
    const QString tab = chromium.openTab(pageUrl(u"scanpage.html"_qs));
    out << "page: " << chromium.evaluate(tab, u"document.getElementsByTagName('*').length"_qs)
        << " elements, " << chromium.evaluate(tab, u"document.links.length"_qs) << " links\n";

    MemoryRuleList listClick;
    MemoryRuleList listPush;
    const QStringList kinds = buttonKindCaptions();
    for (int r = 0; r < 10; ++r) {
        listClick.appendTicked(MakeEntryText(u"nothing-%1"_qs.arg(r), kinds.at(r % 4)));
        listPush.appendTicked(MakeEntryText(u"nothing-%1"_qs.arg(r), kinds.at(r % 4)));
    }
    EventLoopYielder yielder;
    SystemClock clock;
    Pause pause(clock, yielder);
    ScanEngine overConnector(connector, listClick, listPush, yielder, pause);
    const Endpoint endpoint = chromium.endpoint();
    DevToolsBrowser devtools({}, [endpoint] { return QList<Endpoint>{endpoint}; });
    ScanEngine overDevTools(devtools, listClick, listPush, yielder, pause);

    constexpr int kRuns = 15;
    const Figures viaConnector = measure(overConnector, chromium.pid(), kRuns);
    const Figures viaDevTools = measure(overDevTools, chromium.pid(), kRuns);
    QList<double> floor;
    for (int run = 0; run < kRuns; ++run) {
        QElapsedTimer timer;
        timer.start();
        chromium.evaluate(tab, kFloorScript);
        floor.append(timer.nsecsElapsed() / 1e6);
    }

    out << "one full idle scan, median of " << kRuns
        << " runs (browser CPU: mean, host included):\n"
        << "  Connector: wall " << QString::number(median(viaConnector.wall), 'f', 1)
        << " ms, Pressbird CPU " << QString::number(median(viaConnector.cpu), 'f', 1)
        << " ms, browser CPU " << mean(viaConnector.browserCpu) << " ms\n"
        << "  DevTools:  wall " << QString::number(median(viaDevTools.wall), 'f', 1)
        << " ms, Pressbird CPU " << QString::number(median(viaDevTools.cpu), 'f', 1)
        << " ms, browser CPU " << mean(viaDevTools.browserCpu) << " ms\n"
        << "  in-page floor: " << QString::number(median(floor), 'f', 1) << " ms\n"
        << "Connector scan/floor ratio: "
        << QString::number(median(viaConnector.wall) / median(floor), 'f', 2) << "\n"
        << "DevTools scan/floor ratio:  "
        << QString::number(median(viaDevTools.wall) / median(floor), 'f', 2) << "\n";
    return 0;
}
