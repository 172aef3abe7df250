// One full scan (link pass, then button pass) of a page of 10,001 elements
// with 1,001 links in a headless Chromium, 10 ticked rules per list that match
// nothing, against the floor: one in-page evaluation doing the same walk.

#include "browserbench.h"
#include "clock.h"
#include "devtoolsbrowser.h"
#include "headlesschromium.h"
#include "memoryrulelist.h"
#include "ruleentry.h"
#include "scanengine.h"
#include "simulatedbrowser.h"
#include "waitseconds.h"
#include "yielder.h"

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
Task<> bothPasses(ScanEngine &engine) {
    co_await engine.ClickLinks();
    co_await engine.PushButtons();
}
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
    ScanEngine engine(browser, listClick, listPush, yielder, pause);

    constexpr int kRuns = 15;
    QList<double> wall, cpu, browserCpu, floor;
    qint64 roundTrips = 0;
    qint64 commands = 0;
    scan(engine); // attaches and creates the isolated world once
    for (int run = 0; run < kRuns; ++run) {
        const DevToolsStats before = browser.stats();
        const double cpuBefore = processCpuMs();
        const double browserBefore = browserCpuMs(chromium.pid());
        QElapsedTimer timer;
        timer.start();
        scan(engine);
        wall.append(timer.nsecsElapsed() / 1e6);
        cpu.append(processCpuMs() - cpuBefore);
        browserCpu.append(browserCpuMs(chromium.pid()) - browserBefore);
        roundTrips = browser.stats().waits - before.waits;
        commands = browser.stats().commands - before.commands;

        timer.start();
        chromium.evaluate(tab, kFloorScript);
        floor.append(timer.nsecsElapsed() / 1e6);
    }
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
    ScanEngine memoryEngine(simulated, listClick, listPush, yielder, pause);
    QList<double> engineOnly;
    for (int run = 0; run < kRuns; ++run) {
        QElapsedTimer timer;
        timer.start();
        scan(memoryEngine);
        engineOnly.append(timer.nsecsElapsed() / 1e6);
    }

    const double ratio = median(wall) / median(floor);
    out << "one full idle scan, median of " << kRuns << " runs:\n"
        << "  (a) wall time:           " << QString::number(median(wall), 'f', 1) << " ms\n"
        << "  (b) Pressbird CPU:       " << QString::number(median(cpu), 'f', 1) << " ms\n"
        << "  (c) round trips:         " << roundTrips << " (" << commands << " commands)\n"
        << "  (d) in-page floor:       " << QString::number(median(floor), 'f', 1)
        << " ms\n"
        // /proc counts CPU in 10 ms ticks: the mean over every run resolves finer.
        << "  browser CPU per scan:    "
        << QString::number(std::accumulate(browserCpu.cbegin(), browserCpu.cend(), 0.0) / kRuns,
                           'f', 1)
        << " ms (mean)\n"
        << "  engine alone, in memory: " << QString::number(median(engineOnly), 'f', 1) << " ms\n"
        << "scan/floor ratio: " << QString::number(ratio, 'f', 2) << "\n";
    return 0;
}
