// bench_today_chromium's counterpart for Firefox over WebDriver BiDi: one
// full idle scan of a page of 20,000 elements with 200 shadow hosts and five
// frames (two of another origin), today's walk against the in-page floor
// that walks the same shadow roots and frames, the classic walk against the
// classic floor, in the same run.

#include "bidibrowser.h"
#include "firefox.h"
#include "testpages.h"
#include "todaybench.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QTextStream>

using namespace pressbird;
using namespace pressbird::bench;
using namespace pressbird::testing;

namespace {

struct Floors {
    Floor today;
    Floor classic;
    Floor todayIsolated; // today's floor run in a sandbox, as any world of our own is
    bool reached = false;
};

QJsonObject evaluation(const QString &context, const QString &expression,
                       const QString &sandbox = {}) {
    QJsonObject target{{u"context"_qs, context}};
    if (!sandbox.isEmpty())
        target.insert(u"sandbox"_qs, sandbox);
    return {{u"expression"_qs, expression},
            {u"target"_qs, target},
            {u"awaitPromise"_qs, false},
            {u"resultOwnership"_qs, u"none"_qs}};
}

// The floors through a session of their own (Firefox admits one at a time),
// on the page whose frames are all of its origin, changed between runs as
// the scans' page is, and unchanged; then the tab goes on to the page the
// scans walk.
Floors floors(const BidiEndpoint &endpoint, qint64 pid, int runs, const QString &scanPage) {
    auto connection = std::make_shared<BidiConnection>(endpoint, BidiTimeouts{1000, 30000});
    Floors floors;
    if (!testing::awaitOnLoop(connection->open()))
        return floors;
    const QJsonObject topLevel{{u"maxDepth"_qs, 0}};
    const BidiReply tree =
        testing::awaitOnLoop(connection->call(u"browsingContext.getTree"_qs, topLevel));
    const QString context =
        tree.result.value(u"contexts").toArray().at(0).toObject().value(u"context").toString();
    const auto evaluate = [&](const QString &script, const QString &sandbox = {}) {
        testing::awaitOnLoop(
            connection->call(u"script.evaluate"_qs, evaluation(context, script, sandbox), context));
    };
    int generation = 0;
    const auto touch = [&] { evaluate(u"touch(%1)"_qs.arg(++generation)); };
    floors.today = measureFloor(pid, runs, touch, [&] { evaluate(kTodayFloorScript); });
    floors.classic = measureFloor(pid, runs, touch, [&] { evaluate(kFloorScript); });
    floors.todayIsolated =
        measureFloor(pid, runs, touch, [&] { evaluate(kTodayFloorScript, u"floor"_qs); });
    const QJsonObject navigate{
        {u"context"_qs, context}, {u"url"_qs, scanPage}, {u"wait"_qs, u"complete"_qs}};
    testing::awaitOnLoop(connection->call(u"browsingContext.navigate"_qs, navigate, context));
    testing::awaitOnLoop(connection->endSession());
    floors.reached = true;
    return floors;
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    PageServer pages;
    HeadlessFirefox firefox;
    if (firefoxBinary().isEmpty() || !pages.start() ||
        !firefox.start(pages.url(u"todaybench.html?floor"_qs))) {
        out << "bench_today_firefox: no headless firefox, skipped\n";
        return 0;
    }
    constexpr int kRuns = 40;
    QTest::qWait(3000); // the page and its frames load
    const Floors floor =
        floors(firefox.endpoint(), firefox.pid(), kRuns, pages.url(u"todaybench.html"_qs));
    if (!floor.reached) {
        out << "bench_today_firefox: the floor's session was refused\n";
        return 1;
    }
    QTest::qWait(2000);

    IdleScan idle;
    BidiBrowser browser({1000, 10000}, [&] { return QList<BidiEndpoint>{firefox.endpoint()}; });
    ScanEngine engine = idle.engineFor(browser);
    testing::awaitOnLoop(bothPasses(engine)); // the session, once
    int generation = 0;
    // The page's own script changes it and its frames, asked in its own world.
    const auto touch = [&] {
        const std::shared_ptr<BidiConnection> connection = browser.connections().constFirst();
        const QJsonObject topLevel{{u"maxDepth"_qs, 0}};
        const BidiReply tree =
            testing::awaitOnLoop(connection->call(u"browsingContext.getTree"_qs, topLevel));
        const QString context =
            tree.result.value(u"contexts").toArray().at(0).toObject().value(u"context").toString();
        testing::awaitOnLoop(
            connection->call(u"script.evaluate"_qs,
                             evaluation(context, u"touch(%1)"_qs.arg(++generation)), context));
    };
    TodayRow row{"BiDi", {}, {}, {}, {}};
    engine.setPageOptions({.today = true});
    row.todayChanged = measureScans(engine, firefox.pid(), kRuns, touch);
    row.todayUnchanged = measureScans(engine, firefox.pid(), kRuns, {});
    engine.setPageOptions({});
    row.classicChanged = measureScans(engine, firefox.pid(), kRuns, touch);
    row.classicUnchanged = measureScans(engine, firefox.pid(), kRuns, {});
    testing::awaitOnLoop(browser.release());
    out << "one full idle scan over WebDriver BiDi (Firefox ESR), " << kRuns << " runs each\n";
    printTodayRows(out, {row}, floor.today, floor.classic);
    // What isolation itself costs in Firefox: the floor's walk in a sandbox.
    const TodayFigures &isolated = floor.todayIsolated.changed;
    out << "  floor in a sandbox of its own: changed "
        << QString::number(isolated.browserCpuMs, 'f', 1) << " ms ("
        << QString::number(isolated.wallMs, 'f', 1) << "); today changed/that floor "
        << QString::number(row.todayChanged.browserCpuMs / isolated.browserCpuMs, 'f', 2) << "\n";
    return 0;
}
