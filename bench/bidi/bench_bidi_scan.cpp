// bench_devtools_scan's counterpart for Firefox over WebDriver BiDi: one full
// idle scan of 10,001 elements / 1,001 links, 10 ticked rules per list that
// match nothing, against the in-page floor, in the same run. A changed page
// is one whose body got an attribute since the last run, made by an
// evaluation in the page's own world before it and not counted; the floor
// and the scan take turns, each on the page changed the same way.

#include "awaitonloop.h"
#include "bidibrowser.h"
#include "bidiconnection.h"
#include "browserbench.h"
#include "firefox.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QTest>
#include <QTextStream>

using namespace pressbird;
using namespace pressbird::bench;
using namespace pressbird::testing;

namespace {

// One evaluation in the tab's own world, through a connection's session.
QJsonObject evaluation(const QString &context, const QString &expression) {
    return {{u"expression"_qs, expression},
            {u"target"_qs, QJsonObject{{u"context"_qs, context}}},
            {u"awaitPromise"_qs, false},
            {u"resultOwnership"_qs, u"none"_qs}};
}

QString firstTab(BidiConnection &connection) {
    const QJsonObject topLevel{{u"maxDepth"_qs, 0}};
    const BidiReply tree = awaitOnLoop(connection.call(u"browsingContext.getTree"_qs, topLevel));
    return tree.result.value(u"contexts").toArray().at(0).toObject().value(u"context").toString();
}

// The page's change between runs: one attribute of its body.
struct Touch {
    std::shared_ptr<BidiConnection> connection;
    QString tab;
    int generation = 0;
    void operator()() {
        awaitOnLoop(connection->call(
            u"script.evaluate"_qs,
            evaluation(tab, u"document.body.dataset.scan = '%1'"_qs.arg(++generation)), tab));
        QTest::qWait(5); // the page's word of it comes by message
    }
};

// Idle browser CPU per millisecond, to take out of each run's.
double idleCpuPerMs(qint64 pid) {
    const BrowserCpu browserCpu(pid);
    QElapsedTimer timer;
    timer.start();
    QTest::qWait(3000);
    return browserCpu.elapsedMs() / double(timer.elapsed());
}

// Runs of the floor and of the scan taken in turns, each after `prepare`,
// so that both meet the browser in the same state: mean browser CPU beyond
// the idle browser's, and median wall.
struct Paired {
    Phase floor;
    Phase scan;
};
template<typename Prepare, typename Floor, typename Scan>
Paired paired(qint64 pid, int runs, double idlePerMs, Prepare prepare, Floor floor, Scan scan) {
    QList<double> floorWall, scanWall;
    double floorCpu = 0, scanCpu = 0, floorOwn = 0, scanOwn = 0;
    const auto once = [&](const auto &step, QList<double> &wall, double &cpu, double &own) {
        prepare();
        const BrowserCpu browserCpu(pid);
        const double ownBefore = processCpuMs();
        QElapsedTimer timer;
        timer.start();
        step();
        const double ms = timer.nsecsElapsed() / 1e6;
        own += processCpuMs() - ownBefore;
        wall.append(ms);
        cpu += browserCpu.elapsedMs() - idlePerMs * ms;
    };
    for (int run = 0; run < runs; ++run) {
        once(floor, floorWall, floorCpu, floorOwn);
        once(scan, scanWall, scanCpu, scanOwn);
    }
    return {{median(floorWall), floorOwn / runs, floorCpu / runs},
            {median(scanWall), scanOwn / runs, scanCpu / runs}};
}

QString ratio(double value, double floor) {
    return QString::number(value / floor, 'f', 2);
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    HeadlessFirefox firefox;
    const QString page = QUrl::fromLocalFile(QStringLiteral(PRESSBIRD_SCAN_PAGE)).toString();
    if (firefoxBinary().isEmpty() || !firefox.start(page)) {
        out << "bench_bidi_scan: no headless firefox, skipped\n";
        return 0;
    }
    // A hundred runs: an idle scan costs Firefox a fraction of a millisecond.
    constexpr int kRuns = 100;
    IdleScan idle;
    BidiBrowser browser({1000, 10000}, [&] { return QList<BidiEndpoint>{firefox.endpoint()}; });
    ScanEngine engine = idle.engineFor(browser);
    QTest::qWait(2000);              // the page loads
    awaitOnLoop(bothPasses(engine)); // the session and the sandbox, once
    // The floor and the page's change go through the scan's own session:
    // Firefox admits one.
    const std::shared_ptr<BidiConnection> connection = browser.connections().constFirst();
    const QString tab = firstTab(*connection);
    const auto floor = [&] {
        awaitOnLoop(connection->call(u"script.evaluate"_qs, evaluation(tab, kFloorScript), tab));
    };
    const auto scan = [&] { awaitOnLoop(bothPasses(engine)); };
    Touch touch{connection, tab};
    const double idlePerMs = idleCpuPerMs(firefox.pid());
    const Paired changed = paired(firefox.pid(), kRuns, idlePerMs, touch, floor, scan);
    const qint64 before = connection->calls();
    const Paired unchanged = paired(
        firefox.pid(), kRuns, idlePerMs, [] {}, floor, scan);
    // The floor's own evaluations are calls too.
    const double calls = double(connection->calls() - before - kRuns) / kRuns;
    awaitOnLoop(browser.release());

    out << "one full idle scan over WebDriver BiDi (Firefox ESR), " << kRuns
        << " runs each, floor and scan in turns (browser CPU beyond the idle browser's "
        << QString::number(idlePerMs * 1000, 'f', 1) << " ms a second):\n";
    printPhase(out, "floor, page changed:  ", changed.floor);
    printPhase(out, "floor, unchanged:     ", unchanged.floor);
    printPhase(out, "scan, page changed:   ", changed.scan);
    printPhase(out, "scan, unchanged:      ", unchanged.scan);
    out << "  unchanged page: " << calls << " calls per scan\n"
        << "scan/floor ratio, browser CPU (wall): page changed "
        << ratio(changed.scan.browserCpuMs, changed.floor.browserCpuMs) << " ("
        << ratio(changed.scan.wallMs, changed.floor.wallMs) << "), unchanged "
        << ratio(unchanged.scan.browserCpuMs, unchanged.floor.browserCpuMs) << " ("
        << ratio(unchanged.scan.wallMs, unchanged.floor.wallMs) << ")\n";
    return 0;
}
