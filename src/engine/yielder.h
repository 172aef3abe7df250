#pragma once

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

// The production yield: Qt's event loop of the calling thread.
class EventLoopYielder final : public Yielder {
public:
    void yield() override;
    void yieldIdle(int maxMs) override;
};

} // namespace pressbird
