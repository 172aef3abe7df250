#pragma once

#include "fakes.h"
#include "memoryrulelist.h"
#include "ruleentry.h"
#include "scanengine.h"
#include "simulatedbrowser.h"
#include "waitseconds.h"

#include <QStringList>
#include <QTest>

namespace pressbird::testing {

// A scan engine over a simulated browser whose pauses run on a fake clock,
// with a readable trace of every browser call.
struct ScanFixture {
    SimulatedBrowser browser;
    MemoryRuleList listClick;
    MemoryRuleList listPush;
    FakeClock clock;
    FakeYielder yielder{&clock};
    Pause pause{clock, yielder};
    ScanEngine engine{browser, listClick, listPush, yielder, pause};
    QStringList calls;

    ScanFixture() {
        clock.now = 1000.2;
        browser.trace = [this](const SimulatedCallInfo &info) { calls.append(describe(info)); };
    }

    static QString describe(const SimulatedCallInfo &info) {
        static const char *const names[] = {"create",   "count",         "next",   "name",
                                            "document", "frameDocument", "length", "tagName",
                                            "value",    "outerText",     "click",  "couldMatch"};
        QString text = QString::fromLatin1(names[static_cast<int>(info.call)]);
        if (info.call >= SimulatedCall::Length)
            text += info.collection == Collection::All ? u"(all"_qs : u"(links"_qs;
        if (info.index >= 0)
            text += u","_qs + QString::number(info.index);
        if (info.call >= SimulatedCall::Length)
            text += u")"_qs;
        return text;
    }

    int callCount(const QString &prefix) const {
        int n = 0;
        for (const QString &call : calls)
            n += call.startsWith(prefix) ? 1 : 0;
        return n;
    }

    double pausedSeconds() const { return yielder.sleptMs / 1000.0; }

    // Runs a pass whose every length read answers late, on the real event
    // loop; gives how many lengths were asked before the first answer came,
    // that is, asked together, or -1 for a pass that did not end.
    int lengthsAskedTogether(Task<> pass) {
        int asked = 0;
        bool answered = false;
        browser.answerDelayMs = [&](const SimulatedCallInfo &info) {
            if (info.call != SimulatedCall::Length)
                return 0;
            asked += answered ? 0 : 1;
            return 20;
        };
        const auto traced = browser.trace;
        browser.trace = [&](const SimulatedCallInfo &info) {
            answered = answered || info.call == SimulatedCall::Length;
            traced(info);
        };
        bool done = false;
        pass.start([&done] { done = true; });
        const bool ended = QTest::qWaitFor([&done] { return done; }, 10000);
        browser.answerDelayMs = {};
        browser.trace = traced;
        return ended ? asked : -1;
    }
};

inline QString rule(const QString &name, const QString &kind) {
    return MakeEntryText(name, kind);
}

} // namespace pressbird::testing
