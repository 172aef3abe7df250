#include "waitseconds.h"

#include "clock.h"
#include "yielder.h"

#include <algorithm>
#include <cmath>

namespace pressbird {

Pause::Pause(const Clock &clock, Yielder &yielder)
    : m_clock(clock)
    , m_yielder(yielder) {}

// The time of day starts again at 0 at midnight (and can be set back by hand
// or by a change of daylight-saving time). A reading that goes backwards is
// taken as the length of the sleep just slept having passed, so the pause
// still ends about n seconds after it began instead of waiting for the clock
// to catch up.
double Pause::readUnwrapped(double sleptSeconds) {
    const double reading = m_clock.secondsSinceMidnight();
    if (reading + m_offset < m_last)
        m_offset = m_last + sleptSeconds - reading;
    m_last = reading + m_offset;
    return m_last;
}

Task<> Pause::WaitSeconds(std::int16_t n) {
    m_offset = 0;
    m_last = m_clock.secondsSinceMidnight();
    // nearbyint rounds an exact half to the even neighbour under the default
    // rounding mode.
    const double start = std::nearbyint(m_last);
    for (double now = readUnwrapped(0); std::nearbyint(now) < start + n;) {
        // The reading rounds up to the end second half a second before it;
        // sleep until about then and look again.
        const double untilEnd = start + n - 0.5 - now;
        const int ms = int(std::clamp(std::ceil(untilEnd * 1000), 1.0, double(kMaxSleepMs)));
        co_await m_yielder.sleep(ms);
        now = readUnwrapped(ms / 1000.0);
    }
}

} // namespace pressbird
