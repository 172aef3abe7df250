#include "loadstep.h"

#include "ruleentry.h"
#include "scantimer.h"
#include "settingsstore.h"
#include "shellhost.h"
#include "startupprompt.h"

#include <QComboBox>
#include <QLineEdit>
#include <QRegularExpression>

#include <cmath>

namespace pressbird {

std::optional<double> intervalFromText(const QString &text) {
    static const QRegularExpression numeric(
        QStringLiteral(R"(^\s*[+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?\s*$)"));
    if (!numeric.match(text).hasMatch())
        return std::nullopt;
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return std::nearbyint(value);
}

void RunLoadStep(ShellHost &host, SettingsStore &store, const std::function<void()> &showPrompt) {
    host.Combo1().addItems(linkKindCaptions());
    host.Combo2().addItems(buttonKindCaptions());

    host.FillList();

    if (promptIsDue(store) && showPrompt)
        showPrompt();

    QLineEdit &text1 = host.Text1();
    text1.setText(store.GetSetting(kAppName.toString(), kOptSection.toString(),
                                   kIntervalKey.toString(), text1.text()));

    const std::optional<double> ms = intervalFromText(text1.text());
    if (!ms || *ms < 0 || *ms > ScanTimer::kMaxInterval)
        text1.setText(kFallbackInterval.toString());
    host.Timer1().setInterval(static_cast<int>(intervalFromText(text1.text()).value_or(1000)));
    host.Timer1().setEnabled(true);
}

} // namespace pressbird
