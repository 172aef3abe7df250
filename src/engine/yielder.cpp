#include "yielder.h"

namespace pressbird {

EventLoopYielder::EventLoopYielder() {
    m_sinceLastTurn.start();
}

bool EventLoopYielder::continueAtOnce(int ms) {
    if (ms > 0)
        return false;
    if (++m_unclocked < kClockEvery)
        return true;
    m_unclocked = 0;
    return m_sinceLastTurn.nsecsElapsed() < kCoalesceNs;
}

void EventLoopYielder::suspend(ResumeQueue::Entry &entry, std::coroutine_handle<> handle, int ms) {
    m_queue.add(entry, handle, ms);
}

} // namespace pressbird
