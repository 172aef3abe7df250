// Unchanged scans of 1, 10, 50 and 100 tabs of 2,000 elements / 200 links
// each in one headless Chromium, 10 ticked rules per list matching nothing,
// each scan asking every tab as one at the timer's interval would,
// through the Pressbird Connector and, on the same tabs in the same run, over
// the DevTools protocol: what each unchanged tab adds to a scan, against one
// tab's in-page floor.

#include "awaitonloop.h"
#include "browserbench.h"
#include "connectorchromium.h"
#include "devtoolsbrowser.h"
#include "pagedocument.h"

#include <QCoreApplication>
#include <QTextStream>

using namespace pressbird;
using namespace pressbird::testing;
using namespace pressbird::bench;

namespace {

// Scans a second apart, as the timer's come seconds apart (a page that
// tells of no change is not asked, however far apart; one that does not is
// asked once its answer is a second old): the median wall time, the mean
// CPU of Pressbird and of the browser beyond what it burns idle with as
// many tabs.
Phase unchangedScans(HeadlessChromium &chromium, ScanEngine &engine, int runs) {
    const auto scan = [&] { awaitOnLoop(bothPasses(engine)); };
    scan(); // reads every tab afresh
    const BrowserCpu idleCpu(chromium.pid());
    QElapsedTimer idle;
    idle.start();
    QTest::qWait(5000);
    const double idlePerMs = idleCpu.elapsedMs() / idle.elapsed();

    QList<double> wall;
    const BrowserCpu browserCpu(chromium.pid());
    double cpu = 0;
    QElapsedTimer all;
    all.start();
    for (int run = 0; run < runs; ++run) {
        QTest::qWait(PageDocument::kConfirmMs + 100);
        const double cpuBefore = processCpuMs();
        QElapsedTimer timer;
        timer.start();
        scan();
        wall.append(timer.nsecsElapsed() / 1e6);
        cpu += processCpuMs() - cpuBefore;
    }
    const double browser = browserCpu.elapsedMs() - idlePerMs * all.elapsed();
    return {median(wall), cpu / runs, browser / runs};
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    ConnectorChromium set;
    if (const std::optional<int> status = set.start(out, "bench_connector_tabs"))
        return *status;
    HeadlessChromium &chromium = set.chromium;
    chromium.closeAllPages();

    IdleScan idle;
    ScanEngine overConnector = idle.engineFor(*set.connector);
    const Endpoint endpoint = chromium.endpoint();
    DevToolsBrowser devtools({}, [endpoint] { return QList<Endpoint>{endpoint}; });
    ScanEngine overDevTools = idle.engineFor(devtools);

    const QString tabPage = pageUrl(u"scanpage.html"_qs) + u"?links=200&elements=2000"_qs;
    const QString first = chromium.openTab(tabPage);
    const Phase floor = measure(
        chromium.pid(), 50, [] {}, [&] { chromium.evaluate(first, kFloorScript); });
    out << "one tab's in-page floor: " << QString::number(floor.browserCpuMs, 'f', 2)
        << " ms browser CPU\n"
        << "unchanged scans a second apart, browser CPU beyond the idle browser's (host "
           "included), mean of 20:\n"
        << "tabs | Connector: wall | Pressbird CPU | browser CPU | per tab "
           "|| DevTools: wall | Pressbird CPU | browser CPU | per tab || Pressbird's RSS\n";

    int open = 1;
    QList<std::pair<int, std::pair<double, double>>> perScan; // tabs, Connector's, DevTools'
    for (const int tabs : {1, 10, 50, 100}) {
        for (; open < tabs; ++open)
            chromium.openTab(tabPage);
        constexpr int runs = 20;
        const Phase connector = unchangedScans(chromium, overConnector, runs);
        const Phase direct = unchangedScans(chromium, overDevTools, runs);
        perScan.append({tabs, {connector.browserCpuMs, direct.browserCpuMs}});
        const auto cells = [tabs](const Phase &phase) {
            return QString::number(phase.wallMs, 'f', 2).rightJustified(7) + u" ms | "_qs +
                   QString::number(phase.cpuMs, 'f', 2).rightJustified(7) + u" ms | "_qs +
                   QString::number(phase.browserCpuMs, 'f', 2).rightJustified(7) + u" ms | "_qs +
                   QString::number(phase.browserCpuMs / tabs, 'f', 3) + u" ms"_qs;
        };
        out << QString::number(tabs).rightJustified(4) << " | " << cells(connector) << " || "
            << cells(direct) << " || " << QString::number(residentMb(), 'f', 1) << " MB\n";
        out.flush();
    }
    // Memory over a thousand more scans of the hundred tabs, back to back.
    const double rssBefore = residentMb();
    for (int run = 0; run < 1000; ++run)
        awaitOnLoop(bothPasses(overConnector));
    const double rssAfter = residentMb();
    out << "Pressbird's RSS over 1,000 more Connector scans of " << open
        << " tabs: " << QString::number(rssBefore, 'f', 1) << " -> "
        << QString::number(rssAfter, 'f', 1) << " MB\n";
    // What each tab adds, beyond what a scan costs however few the tabs
    // (from ten: one tab's few milliseconds are within the idle browser's noise).
    const auto [fewTabs, few] = perScan.at(1);
    const auto [manyTabs, many] = perScan.constLast();
    const double connectorTab = (many.first - few.first) / (manyTabs - fewTabs);
    const double devtoolsTab = (many.second - few.second) / (manyTabs - fewTabs);
    out << "browser CPU each unchanged tab adds to a scan: Connector "
        << QString::number(connectorTab, 'f', 3) << " ms, DevTools "
        << QString::number(devtoolsTab, 'f', 3) << " ms\n"
        << "tab/floor ratio: Connector "
        << QString::number(connectorTab / floor.browserCpuMs, 'f', 2) << ", DevTools "
        << QString::number(devtoolsTab / floor.browserCpuMs, 'f', 2) << "\n";
    return 0;
}
