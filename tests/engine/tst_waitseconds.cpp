#include "fakes.h"
#include "waitseconds.h"

#include <QTest>

using namespace pressbird;
using namespace pressbird::testing;

class TestWaitSeconds : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void roundsBothReadingsToWholeSeconds_data();
    void roundsBothReadingsToWholeSeconds();
    void zeroOrNegative_returnsWithoutYielding();
    void pauseAcrossMidnight_endsAboutNSecondsLater();
    void clockSetBack_doesNotLengthenThePause();
};

static double pauseLength(double startAt, std::int16_t n, int *sleeps = nullptr) {
    FakeClock clock;
    clock.now = startAt;
    FakeYielder yielder(&clock);
    Pause pause(clock, yielder);
    runToEnd(pause.WaitSeconds(n));
    if (sleeps)
        *sleeps = yielder.sleeps;
    return yielder.sleptMs / 1000.0;
}

void TestWaitSeconds::roundsBothReadingsToWholeSeconds_data() {
    QTest::addColumn<double>("startAt");
    QTest::addColumn<double>("expected");
    // Start second 100, ends at the first reading that rounds to 105.
    QTest::newRow("start rounds down") << 100.4 << 4.1;
    QTest::newRow("start rounds up") << 100.6 << 4.9;
    QTest::newRow("exact half goes to even (down)") << 100.5 << 4.0;
    QTest::newRow("exact half goes to even (up)") << 101.5 << 5.0;
}

void TestWaitSeconds::roundsBothReadingsToWholeSeconds() {
    QFETCH(double, startAt);
    QFETCH(double, expected);
    const double waited = pauseLength(startAt, 5);
    QVERIFY2(qAbs(waited - expected) <= 0.005, qPrintable(QString::number(waited)));
}

void TestWaitSeconds::zeroOrNegative_returnsWithoutYielding() {
    int yields = -1;
    pauseLength(100.2, 0, &yields);
    QCOMPARE(yields, 0);
    pauseLength(100.2, -3, &yields);
    QCOMPARE(yields, 0);
}

void TestWaitSeconds::pauseAcrossMidnight_endsAboutNSecondsLater() {
    // 86398.7 rounds to 86399; the day then starts again at 0.
    const double waited = pauseLength(86398.7, 5);
    QVERIFY2(waited >= 4.0 && waited <= 5.0, qPrintable(QString::number(waited)));
}

void TestWaitSeconds::clockSetBack_doesNotLengthenThePause() {
    FakeClock clock;
    clock.now = 5000.2;
    FakeYielder yielder(&clock);
    int calls = 0;
    yielder.onYield = [&] {
        if (++calls == 2)
            clock.now -= 3600; // a change of daylight-saving time mid-pause
    };
    Pause pause(clock, yielder);
    runToEnd(pause.WaitSeconds(5));
    const double waited = yielder.sleptMs / 1000.0;
    QVERIFY2(waited >= 4.0 && waited <= 5.1, qPrintable(QString::number(waited)));
}

QTEST_APPLESS_MAIN(TestWaitSeconds)
#include "tst_waitseconds.moc"
