#include "yielder.h"

namespace pressbird {

EventLoopYielder::EventLoopYielder() {
    m_sinceLastTurn.start();
}

bool EventLoopYielder::continueAtOnce(int ms) {
    return ms <= 0 && m_sinceLastTurn.nsecsElapsed() < kCoalesceNs;
}

void EventLoopYielder::suspend(ResumeQueue::Entry &entry, std::coroutine_handle<> handle, int ms) {
    m_queue.add(entry, handle, ms);
}

} // namespace pressbird
