// The engine's own floor: one full scan (link pass, then button pass) of a
// simulated page of 10,001 elements of which 1,001 are links, with 10 ticked
// rules in each list that match nothing. The browser costs nothing here, so
// the figure is what the scan itself spends per element.

#include "clock.h"
#include "memoryrulelist.h"
#include "ruleentry.h"
#include "scanengine.h"
#include "simulatedbrowser.h"
#include "waitseconds.h"
#include "yielder.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTextStream>

#include <algorithm>
#include <vector>

using namespace pressbird;

namespace {
Task<> scanOnce(ScanEngine &engine) {
    co_await engine.ClickLinks();
    co_await engine.PushButtons();
}

// One scan on the event loop, as the program runs it: suspended at its
// yields and resumed by the loop.
void runScan(ScanEngine &engine) {
    QEventLoop loop;
    Task<> scan = scanOnce(engine);
    scan.start([&loop] { loop.quit(); });
    if (!scan.done())
        loop.exec();
}
} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);

    constexpr int kLinks = 1001;
    constexpr int kElements = 10001;
    constexpr int kRules = 10;
    constexpr int kRuns = 20;

    auto page = std::make_shared<SimulatedPage>();
    for (int i = 0; i < kLinks; ++i)
        page->addLink(QStringLiteral("Link number %1").arg(i));
    for (int i = kLinks; i < kElements; ++i) {
        if (i % 3 == 0)
            page->addInput(QStringLiteral("Button %1").arg(i));
        else
            page->addElement(QStringLiteral("DIV"), QStringLiteral("text %1").arg(i));
    }
    SimulatedBrowser browser;
    browser.addWindow(page);

    MemoryRuleList listClick;
    MemoryRuleList listPush;
    const QStringList kinds = buttonKindCaptions();
    for (int r = 0; r < kRules; ++r) {
        listClick.appendTicked(MakeEntryText(QStringLiteral("nothing-%1").arg(r), kinds.at(r % 4)));
        listPush.appendTicked(MakeEntryText(QStringLiteral("nothing-%1").arg(r), kinds.at(r % 4)));
    }

    EventLoopYielder yielder;
    SystemClock clock;
    Pause pause(clock, yielder);
    ScanEngine engine(browser, listClick, listPush, yielder, pause);

    // Baseline measured in the same run: one bare pass through the event loop
    // per element examined, what a scan that yields naively would pay for the
    // yields alone.
    QElapsedTimer timer;
    std::vector<qint64> yieldNs;
    for (int run = 0; run < kRuns; ++run) {
        timer.start();
        for (int i = 0; i < kElements + kLinks; ++i)
            QCoreApplication::processEvents();
        yieldNs.push_back(timer.nsecsElapsed());
    }

    std::vector<qint64> scanNs;
    for (int run = 0; run < kRuns; ++run) {
        timer.start();
        runScan(engine);
        scanNs.push_back(timer.nsecsElapsed());
    }
    std::sort(scanNs.begin(), scanNs.end());
    std::sort(yieldNs.begin(), yieldNs.end());
    const double scanMs = scanNs[kRuns / 2] / 1e6;
    const double yieldMs = yieldNs[kRuns / 2] / 1e6;
    const int examined = kLinks + kElements;

    out << "engine scan of " << kElements << " elements / " << kLinks << " links, " << kRules
        << " ticked rules matching nothing (median of " << kRuns << " runs)\n";
    out << "  scan: " << QString::number(scanMs, 'f', 2) << " ms, "
        << QString::number(scanMs * 1e3 / examined, 'f', 3) << " us per element examined\n";
    out << "  baseline (one bare processEvents per element): " << QString::number(yieldMs, 'f', 2)
        << " ms\n";
    out << "scan/processEvents-baseline ratio: " << QString::number(scanMs / yieldMs, 'f', 2)
        << "\n";
    return 0;
}
