#include "yielder.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

namespace pressbird {

EventLoopYielder::EventLoopYielder()
{
    m_sinceLastYield.start();
}

void EventLoopYielder::yield()
{
    if (m_sinceLastYield.nsecsElapsed() < kCoalesceNs)
        return;
    QCoreApplication::processEvents();
    m_sinceLastYield.restart();
}

void EventLoopYielder::yieldIdle(int maxMs)
{
    if (maxMs <= 0) {
        yield();
        return;
    }
    // processEvents(maxtime) does not wait for events; a local loop with a
    // timer does, so a pause sleeps instead of spinning.
    QEventLoop loop;
    QTimer::singleShot(maxMs, &loop, &QEventLoop::quit);
    loop.exec();
    m_sinceLastYield.restart();
}

} // namespace pressbird
