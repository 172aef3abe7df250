// One full idle scan (link pass, then button pass) of a page of 10,001
// elements with 1,001 links, 10 ticked rules per list that match nothing,
// through the Pressbird Connector in a headless Chromium: on a page that
// changes between scans (everything is read again) and on one that does not;
// in the same run, the in-page floor (one evaluation doing the same walk) and
// the same scans over the DevTools protocol.

#include "awaitonloop.h"
#include "browserbench.h"
#include "connectorchromium.h"
#include "devtoolsbrowser.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTextStream>

#include <functional>
#include <numeric>

using namespace pressbird;
using namespace pressbird::testing;
using namespace pressbird::bench;

namespace {

struct Figures {
    QList<double> wall, cpu, browserCpu;
};

Figures measure(ScanEngine &engine, qint64 browserPid, int runs,
                const std::function<void()> &betweenScans) {
    Figures figures;
    awaitOnLoop(bothPasses(engine)); // first contact: documents, worlds, script injection
    for (int run = 0; run < runs; ++run) {
        if (betweenScans)
            betweenScans();
        const double cpuBefore = processCpuMs();
        const BrowserCpu browserCpu(browserPid);
        QElapsedTimer timer;
        timer.start();
        awaitOnLoop(bothPasses(engine));
        figures.wall.append(timer.nsecsElapsed() / 1e6);
        figures.cpu.append(processCpuMs() - cpuBefore);
        figures.browserCpu.append(browserCpu.elapsedMs());
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
    ConnectorChromium set;
    if (const std::optional<int> status = set.start(out, "bench_connector_scan"))
        return *status;
    HeadlessChromium &chromium = set.chromium;
    ConnectorBrowser &connector = *set.connector;
    chromium.closeAllPages();
    const QString tab = chromium.openTab(pageUrl(u"scanpage.html"_qs));
    out << "page: " << chromium.evaluate(tab, u"document.getElementsByTagName('*').length"_qs)
        << " elements, " << chromium.evaluate(tab, u"document.links.length"_qs) << " links\n";

    IdleScan idle;
    ScanEngine overConnector = idle.engineFor(connector);
    const Endpoint endpoint = chromium.endpoint();
    DevToolsBrowser devtools({}, [endpoint] { return QList<Endpoint>{endpoint}; });
    ScanEngine overDevTools = idle.engineFor(devtools);

    constexpr int kRuns = 15;
    // An attribute changed between scans: the page's counter moves, so every
    // scan reads the whole page again.
    const auto change = [&] { chromium.evaluate(tab, u"document.body.dataset.n++; 0"_qs); };
    const Figures viaConnector = measure(overConnector, chromium.pid(), kRuns, change);
    const Figures viaDevTools = measure(overDevTools, chromium.pid(), kRuns, change);
    const Figures idleConnector = measure(overConnector, chromium.pid(), kRuns, {});
    const Figures idleDevTools = measure(overDevTools, chromium.pid(), kRuns, {});
    QList<double> floor;
    for (int run = 0; run < kRuns; ++run) {
        QElapsedTimer timer;
        timer.start();
        chromium.evaluate(tab, kFloorScript);
        floor.append(timer.nsecsElapsed() / 1e6);
    }

    const auto line = [&out](const char *name, const Figures &figures) {
        out << name << "wall " << QString::number(median(figures.wall), 'f', 1)
            << " ms, Pressbird CPU " << QString::number(median(figures.cpu), 'f', 1)
            << " ms, browser CPU " << mean(figures.browserCpu) << " ms\n";
    };
    const auto ratio = [&floor](const Figures &figures) {
        return QString::number(median(figures.wall) / median(floor), 'f', 2);
    };
    out << "one full idle scan, median of " << kRuns << " runs (browser CPU: mean, host included)\n"
        << "page changed between scans:\n";
    line("  Connector: ", viaConnector);
    line("  DevTools:  ", viaDevTools);
    out << "page unchanged:\n";
    line("  Connector: ", idleConnector);
    line("  DevTools:  ", idleDevTools);
    out << "in-page floor: " << QString::number(median(floor), 'f', 1) << " ms\n"
        << "Connector scan/floor ratio: " << ratio(viaConnector) << " (changed), "
        << ratio(idleConnector) << " (unchanged)\n"
        << "DevTools scan/floor ratio:  " << ratio(viaDevTools) << " (changed), "
        << ratio(idleDevTools) << " (unchanged)\n";
    return 0;
}
