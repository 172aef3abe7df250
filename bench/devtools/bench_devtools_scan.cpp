// One full scan (link pass, then button pass) of a page of 10,001 elements
// with 1,001 links in a headless Chromium, 10 ticked rules per list that match
// nothing, against the floor: one in-page evaluation doing the same walk.

#include "browserbench.h"
#include "chromium.h"
#include "devtoolsbrowser.h"
#include "simulatedbrowser.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QTextStream>

#include <algorithm>
#include <ctime>
#include <numeric>

using namespace pressbird;
using namespace pressbird::testing;
using namespace pressbird::bench;

namespace {

// Both passes, as one tick of the scan timer runs them, to the end on the event loop.
void scan(ScanEngine &engine) {
    awaitOnLoop(bothPasses(engine));
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    HeadlessChromium chromium;
    if (chromiumBinary().isEmpty() || !chromium.start()) {
        out << "bench_devtools_scan: no headless chromium, skipped\n";
        return 0;
    }
    chromium.closeAllPages();
    const QString tab = chromium.openTab(pageUrl(u"scanpage.html"_qs));
    out << "page: " << chromium.evaluate(tab, u"document.getElementsByTagName('*').length"_qs)
        << " elements, " << chromium.evaluate(tab, u"document.links.length"_qs) << " links\n";

    DevToolsBrowser browser({}, [&] { return QList<Endpoint>{chromium.endpoint()}; });
    IdleScan idle;
    ScanEngine engine = idle.engineFor(browser);

    constexpr int kRuns = 30;
    scan(engine); // attaches and creates the isolated world once
    const qint64 pid = chromium.pid();
    // The floor: the whole walk as one evaluation in the page.
    const Phase floor = measure(
        pid, kRuns, [] {}, [&] { chromium.evaluate(tab, kFloorScript); });
    // A page that changed since the last scan: everything is read again. The
    // change (one attribute) is made from the benchmark's own connection.
    int generation = 0;
    const auto touchPage = [&] {
        chromium.evaluate(tab, u"document.body.dataset.scan = '%1'"_qs.arg(++generation));
    };
    const Phase touchOnly = measure(
        pid, kRuns, [] {}, touchPage);
    Phase changed = measure(pid, kRuns, touchPage, [&] { scan(engine); });
    changed.browserCpuMs -= touchOnly.browserCpuMs;
    // A page that has not changed since the last scan.
    const DevToolsStats before = browser.stats();
    const Phase unchanged = measure(
        pid, kRuns, [] {}, [&] { scan(engine); });
    const qint64 roundTrips = (browser.stats().waits - before.waits) / kRuns;
    const qint64 commands = (browser.stats().commands - before.commands) / kRuns;

    // The engine's own share: the same scan over an in-memory copy of the page.
    auto page = std::make_shared<SimulatedPage>();
    for (int i = 0; i < 1001; ++i)
        page->addLink(u"Link number %1"_qs.arg(i));
    for (int i = 0; page->all().size() < 10001; ++i) {
        if (i % 3 == 0)
            page->addInput(u"Button %1"_qs.arg(i));
        else
            page->addElement(u"DIV"_qs, u"text %1"_qs.arg(i));
    }
    SimulatedBrowser simulated;
    simulated.addWindow(page);
    ScanEngine memoryEngine = idle.engineFor(simulated);
    QList<double> engineOnly;
    for (int run = 0; run < kRuns; ++run) {
        QElapsedTimer timer;
        timer.start();
        scan(memoryEngine);
        engineOnly.append(timer.nsecsElapsed() / 1e6);
    }

    out << "one full idle scan (both passes, 10 ticked rules per list matching nothing), " << kRuns
        << " runs each:\n";
    printPhase(out, "in-page floor:      ", floor);
    printPhase(out, "page changed:       ", changed);
    printPhase(out, "page unchanged:     ", unchanged);
    out << "  unchanged page: " << roundTrips << " round trips (" << commands << " commands)\n"
        << "  engine alone, in memory: " << QString::number(median(engineOnly), 'f', 1) << " ms\n"
        << "scan/floor ratio, wall (browser CPU): page changed "
        << QString::number(changed.wallMs / floor.wallMs, 'f', 2) << " ("
        << QString::number(changed.browserCpuMs / floor.browserCpuMs, 'f', 2) << "), unchanged "
        << QString::number(unchanged.wallMs / floor.wallMs, 'f', 2) << " ("
        << QString::number(unchanged.browserCpuMs / floor.browserCpuMs, 'f', 2) << ")\n";
    return 0;
}
