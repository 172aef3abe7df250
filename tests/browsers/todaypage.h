#pragma once

#include "activitylog.h"
#include "memoryrulelist.h"
#include "pageoptions.h"
#include "ruleentry.h"

#include <QElapsedTimer>
#include <QStringList>
#include <QTest>
#include <QUrl>

namespace pressbird::testing {

// tests/pages/today.html holds one of each kind of control today's pages
// use (a <button>, role="button", an image input, role="link", controls in
// nested open shadow roots, in a same-origin and in a cross-origin frame),
// and look-alikes no person could see beside a visible twin.
inline void tickTodayRules(MemoryRuleList &links, MemoryRuleList &buttons) {
    for (const QString &text : {u"Role link"_qs, u"Claim reward"_qs, u"Shadow link"_qs})
        links.appendTicked(MakeEntryText(text, u"Exact Match"_qs));
    for (const QString &text :
         {u"Press me"_qs, u"Real button"_qs, u"Role button"_qs, u"Image input"_qs,
          u"Shadow button"_qs, u"Deep button"_qs, u"Skip ad"_qs, u"Far below"_qs,
          u"Frame button"_qs, u"Cross button"_qs})
        buttons.appendTicked(MakeEntryText(text, u"Exact Match"_qs));
}

// "text" of each press, or "text in FILE" for one in a frame, sorted.
inline QStringList pressesWhere(const QList<ActivityEntry> &presses) {
    QStringList said;
    for (const ActivityEntry &press : presses)
        said.append(press.frame.isEmpty()
                        ? press.element
                        : press.element + u" in "_qs + QUrl(press.frame).fileName());
    said.sort();
    return said;
}

// Scans, half a second apart, until a scan presses `expected` or `withinMs`
// have passed; what the last scan pressed. A tab busy making a heavy page is
// skipped until it answers, however long a busy machine takes.
template<typename Rig>
QStringList scanUntilPressed(Rig &rig, const QStringList &expected, int withinMs) {
    QElapsedTimer waited;
    waited.start();
    QStringList pressed;
    while (pressed != expected && waited.elapsed() < withinMs) {
        rig.presses.clear();
        rig.scan();
        pressed = pressesWhere(rig.presses);
        if (pressed != expected)
            QTest::qWait(500);
    }
    return pressed;
}

// What one scan of today.html presses under the options.
inline QStringList todayPresses(const PageOptions &options) {
    QStringList said;
    const int twins = options.visibleOnly ? 1 : 3;
    for (int i = 0; i < twins; ++i)
        said.append(u"Claim reward"_qs);
    said.append(u"Press me"_qs);
    if (options.today) {
        said.append({u"Role link"_qs, u"Shadow link"_qs, u"Real button"_qs, u"Role button"_qs,
                     u"Image input"_qs, u"Shadow button"_qs, u"Deep button"_qs, u"Far below"_qs,
                     u"Frame button in today-frame.html"_qs,
                     u"Cross button in today-cross.html"_qs});
        for (int i = 0; i < (options.visibleOnly ? 1 : 5); ++i)
            said.append(u"Skip ad"_qs);
    }
    said.sort();
    return said;
}

// Scans today.html under each choice of options, a few times where its
// frames are still loading, and compares what each scan pressed.
template<typename Rig> void compareTodayPresses(Rig &rig) {
    tickTodayRules(rig.listClick, rig.listPush);
    for (const PageOptions options : {PageOptions{false, false}, PageOptions{true, false},
                                      PageOptions{true, true}, PageOptions{false, true}}) {
        rig.engine.setPageOptions(options);
        const QStringList expected = todayPresses(options);
        QStringList pressed;
        for (int scan = 0; scan < 20 && pressed != expected; ++scan) {
            if (scan > 0)
                QTest::qWait(250);
            rig.presses.clear();
            rig.scan();
            pressed = pressesWhere(rig.presses);
        }
        QCOMPARE(pressed, expected);
    }
}

} // namespace pressbird::testing
