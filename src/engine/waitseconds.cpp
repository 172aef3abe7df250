#include "waitseconds.h"

#include "clock.h"
#include "yielder.h"

#include <cmath>

namespace pressbird {

Pause::Pause(const Clock &clock, Yielder &yielder)
    : m_clock(clock)
    , m_yielder(yielder) {}

// The time of day starts again at 0 at midnight (and can be set back by hand
// or by a change of daylight-saving time). A reading that goes backwards is
// counted as no time passing, so the pause still ends about n seconds after
// it began instead of waiting for the clock to catch up.
double Pause::readUnwrapped() {
    const double reading = m_clock.secondsSinceMidnight();
    if (reading + m_offset < m_last)
        m_offset = m_last - reading;
    m_last = reading + m_offset;
    return m_last;
}

void Pause::WaitSeconds(std::int16_t n) {
    m_offset = 0;
    m_last = m_clock.secondsSinceMidnight();
    // nearbyint rounds an exact half to the even neighbour under the default
    // rounding mode.
    const double start = std::nearbyint(m_last);
    while (!m_stopRequested && std::nearbyint(readUnwrapped()) < start + n)
        m_yielder.yieldIdle(kPollMs);
}

} // namespace pressbird
