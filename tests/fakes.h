#pragma once

#include "async/task.h"
#include "clock.h"
#include "yielder.h"

#include <QtGlobal>

#include <functional>

namespace pressbird::testing {

// A clock that moves only when told to.
class FakeClock final : public Clock {
public:
    double now = 0;
    double secondsSinceMidnight() const override { return now; }
    void advance(double seconds) {
        now += seconds;
        if (now >= 86400)
            now -= 86400;
    }
};

// Counts yields and never suspends; each sleep moves the fake clock by its
// length, so a pause takes no real time. onYield runs at every yield and
// sleep, as another handler would.
class FakeYielder final : public Yielder {
public:
    explicit FakeYielder(FakeClock *clock = nullptr)
        : m_clock(clock) {}

    int yields = 0;
    int sleeps = 0;
    qint64 sleptMs = 0;
    std::function<void()> onYield;

protected:
    bool continueAtOnce(int ms) override {
        if (ms > 0) {
            ++sleeps;
            sleptMs += ms;
            if (m_clock)
                m_clock->advance(ms / 1000.0);
        } else {
            ++yields;
        }
        if (onYield)
            onYield();
        return true;
    }
    void suspend(ResumeQueue::Entry &, std::coroutine_handle<>, int) override {}

private:
    FakeClock *m_clock;
};

// Runs a task that never suspends to its end and gives its result.
template<typename T> T runToEnd(Task<T> task) {
    bool done = false;
    task.start([&done] { done = true; });
    if (!done)
        qFatal("runToEnd: the task suspended");
    if constexpr (!std::is_void_v<T>)
        return task.result();
}

} // namespace pressbird::testing
