#pragma once

#include "awaitonloop.h"
#include "browser.h"
#include "fakes.h"
#include "memoryrulelist.h"
#include "ruleentry.h"
#include "scanengine.h"
#include "waitseconds.h"

#include <QElapsedTimer>
#include <QTest>

#include <memory>

namespace pressbird::testing {

// Runs on the real event loop, but a pause's five seconds pass on a fake
// clock: each sleep moves the clock by its length and suspends only a couple
// of milliseconds for real, so the browser's events still come in. Yields
// turn the loop as the production yielder does, coalesced.
class FastYielder final : public Yielder {
public:
    static constexpr int kRealSleepMs = 2;

    explicit FastYielder(FakeClock &clock)
        : m_clock(clock) {
        m_sinceLastTurn.start();
    }
    // Runs at every sleep of a pause, before the scan suspends.
    std::function<void()> onPause;
    qint64 pausedMs = 0;

protected:
    bool continueAtOnce(int ms) override {
        if (ms <= 0)
            return m_sinceLastTurn.nsecsElapsed() < EventLoopYielder::kCoalesceNs;
        m_clock.advance(ms / 1000.0);
        pausedMs += ms;
        if (onPause)
            onPause();
        return false;
    }
    void suspend(ResumeQueue::Entry &entry, std::coroutine_handle<> handle, int ms) override {
        m_queue.add(entry, handle, ms > 0 ? kRealSleepMs : 0);
    }
    void resumed() override { m_sinceLastTurn.restart(); }

private:
    FakeClock &m_clock;
    ResumeQueue m_queue;
    QElapsedTimer m_sinceLastTurn;
};

// Both passes, as one tick of the scan timer runs them.
inline Task<> bothPasses(ScanEngine &engine) {
    co_await engine.ClickLinks();
    co_await engine.PushButtons();
}

// The real scan engine over one browser, on a fake clock.
template<typename BrowserType> struct EngineRig {
    template<typename... Arguments>
    explicit EngineRig(Arguments &&...arguments)
        : browser(std::forward<Arguments>(arguments)...) {
        clock.now = 1000.2;
        engine.setPressObserver([this](const ActivityEntry &press) { presses.append(press); });
    }

    // Each runs the event loop until what it started has ended.
    void scan() { awaitOnLoop(bothPasses(engine)); }
    void clickLinks() { awaitOnLoop(engine.ClickLinks()); }

    // "text: what it led to" of each press logged, as the program logs them.
    QStringList outcomes() const {
        QStringList said;
        for (const ActivityEntry &press : presses)
            said.append(press.element + u": "_qs + press.outcome);
        return said;
    }

    // Scans until a press is logged as said, at most `scans` times, a moment
    // apart: a tab that stood still (a dialog) comes back in its own time.
    bool scanUntilLogged(const QString &said, int scans = 20) {
        for (int scan = 0; scan < scans; ++scan) {
            presses.clear();
            this->scan();
            if (outcomes().contains(said))
                return true;
            QTest::qWait(200);
        }
        return false;
    }

    // The windows one walk gives, through the given browser.
    static QList<PageInfo> pagesOf(Browser &browser) {
        const std::unique_ptr<ShellWindows> windows = awaitOnLoop(browser.createShellWindows());
        QList<PageInfo> pages;
        while (std::unique_ptr<BrowserWindow> window = awaitOnLoop(windows->next()))
            pages.append(window->page());
        return pages;
    }
    // The document of the first window showing an address ending so.
    std::unique_ptr<Document> documentOf(const QString &ending) {
        const std::unique_ptr<ShellWindows> windows = awaitOnLoop(browser.createShellWindows());
        while (std::unique_ptr<BrowserWindow> window = awaitOnLoop(windows->next())) {
            if (window->page().address.endsWith(ending))
                return awaitOnLoop(window->document());
        }
        return nullptr;
    }

    BrowserType browser;
    MemoryRuleList listClick;
    MemoryRuleList listPush;
    FakeClock clock;
    FastYielder yielder{clock};
    Pause pause{clock, yielder};
    ScanEngine engine{browser, listClick, listPush, yielder, pause};
    QList<ActivityEntry> presses;
};

inline QString rule(const QString &name, const QString &kind) {
    return MakeEntryText(name, kind);
}

// The links of tests/pages/opens.html that open a tab, as a person's click
// would, and one whose handler throws: ticked as rules, and what pressing
// each in turn logs.
inline void tickOpeningLinks(MemoryRuleList &list) {
    for (const QString &text : {u"New tab"_qs, u"Named target"_qs, u"Pop up"_qs, u"Throws"_qs})
        list.appendTicked(rule(text, u"Exact Match"_qs));
}
inline QStringList openingOutcomes() {
    return {u"New tab: opened a tab"_qs, u"Named target: opened a tab"_qs,
            u"Pop up: opened a tab"_qs, u"Throws: "_qs};
}

} // namespace pressbird::testing
