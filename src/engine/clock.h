#pragma once

namespace pressbird {

// The time of day, as the pause counts it.
class Clock {
public:
    virtual ~Clock() = default;

    // Seconds since local midnight, with a fraction; starts again at 0 at midnight.
    virtual double secondsSinceMidnight() const = 0;
};

class SystemClock final : public Clock {
public:
    double secondsSinceMidnight() const override;
};

} // namespace pressbird
