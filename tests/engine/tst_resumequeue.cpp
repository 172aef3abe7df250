#include "async/notifier.h"
#include "async/task.h"
#include "async/together.h"
#include "yielder.h"

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

using namespace pressbird;

// The awaiters every suspension of a scan goes through, on the real loop.
class TestResumeQueue : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void busyYieldingCoroutine_letsTheLoopRunBetweenYields();
    void notifier_wakesWithTrue_timesOutWithFalse();
    void destroyedWhileWaiting_isNeverResumed();
    void together_startsEveryTaskBeforeAnyEnds_endsAfterTheLast_data();
    void together_startsEveryTaskBeforeAnyEnds_endsAfterTheLast();
    void together_destroyedWhileWaiting_destroysItsTasks();
};

namespace {
Task<> yieldFor(Yielder &yielder, int ms, int &yields) {
    QElapsedTimer busy;
    busy.start();
    while (busy.elapsed() < ms) {
        co_await yielder.yield();
        ++yields;
    }
}

// Waits ms (none: ends at once), noting its start and its end.
Task<> noted(int ms, QStringList &notes, int number) {
    notes.append(u"start %1"_qs.arg(number));
    if (ms > 0) {
        Notifier never;
        co_await never.wait(ms);
    }
    notes.append(u"end %1"_qs.arg(number));
}

Task<> notedAll(const QList<int> &delays, QStringList &notes) {
    std::vector<Task<>> tasks;
    for (int i = 0; i < delays.size(); ++i)
        tasks.push_back(noted(delays.at(i), notes, i + 1));
    co_await together(std::move(tasks));
    notes.append(u"together"_qs);
}

// Notes in its destructor that its frame went.
struct Gone {
    bool &gone;
    ~Gone() { gone = true; }
};
Task<> waitsLong(bool &gone, bool &resumed) {
    const Gone guard{gone};
    Notifier never;
    co_await never.wait(60000);
    resumed = true;
}

Task<> bothWaitLong(bool (&gone)[2], bool (&resumed)[2]) {
    std::vector<Task<>> waits;
    waits.push_back(waitsLong(gone[0], resumed[0]));
    waits.push_back(waitsLong(gone[1], resumed[1]));
    co_await together(std::move(waits));
}

Task<bool> waitOn(Notifier &notifier, int ms, bool &resumed) {
    const bool woken = co_await notifier.wait(ms);
    resumed = true;
    co_return woken;
}
} // namespace

// A coroutine that yields again as soon as it is resumed must not keep the
// loop to itself: other timers fire between its turns.
void TestResumeQueue::busyYieldingCoroutine_letsTheLoopRunBetweenYields() {
    EventLoopYielder yielder;
    int ticks = 0, yields = 0;
    QTimer other;
    connect(&other, &QTimer::timeout, this, [&] { ++ticks; });
    other.start(1);
    bool done = false;
    Task<> work = yieldFor(yielder, 200, yields);
    work.start([&] { done = true; });
    QTRY_VERIFY_WITH_TIMEOUT(done, 5000);
    // Generous: a loaded machine still turns the loop tens of times in 200 ms.
    QVERIFY2(ticks >= 20, qPrintable(QString::number(ticks)));
    QVERIFY(yields > 100);
}

void TestResumeQueue::notifier_wakesWithTrue_timesOutWithFalse() {
    Notifier notifier;
    bool resumed = false;
    Task<bool> woken = waitOn(notifier, 5000, resumed);
    woken.start();
    QVERIFY(!resumed);
    notifier.notify();
    QVERIFY(!resumed); // from the loop, never inside notify()
    QTRY_VERIFY(resumed);
    QVERIFY(woken.result());

    resumed = false;
    Task<bool> timedOut = waitOn(notifier, 20, resumed);
    timedOut.start();
    QTRY_VERIFY(resumed);
    QVERIFY(!timedOut.result());
}

void TestResumeQueue::destroyedWhileWaiting_isNeverResumed() {
    Notifier notifier;
    bool resumed = false;
    {
        Task<bool> waiting = waitOn(notifier, 20, resumed);
        waiting.start();
    } // destroyed where it waits
    notifier.notify();
    QTest::qWait(100);
    QVERIFY(!resumed);
    QVERIFY(!notifier.hasWaiters());
}

void TestResumeQueue::together_startsEveryTaskBeforeAnyEnds_endsAfterTheLast_data() {
    QTest::addColumn<QList<int>>("delays");
    QTest::addColumn<QStringList>("notes");
    QTest::newRow("none") << QList<int>{} << QStringList{u"together"_qs};
    QTest::newRow("each ends at once")
        << QList<int>{0, 0}
        << QStringList{u"start 1"_qs, u"end 1"_qs, u"start 2"_qs, u"end 2"_qs, u"together"_qs};
    QTest::newRow("the first ends last")
        << QList<int>{60, 10, 30}
        << QStringList{u"start 1"_qs, u"start 2"_qs, u"start 3"_qs, u"end 2"_qs,
                       u"end 3"_qs,   u"end 1"_qs,   u"together"_qs};
    QTest::newRow("one waits, one does not")
        << QList<int>{20, 0}
        << QStringList{u"start 1"_qs, u"start 2"_qs, u"end 2"_qs, u"end 1"_qs, u"together"_qs};
}

void TestResumeQueue::together_startsEveryTaskBeforeAnyEnds_endsAfterTheLast() {
    QFETCH(QList<int>, delays);
    QFETCH(QStringList, notes);
    QStringList noted;
    Task<> all = notedAll(delays, noted);
    bool done = false;
    all.start([&done] { done = true; });
    QTRY_VERIFY_WITH_TIMEOUT(done, 5000);
    QCOMPARE(noted, notes);
}

// A scan cancelled while its reads wait together: every one of them goes,
// and none is resumed later.
void TestResumeQueue::together_destroyedWhileWaiting_destroysItsTasks() {
    bool gone[2] = {false, false};
    bool resumed[2] = {false, false};
    auto tasks = std::make_unique<Task<>>(bothWaitLong(gone, resumed));
    tasks->start();
    QTest::qWait(20);
    QVERIFY(!gone[0] && !gone[1]);
    tasks.reset();
    QVERIFY(gone[0] && gone[1]);
    QTest::qWait(20);
    QVERIFY(!resumed[0] && !resumed[1]);
}

QTEST_GUILESS_MAIN(TestResumeQueue)
#include "tst_resumequeue.moc"
