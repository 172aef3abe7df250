#pragma once

#include "devtoolsbrowser.h"
#include "fakes.h"
#include "memoryrulelist.h"
#include "ruleentry.h"
#include "scanengine.h"
#include "waitseconds.h"

#include <QCoreApplication>

namespace pressbird::testing {

// Runs the real event loop, but a pause's five seconds pass on a fake clock;
// each poll still waits a little so the browser's events come in.
class FastYielder final : public Yielder {
public:
    explicit FastYielder(FakeClock &clock)
        : m_clock(clock) {}
    std::function<void()> onPause;
    int pausePolls = 0;

    void yield() override { QCoreApplication::processEvents(); }
    void yieldIdle(int maxMs) override {
        m_clock.advance(maxMs / 1000.0);
        ++pausePolls;
        m_real.yieldIdle(2);
        if (onPause)
            onPause();
    }

private:
    FakeClock &m_clock;
    EventLoopYielder m_real;
};

// The real scan engine over a DevToolsBrowser that sees only the given endpoints.
struct ScanRig {
    explicit ScanRig(QList<Endpoint> endpoints, DevToolsTimeouts timeouts = {})
        : browser(timeouts, [this] { return this->endpoints; })
        , endpoints(std::move(endpoints)) {
        clock.now = 1000.2;
    }

    void scan() {
        engine.ClickLinks();
        engine.PushButtons();
    }

    DevToolsBrowser browser;
    QList<Endpoint> endpoints;
    MemoryRuleList listClick;
    MemoryRuleList listPush;
    FakeClock clock;
    FastYielder yielder{clock};
    Pause pause{clock, yielder};
    ScanEngine engine{browser, listClick, listPush, yielder, pause};
};

inline QString rule(const QString &name, const QString &kind) {
    return MakeEntryText(name, kind);
}

} // namespace pressbird::testing
