// One full scan (link pass, then button pass) of a page of 10,001 elements
// with 1,001 links in a headless Chromium, 10 ticked rules per list that match
// nothing, against the floor: one in-page evaluation doing the same walk.

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

namespace {

double processCpuMs() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

// CPU of the browser and every process below it, from /proc.
double browserCpuMs(qint64 root) {
    QHash<qint64, qint64> parent;
    QHash<qint64, double> ticks;
    QDirIterator it(u"/proc"_qs);
    while (it.hasNext()) {
        bool ok = false;
        const qint64 pid = QFileInfo(it.next()).fileName().toLongLong(&ok);
        QFile stat(it.filePath() + u"/stat"_qs);
        if (!ok || !stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() < 13)
            continue;
        parent.insert(pid, fields.at(1).toLongLong());
        ticks.insert(pid, fields.at(11).toDouble() + fields.at(12).toDouble());
    }
    double total = 0;
    for (auto entry = ticks.cbegin(); entry != ticks.cend(); ++entry) {
        for (qint64 pid = entry.key(); pid > 1; pid = parent.value(pid, 0)) {
            if (pid == root) {
                total += entry.value();
                break;
            }
        }
    }
    return total * 1000.0 / sysconf(_SC_CLK_TCK);
}

// Both passes, as one tick of the scan timer runs them, to the end on the event loop.
Task<> bothPasses(ScanEngine &engine) {
    co_await engine.ClickLinks();
    co_await engine.PushButtons();
}
void scan(ScanEngine &engine) {
    awaitOnLoop(bothPasses(engine));
}

double median(QList<double> values) {
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

// The same walk as the two passes, rules and caps included, in one evaluation.
const QString kFloorScript = uR"JS((() => {
  const rules = [];
  for (let r = 0; r < 10; ++r) rules.push('NOTHING-' + r);
  const test = (text) => { for (const r of rules) if (text && text.trim().toUpperCase().startsWith(r)) return true; return false; };
  let hits = 0;
  const links = document.links;
  for (let i = 0; i < links.length && i <= 1000; ++i) hits += test(links[i].outerText);
  const all = document.all;
  for (let i = 0; i < all.length && i <= 10000; ++i)
    if (all[i].tagName.toUpperCase() === 'INPUT') hits += test(all[i].value);
  return hits;
})())JS"_qs;

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
