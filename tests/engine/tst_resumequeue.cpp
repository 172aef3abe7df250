#include "async/notifier.h"
#include "async/task.h"
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

QTEST_GUILESS_MAIN(TestResumeQueue)
#include "tst_resumequeue.moc"
