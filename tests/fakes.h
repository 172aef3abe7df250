#pragma once

#include "clock.h"
#include "yielder.h"

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

// Counts yields; each idle yield moves the fake clock by its wait, so a pause
// takes no real time. onYield runs at every yield, as another handler would.
class FakeYielder final : public Yielder {
public:
    explicit FakeYielder(FakeClock *clock = nullptr)
        : m_clock(clock) {}

    int yields = 0;
    int idleYields = 0;
    std::function<void()> onYield;

    void yield() override {
        ++yields;
        if (onYield)
            onYield();
    }
    void yieldIdle(int maxMs) override {
        ++idleYields;
        if (m_clock)
            m_clock->advance(maxMs / 1000.0);
        if (onYield)
            onYield();
    }

private:
    FakeClock *m_clock;
};

} // namespace pressbird::testing
