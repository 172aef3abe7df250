#include "yielder.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

namespace pressbird {

EventLoopYielder::EventLoopYielder() {
    m_sinceLastYield.start();
}

void EventLoopYielder::yield() {
    if (m_sinceLastYield.nsecsElapsed() < kCoalesceNs)
        return;
    QCoreApplication::processEvents();
    m_sinceLastYield.restart();
}

void EventLoopYielder::yieldIdle(int maxMs) {
    if (maxMs <= 0) {
        yield();
        return;
    }
    // processEvents(maxtime) does not wait for events; a local loop with a
    // timer does, so a pause sleeps instead of spinning.
    QEventLoop loop;
    QTimer::singleShot(maxMs, &loop, &QEventLoop::quit);
    // A nested loop returns -1 at once while the application is quitting:
    // sleep instead, so a pause still waits rather than spinning a core.
    if (loop.exec() < 0)
        QThread::msleep(static_cast<unsigned long>(maxMs));
    m_sinceLastYield.restart();
}

} // namespace pressbird
