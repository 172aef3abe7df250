#include "yielder.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

namespace pressbird {

void EventLoopYielder::yield()
{
    QCoreApplication::processEvents();
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
}

} // namespace pressbird
