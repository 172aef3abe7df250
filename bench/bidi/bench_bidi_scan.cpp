// bench_devtools_scan's counterpart for Firefox over WebDriver BiDi: one full
// idle scan of 10,001 elements / 1,001 links, 10 ticked rules per list that
// match nothing, against the in-page floor, in the same run.

#include "awaitonloop.h"
#include "bidibrowser.h"
#include "bidiconnection.h"
#include "browserbench.h"
#include "firefox.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QTextStream>

#include <numeric>

using namespace pressbird;
using namespace pressbird::bench;
using namespace pressbird::testing;

namespace {

// The floor through a session of its own (Firefox admits one at a time).
Task<QList<double>> floorRuns(BidiEndpoint endpoint, int runs) {
    auto connection = std::make_shared<BidiConnection>(endpoint, BidiTimeouts{1000, 30000});
    QList<double> times;
    const bool opened = co_await connection->open();
    if (!opened)
        co_return times;
    const QJsonObject topLevel{{u"maxDepth"_qs, 0}};
    const BidiReply tree = co_await connection->call(u"browsingContext.getTree"_qs, topLevel);
    const QString context =
        tree.result.value(u"contexts").toArray().at(0).toObject().value(u"context").toString();
    const QJsonObject params{{u"expression"_qs, kFloorScript},
                             {u"target"_qs, QJsonObject{{u"context"_qs, context}}},
                             {u"awaitPromise"_qs, false},
                             {u"resultOwnership"_qs, u"none"_qs}};
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        co_await connection->call(u"script.evaluate"_qs, params, context);
        times.append(timer.nsecsElapsed() / 1e6);
    }
    co_await connection->endSession();
    co_return times;
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
    constexpr int kRuns = 20;
    IdleScan idle;
    Phase changed, unchanged;
    {
        BidiBrowser browser({1000, 10000}, [&] { return QList<BidiEndpoint>{firefox.endpoint()}; });
        ScanEngine engine = idle.engineFor(browser);
        QTest::qWait(2000);              // the page loads
        awaitOnLoop(bothPasses(engine)); // the session and the sandbox, once
        const auto scan = [&] { awaitOnLoop(bothPasses(engine)); };
        // The page changes by its own script: its button, pressed between scans.
        const auto touchPage = [&] {
            std::unique_ptr<ShellWindows> windows = awaitOnLoop(browser.createShellWindows());
            std::unique_ptr<BrowserWindow> window = awaitOnLoop(windows->next());
            std::unique_ptr<Document> document = awaitOnLoop(window->document());
            for (int index = 0; document && index < 10; ++index) {
                if (awaitOnLoop(document->tagName(Collection::All, index)) == u"BUTTON") {
                    awaitOnLoop(document->click(Collection::All, index));
                    return;
                }
            }
            qFatal("bench_bidi_scan: the page has no button to touch");
        };
        changed = measure(firefox.pid(), kRuns, touchPage, scan);
        unchanged = measure(
            firefox.pid(), kRuns, [] {}, scan);
        awaitOnLoop(browser.release());
    }
    const QList<double> floor = awaitOnLoop(floorRuns(firefox.endpoint(), kRuns));
    if (floor.isEmpty()) {
        out << "bench_bidi_scan: the floor's session was refused\n";
        return 1;
    }
    out << "one full idle scan over WebDriver BiDi (Firefox ESR), " << kRuns << " runs each:\n"
        << "  in-page floor:       " << QString::number(median(floor), 'f', 1).rightJustified(7)
        << " ms wall\n";
    printPhase(out, "page changed:        ", changed);
    printPhase(out, "page unchanged:      ", unchanged);
    out << "scan/floor ratio, wall: page changed "
        << QString::number(changed.wallMs / median(floor), 'f', 2) << ", unchanged "
        << QString::number(unchanged.wallMs / median(floor), 'f', 2) << "\n";
    return 0;
}
