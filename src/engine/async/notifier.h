#pragma once

#include "resumequeue.h"
#include "task.h"

#include <QDeadlineTimer>

#include <functional>

namespace pressbird {

// Something coroutines wait for, with a time-out: `co_await notifier.wait(ms)`
// gives true when notify() came first, false when the time ran out. Waiters
// are resumed from the event loop, never from inside notify(), so whatever
// calls notify() (a socket's signal, say) has returned before they run.
class Notifier final {
public:
    class [[nodiscard]] Wait final {
    public:
        Wait(ResumeQueue &queue, int timeoutMs)
            : m_queue(queue)
            , m_timeoutMs(timeoutMs) {}
        bool await_ready() const noexcept { return false; }
        void await_suspend(std::coroutine_handle<> handle) {
            m_queue.add(m_entry, handle, m_timeoutMs);
        }
        bool await_resume() const noexcept { return m_entry.woken(); }

    private:
        ResumeQueue &m_queue;
        int m_timeoutMs;
        ResumeQueue::Entry m_entry;
    };

    Wait wait(int timeoutMs) { return Wait(m_queue, timeoutMs); }
    // Waits until done() holds, looked at again after every notify(); false
    // when the time ran out first. The caller keeps this notifier alive.
    Task<bool> until(std::function<bool()> done, int timeoutMs) {
        const QDeadlineTimer deadline(timeoutMs, Qt::PreciseTimer);
        while (!done()) {
            const qint64 left = deadline.remainingTime();
            if (left <= 0)
                co_return false;
            co_await wait(int(left));
        }
        co_return true;
    }
    void notify() { m_queue.wakeAll(); }
    bool hasWaiters() const { return !m_queue.isEmpty(); }

private:
    ResumeQueue m_queue;
};

} // namespace pressbird
