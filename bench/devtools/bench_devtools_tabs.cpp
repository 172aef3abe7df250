// Idle scans of 1, 10, 50 and 100 tabs of 2,000 elements / 200 links each in a
// headless Chromium, 10 ticked rules per list matching nothing: what one scan
// costs per tab as the tabs add up, and whether memory stays flat.

#include "browserbench.h"
#include "chromium.h"
#include "devtoolsbrowser.h"

#include <QCoreApplication>
#include <QTest>
#include <QTextStream>

#include <unistd.h>

using namespace pressbird;
using namespace pressbird::testing;
using namespace pressbird::bench;

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    HeadlessChromium chromium;
    if (chromiumBinary().isEmpty() || !chromium.start()) {
        out << "bench_devtools_tabs: no headless chromium, skipped\n";
        return 0;
    }
    chromium.closeAllPages();

    DevToolsBrowser browser({}, [&] { return QList<Endpoint>{chromium.endpoint()}; });
    IdleScan idle;
    ScanEngine engine = idle.engineFor(browser);
    const auto scan = [&] { awaitOnLoop(bothPasses(engine)); };

    // The floor of one tab: the whole walk as one evaluation in its page.
    // Every tab: the benchmark page at 2,000 elements, 200 of them links.
    const QString tabPage = pageUrl(u"scanpage.html"_qs) + u"?links=200&elements=2000"_qs;
    const QString first = chromium.openTab(tabPage);
    const Phase floor = measure(
        chromium.pid(), 50, [] {}, [&] { chromium.evaluate(first, kFloorScript); });
    out << "one tab's in-page floor: " << QString::number(floor.wallMs, 'f', 2) << " ms wall, "
        << QString::number(floor.browserCpuMs, 'f', 2) << " ms browser CPU\n";
    out << "browser CPU below: beyond what the browser burns idle with as many tabs\n"
        << "tabs | first scan | unchanged scan: wall | Pressbird CPU | browser CPU | per tab | "
           "RSS (after warming up)\n";

    int open = 1;
    QList<std::pair<int, double>> browserPerScan; // tabs, browser CPU of an unchanged scan
    double memoryGrowthMb = 0;
    for (const int tabs : {1, 10, 50, 100}) {
        for (; open < tabs; ++open)
            chromium.openTab(tabPage);
        QElapsedTimer firstScan;
        firstScan.start();
        scan(); // reads every tab afresh
        const double firstMs = firstScan.nsecsElapsed() / 1e6;
        // PRESSBIRD_BENCH_SCANS shortens the runs (for a build that reads every tab every scan).
        const int runs = qEnvironmentVariableIntValue("PRESSBIRD_BENCH_SCANS") > 10
                             ? qEnvironmentVariableIntValue("PRESSBIRD_BENCH_SCANS")
                         : tabs >= 50 ? 1000
                                      : 100;
        // Memory after each third of the runs: flat, or growing with every scan.
        measure(
            chromium.pid(), runs / 10, [] {}, scan);
        const double rssWarm = residentMb();
        QList<double> rss;
        Phase unchanged;
        for (int third = 0; third < 3; ++third) {
            unchanged = measure(
                chromium.pid(), (runs - runs / 10) / 3, [] {}, scan);
            rss.append(residentMb());
        }
        const double rssAfter = rss.constLast();
        // What the browser burns anyway with that many tabs open, idle.
        const BrowserCpu idleCpu(chromium.pid());
        QElapsedTimer idle;
        idle.start();
        QTest::qWait(3000);
        const double idleRate = idleCpu.elapsedMs() / idle.elapsed();
        unchanged.browserCpuMs -= idleRate * unchanged.wallMs;
        const double perTab = unchanged.browserCpuMs / tabs;
        browserPerScan.append({tabs, unchanged.browserCpuMs});
        memoryGrowthMb = std::max(memoryGrowthMb, rssAfter - rssWarm);
        out << QString::number(tabs).rightJustified(4) << " | "
            << QString::number(firstMs, 'f', 1).rightJustified(7) << " ms | "
            << QString::number(unchanged.wallMs, 'f', 2).rightJustified(7) << " ms | "
            << QString::number(unchanged.cpuMs, 'f', 2).rightJustified(7) << " ms | "
            << QString::number(unchanged.browserCpuMs, 'f', 2).rightJustified(7) << " ms | "
            << QString::number(perTab, 'f', 3) << " ms | " << QString::number(rssWarm, 'f', 1)
            << " MB, after each third of " << runs - runs / 10 << " more scans "
            << QString::number(rss.at(0), 'f', 1) << ", " << QString::number(rss.at(1), 'f', 1)
            << ", " << QString::number(rss.at(2), 'f', 1) << " MB\n";
        out.flush();
    }
    // What each tab adds, beyond what a scan costs however few the tabs.
    const auto [fewTabs, fewMs] = browserPerScan.constFirst();
    const auto [manyTabs, manyMs] = browserPerScan.constLast();
    const double marginal = (manyMs - fewMs) / (manyTabs - fewTabs);
    out << "browser CPU each unchanged tab adds to a scan: " << QString::number(marginal, 'f', 2)
        << " ms (one tab's floor " << QString::number(floor.browserCpuMs, 'f', 2) << " ms)\n"
        << "memory over the last scans: +" << QString::number(memoryGrowthMb, 'f', 1) << " MB\n"
        << "scan/floor ratio: " << QString::number(marginal / floor.browserCpuMs, 'f', 2) << "\n";
    return 0;
}
