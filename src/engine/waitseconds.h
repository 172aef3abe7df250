#pragma once

#include "async/task.h"

#include <cstdint>

namespace pressbird {

class Clock;
class Yielder;

// The pause after a click: waits until n whole seconds of the time of day have
// passed while the event loop runs on. Both readings are taken to whole
// seconds, so n = 5 waits between 4 and 5 seconds.
class Pause {
public:
    // The longest single sleep: a clock set back or forward is noticed this soon.
    static constexpr int kMaxSleepMs = 1000;

    Pause(const Clock &clock, Yielder &yielder);

    Task<> WaitSeconds(std::int16_t n);

private:
    double readUnwrapped(double sleptSeconds);

    const Clock &m_clock;
    Yielder &m_yielder;
    double m_last = 0;
    double m_offset = 0;
};

} // namespace pressbird
