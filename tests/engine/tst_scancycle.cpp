#include "clock.h"
#include "scancycle.h"
#include "scanfixture.h"
#include "scantimer.h"

#include <QElapsedTimer>
#include <QTest>

using namespace pressbird;
using namespace pressbird::testing;

// The cycle runs on the real event loop here: the timer's own behaviour is
// what is under test. Intervals are short, and only lower bounds are checked.
class TestScanCycle : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void tick_runsLinkPassBeforeButtonPass_withTimerOff();
    void ticksNeverNest_evenWhenTheScanYieldsForLong();
    void nextTick_comesOneIntervalAfterTheScanEnds();
    void intervalZero_neverFires();
    void intervalChangedDuringScan_appliesAfterIt();
    void stopDuringScan_cancelsItAndTimerStaysOff();
    void ticksWhileSuspendedOnSlowBrowser_neverStartASecondScan();
};

namespace {

struct RealLoopScan {
    SimulatedBrowser browser;
    MemoryRuleList listClick;
    MemoryRuleList listPush;
    SystemClock clock;
    EventLoopYielder yielder;
    Pause pause{clock, yielder};
    ScanEngine engine{browser, listClick, listPush, yielder, pause};
    ScanTimer timer;
    ScanCycle cycle{engine, yielder, timer};
};

} // namespace

void TestScanCycle::tick_runsLinkPassBeforeButtonPass_withTimerOff() {
    RealLoopScan s;
    auto page = std::make_shared<SimulatedPage>();
    page->addLink(u"a"_qs);
    s.browser.addWindow(page);
    QStringList order;
    bool timerSeenOn = false;
    s.browser.trace = [&](const SimulatedCallInfo &info) {
        timerSeenOn |= s.cycle.Timer1().isEnabled();
        if (info.call == SimulatedCall::Length)
            order.append(info.collection == Collection::Links ? u"links"_qs : u"all"_qs);
    };
    s.cycle.Timer1().setInterval(1000);
    s.cycle.Timer1().setEnabled(true);

    s.cycle.Timer1_Timer();
    QTRY_VERIFY(!s.cycle.isScanning());

    QCOMPARE(order, (QStringList{u"links"_qs, u"all"_qs}));
    QVERIFY(!timerSeenOn);
    QVERIFY(s.cycle.Timer1().isEnabled());
}

void TestScanCycle::ticksNeverNest_evenWhenTheScanYieldsForLong() {
    RealLoopScan s;
    auto page = std::make_shared<SimulatedPage>();
    for (int i = 0; i < 3000; ++i)
        page->addLink(u"x"_qs);
    s.browser.addWindow(page);
    s.listClick.appendTicked(rule(u"nothing"_qs, u"Contains"_qs));
    int depth = 0, maxDepth = 0, scans = 0;
    connect(&s.cycle, &ScanCycle::scanStarted, this, [&] { maxDepth = qMax(maxDepth, ++depth); });
    connect(&s.cycle, &ScanCycle::scanFinished, this, [&] {
        --depth;
        ++scans;
    });
    s.cycle.Timer1().setInterval(1);
    s.cycle.Timer1().setEnabled(true);

    QTRY_VERIFY_WITH_TIMEOUT(scans >= 3, 20000);
    QCOMPARE(maxDepth, 1);
}

void TestScanCycle::nextTick_comesOneIntervalAfterTheScanEnds() {
    RealLoopScan s;
    QElapsedTimer sinceEnd;
    qint64 shortestGap = -1;
    int scans = 0;
    connect(&s.cycle, &ScanCycle::scanStarted, this, [&] {
        if (sinceEnd.isValid())
            shortestGap =
                shortestGap < 0 ? sinceEnd.elapsed() : qMin(shortestGap, sinceEnd.elapsed());
        QTest::qWait(150); // a scan that takes longer than the interval
    });
    connect(&s.cycle, &ScanCycle::scanFinished, this, [&] {
        ++scans;
        sinceEnd.start();
    });
    s.cycle.Timer1().setInterval(100);
    s.cycle.Timer1().setEnabled(true);

    QTRY_VERIFY_WITH_TIMEOUT(scans >= 3, 20000);
    QVERIFY2(shortestGap >= 95, qPrintable(QString::number(shortestGap)));
}

void TestScanCycle::intervalZero_neverFires() {
    RealLoopScan s;
    int scans = 0;
    connect(&s.cycle, &ScanCycle::scanStarted, this, [&] { ++scans; });
    s.cycle.Timer1().setInterval(5);
    s.cycle.Timer1().setEnabled(true);
    QTRY_VERIFY(scans > 0);

    QVERIFY(s.cycle.Timer1().setInterval(0));
    const int before = scans;
    QTest::qWait(200);
    QCOMPARE(scans, before);
    QVERIFY(s.cycle.Timer1().isEnabled());

    QVERIFY(!s.cycle.Timer1().setInterval(65536));
    QVERIFY(!s.cycle.Timer1().setInterval(-1));
    QCOMPARE(s.cycle.Timer1().interval(), 0);
}

void TestScanCycle::intervalChangedDuringScan_appliesAfterIt() {
    RealLoopScan s;
    connect(&s.cycle, &ScanCycle::scanStarted, this, [&] {
        s.cycle.Timer1().setInterval(0);
        QVERIFY(!s.cycle.Timer1().isEnabled());
    });
    s.cycle.Timer1().setInterval(1000);
    s.cycle.Timer1().setEnabled(true);

    s.cycle.Timer1_Timer();
    QTRY_VERIFY(!s.cycle.isScanning());

    QVERIFY(s.cycle.Timer1().isEnabled());
    QCOMPARE(s.cycle.Timer1().interval(), 0);
}

// What Exit does: the scan waiting on a slow browser is cancelled there, and
// no tick runs again.
void TestScanCycle::stopDuringScan_cancelsItAndTimerStaysOff() {
    RealLoopScan s;
    auto page = std::make_shared<SimulatedPage>();
    auto link = page->addLink(u"Go"_qs);
    s.browser.addWindow(page);
    s.listClick.appendTicked(rule(u"Go"_qs, u"Exact Match"_qs));
    bool clickAnswered = false;
    s.browser.answerDelayMs = [&](const SimulatedCallInfo &info) {
        clickAnswered |= info.call == SimulatedCall::Click;
        return info.call == SimulatedCall::OuterText ? 200 : 0;
    };
    int finished = 0;
    connect(&s.cycle, &ScanCycle::scanFinished, this, [&] { ++finished; });
    s.cycle.Timer1().setInterval(1);
    s.cycle.Timer1().setEnabled(true);
    QTRY_VERIFY(s.cycle.isScanning());

    s.cycle.stop();
    QVERIFY(!s.cycle.isScanning());
    QVERIFY(!s.cycle.Timer1().isEnabled());
    s.cycle.Timer1_Timer();
    QTest::qWait(500);

    QVERIFY(!s.cycle.isScanning());
    QVERIFY(!s.cycle.Timer1().isEnabled());
    QCOMPARE(finished, 0);
    QCOMPARE(link->clicks, 0);
    QVERIFY(!clickAnswered);
}

void TestScanCycle::ticksWhileSuspendedOnSlowBrowser_neverStartASecondScan() {
    RealLoopScan s;
    auto page = std::make_shared<SimulatedPage>();
    page->addLink(u"x"_qs);
    s.browser.addWindow(page);
    s.listClick.appendTicked(rule(u"nothing"_qs, u"Contains"_qs));
    s.browser.answerDelayMs = [](const SimulatedCallInfo &info) {
        return info.call == SimulatedCall::Length ? 100 : 0;
    };
    int started = 0, finished = 0;
    connect(&s.cycle, &ScanCycle::scanStarted, this, [&] { ++started; });
    connect(&s.cycle, &ScanCycle::scanFinished, this, [&] { ++finished; });

    s.cycle.Timer1_Timer();
    QVERIFY(s.cycle.isScanning());
    for (int i = 0; i < 50; ++i) {
        s.cycle.Timer1_Timer();
        QTest::qWait(2);
    }
    QCOMPARE(started, 1);
    QTRY_COMPARE(finished, 1);
    QCOMPARE(started, 1);
}

QTEST_GUILESS_MAIN(TestScanCycle)
#include "tst_scancycle.moc"
