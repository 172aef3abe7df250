// bench_devtools_scan's counterpart for Firefox over WebDriver BiDi: one full
// idle scan of 10,001 elements / 1,001 links, 10 ticked rules per list that
// match nothing, against the in-page floor, in the same run. A changed page
// is one whose body got an attribute since the last scan, made by an
// evaluation in the page's own world before each run; the floor is measured
// on the page changed the same way, and the change's own cost is taken out
// of both.

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

struct Floors {
    Phase unchanged;
    Phase changed;
    bool reached = false;
};

// The floor through a session of its own (Firefox admits one at a time).
Floors floorRuns(const BidiEndpoint &endpoint, qint64 pid, int runs) {
    auto connection = std::make_shared<BidiConnection>(endpoint, BidiTimeouts{1000, 30000});
    Floors floors;
    if (!awaitOnLoop(connection->open()))
        return floors;
    const QString tab = firstTab(*connection);
    const auto floor = [&] {
        awaitOnLoop(connection->call(u"script.evaluate"_qs, evaluation(tab, kFloorScript), tab));
    };
    Touch touch{connection, tab};
    floors.unchanged = measure(
        pid, runs, [] {}, floor);
    const Phase touchOnly = measure(
        pid, runs, [] {}, touch);
    floors.changed = measure(pid, runs, touch, floor);
    floors.changed.browserCpuMs -= touchOnly.browserCpuMs;
    awaitOnLoop(connection->endSession());
    floors.reached = true;
    return floors;
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
    // Firefox counts its CPU in 10 ms ticks: forty runs resolve a quarter of a millisecond.
    constexpr int kRuns = 40;
    IdleScan idle;
    Phase changed, unchanged;
    qint64 calls = 0;
    {
        BidiBrowser browser({1000, 10000}, [&] { return QList<BidiEndpoint>{firefox.endpoint()}; });
        ScanEngine engine = idle.engineFor(browser);
        QTest::qWait(2000);              // the page loads
        awaitOnLoop(bothPasses(engine)); // the session and the sandbox, once
        const auto scan = [&] { awaitOnLoop(bothPasses(engine)); };
        const std::shared_ptr<BidiConnection> connection = browser.connections().constFirst();
        Touch touch{connection, firstTab(*connection)};
        const Phase touchOnly = measure(
            firefox.pid(), kRuns, [] {}, touch);
        changed = measure(firefox.pid(), kRuns, touch, scan);
        changed.browserCpuMs -= touchOnly.browserCpuMs;
        const qint64 before = connection->calls();
        unchanged = measure(
            firefox.pid(), kRuns, [] {}, scan);
        calls = connection->calls() - before;
        awaitOnLoop(browser.release());
    }
    const Floors floor = floorRuns(firefox.endpoint(), firefox.pid(), kRuns);
    if (!floor.reached) {
        out << "bench_bidi_scan: the floor's session was refused\n";
        return 1;
    }
    out << "one full idle scan over WebDriver BiDi (Firefox ESR), " << kRuns
        << " runs each (browser CPU without the change's own):\n";
    printPhase(out, "floor, page changed:  ", floor.changed);
    printPhase(out, "floor, unchanged:     ", floor.unchanged);
    printPhase(out, "scan, page changed:   ", changed);
    printPhase(out, "scan, unchanged:      ", unchanged);
    out << "  unchanged page: " << double(calls) / kRuns << " calls per scan\n"
        << "scan/floor ratio, browser CPU (wall): page changed "
        << ratio(changed.browserCpuMs, floor.changed.browserCpuMs) << " ("
        << ratio(changed.wallMs, floor.changed.wallMs) << "), unchanged "
        << ratio(unchanged.browserCpuMs, floor.unchanged.browserCpuMs) << " ("
        << ratio(unchanged.wallMs, floor.unchanged.wallMs) << ")\n";
    return 0;
}
