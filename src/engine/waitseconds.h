#pragma once

#include <cstdint>

namespace pressbird {

class Clock;
class Yielder;

// The pause after a click: waits until n whole seconds of the time of day have
// passed, handing control to the message loop all the while. Both readings are
// taken to whole seconds, so n = 5 waits between 4 and 5 seconds.
class Pause {
public:
    static constexpr int kPollMs = 50;

    Pause(const Clock &clock, Yielder &yielder);

    void WaitSeconds(std::int16_t n);

    // Ends a running pause at its next reading; the program is ending.
    void setStopRequested(bool stop) { m_stopRequested = stop; }

private:
    double readUnwrapped();

    const Clock &m_clock;
    Yielder &m_yielder;
    double m_last = 0;
    double m_offset = 0;
    bool m_stopRequested = false;
};

} // namespace pressbird
