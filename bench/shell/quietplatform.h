#pragma once

// What the whole-program benchmarks hand the program besides its browser: no
// message box, no web page opened, and ticked rules that match nothing.

#include "form1.h"
#include "helppage.h"
#include "messageboxes.h"
#include "ruleentry.h"
#include "rulelistwidget.h"

namespace pressbird::bench {

class SilentMessages final : public MessageBoxes {
public:
    void inform(const QString &, const QString &) override {}
};

class NoOpener final : public UrlOpener {
public:
    bool openUrl(const QUrl &) override { return false; }
};

// Three ticked "Contains" rules per list, each matching nothing.
inline void tickRulesMatchingNothing(Form1 &form) {
    for (int r = 0; r < 3; ++r) {
        const QString name = u"nothing-%1"_qs.arg(r);
        form.ListClick()->append(MakeEntryText(name, linkKindCaptions().constLast()));
        form.ListClick()->setTicked(static_cast<std::int16_t>(r), true);
        form.ListPush()->append(MakeEntryText(name, buttonKindCaptions().constLast()));
        form.ListPush()->setTicked(static_cast<std::int16_t>(r), true);
    }
}

} // namespace pressbird::bench
