#pragma once

#include "async/coroutine.h"
#include "async/resumequeue.h"

#include <QElapsedTimer>

namespace pressbird {

// Hands control back to the event loop in the middle of long work: a
// coroutine awaits yield() or sleep(ms) and is resumed by the loop, so input,
// paints and other handlers run meanwhile without any loop being nested.
class Yielder {
public:
    class [[nodiscard]] Suspension final {
    public:
        Suspension(Yielder &yielder, int ms)
            : m_yielder(yielder)
            , m_ms(ms) {}
        bool await_ready() { return m_yielder.continueAtOnce(m_ms); }
        void await_suspend(std::coroutine_handle<> handle) {
            m_suspended = true;
            m_yielder.suspend(m_entry, handle, m_ms);
        }
        void await_resume() {
            if (m_suspended)
                m_yielder.resumed();
        }

    private:
        Yielder &m_yielder;
        int m_ms;
        bool m_suspended = false;
        ResumeQueue::Entry m_entry; // leaves the queue if the coroutine is destroyed
    };

    virtual ~Yielder() = default;

    // Lets the loop handle whatever is pending, then goes on.
    Suspension yield() { return {*this, 0}; }
    // Goes on after about ms milliseconds; the loop runs meanwhile.
    Suspension sleep(int ms) { return {*this, ms}; }

protected:
    // True: go on at once without suspending (a test double, or a yield too
    // soon after the last one to be worth a turn of the loop).
    virtual bool continueAtOnce(int ms) = 0;
    virtual void suspend(ResumeQueue::Entry &entry, std::coroutine_handle<> handle, int ms) = 0;
    virtual void resumed() {}
};

// The production yield: Qt's event loop of the calling thread. A scan yields
// tens of thousands of times; a turn of the loop more often than every
// kCoalesceNs only costs system calls, since no person or window notices a
// message handled a fraction of a millisecond later.
class EventLoopYielder final : public Yielder {
public:
    static constexpr qint64 kCoalesceNs = 250'000;
    // Reading the clock costs more than all the rest of a yield: it is read
    // at every kClockEvery-th one. Between two yields lie microseconds.
    static constexpr int kClockEvery = 8;

    EventLoopYielder();

protected:
    bool continueAtOnce(int ms) override;
    void suspend(ResumeQueue::Entry &entry, std::coroutine_handle<> handle, int ms) override;
    void resumed() override { m_sinceLastTurn.restart(); }

private:
    ResumeQueue m_queue;
    QElapsedTimer m_sinceLastTurn;
    int m_unclocked = 0;
};

} // namespace pressbird
