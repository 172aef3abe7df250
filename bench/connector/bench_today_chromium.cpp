// Today's walk in a headless Chromium, through the Pressbird Connector and
// over the DevTools protocol: one full idle scan (both passes, 10 ticked
// rules per list matching nothing) of a page of 20,000 elements with 200
// shadow hosts and five frames (two of another origin), on a page changed
// between scans and on one that is not; against the in-page floor, one
// evaluation walking the same shadow roots and frames. The classic walk of
// the same page, against the classic floor, in the same run.

#include "connectorchromium.h"
#include "devtoolsbrowser.h"
#include "testpages.h"
#include "todaybench.h"

#include <QCoreApplication>
#include <QTextStream>

using namespace pressbird;
using namespace pressbird::testing;
using namespace pressbird::bench;

namespace {

TodayRow rowOf(const char *backend, ScanEngine &engine, qint64 pid, int runs,
               const std::function<void()> &touch) {
    TodayRow row{backend, {}, {}, {}, {}};
    engine.setPageOptions({.today = true});
    row.todayChanged = measureScans(engine, pid, runs, touch);
    row.todayUnchanged = measureScans(engine, pid, runs, {});
    engine.setPageOptions({});
    row.classicChanged = measureScans(engine, pid, runs, touch);
    row.classicUnchanged = measureScans(engine, pid, runs, {});
    return row;
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    ConnectorChromium set;
    if (const std::optional<int> status = set.start(out, "bench_today_chromium"))
        return *status;
    HeadlessChromium &chromium = set.chromium;
    ConnectorBrowser &connector = *set.connector;
    PageServer pages;
    if (!pages.start()) {
        out << "bench_today_chromium: no page server\n";
        return 1;
    }
    constexpr int kRuns = 15;

    // The floor, on the page whose frames are all of its origin, changed
    // between runs as the scans' page is, and unchanged.
    chromium.closeAllPages();
    QString tab = chromium.openTab(pages.url(u"todaybench.html?floor"_qs));
    QTest::qWait(1000);
    out << "page: " << chromium.evaluate(tab, kTodayFloorScript)
        << " elements, shadow roots and frames included\n";
    int generation = 0;
    const auto touch = [&] { chromium.evaluate(tab, u"touch(%1)"_qs.arg(++generation)); };
    const auto floorOf = [&](const QString &script) {
        return measureFloor(chromium.pid(), kRuns, touch, [&] { chromium.evaluate(tab, script); });
    };
    const Floor todayFloor = floorOf(kTodayFloorScript);

    chromium.closeAllPages();
    tab = chromium.openTab(pages.url(u"todaybench.html"_qs));
    QTest::qWait(1000);
    const Floor classicFloor = floorOf(kFloorScript);

    IdleScan idle;
    ScanEngine overConnector = idle.engineFor(connector);
    const Endpoint endpoint = chromium.endpoint();
    DevToolsBrowser devtools({}, [endpoint] { return QList<Endpoint>{endpoint}; });
    ScanEngine overDevTools = idle.engineFor(devtools);
    const QList<TodayRow> rows{rowOf("Connector", overConnector, chromium.pid(), kRuns, touch),
                               rowOf("DevTools", overDevTools, chromium.pid(), kRuns, touch)};
    out << "one full idle scan, " << kRuns << " runs each\n";
    printTodayRows(out, rows, todayFloor, classicFloor);
    return 0;
}
