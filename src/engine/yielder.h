#pragma once

#include <QElapsedTimer>

namespace pressbird {

// Hands control to the message loop so that input, paints and other handlers
// run in the middle of long work.
class Yielder {
public:
    virtual ~Yielder() = default;

    // Dispatches every pending message once and returns.
    virtual void yield() = 0;
    // Like yield(), but may wait up to maxMs for something to happen first:
    // how a pause keeps the window responsive without spinning a core.
    virtual void yieldIdle(int maxMs) = 0;
};

// The production yield: Qt's event loop of the calling thread. A scan yields
// tens of thousands of times; asking the loop more often than every
// kCoalesceNs only costs system calls, since no person or window notices
// a message handled a fraction of a millisecond later.
class EventLoopYielder final : public Yielder {
public:
    static constexpr qint64 kCoalesceNs = 250'000;

    EventLoopYielder();

    void yield() override;
    void yieldIdle(int maxMs) override;

private:
    QElapsedTimer m_sinceLastYield;
};

} // namespace pressbird
