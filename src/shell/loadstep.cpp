#include "loadstep.h"

#include "ruleentry.h"
#include "scaninterval.h"
#include "scantimer.h"
#include "settings.h"
#include "shellhost.h"
#include "startupprompt.h"

#include <QComboBox>
#include <QLineEdit>

namespace pressbird {

void RunLoadStep(ShellHost &host, const Settings &settings,
                 const std::function<void()> &showPrompt) {
    host.Combo1().addItems(linkKindCaptions());
    host.Combo2().addItems(buttonKindCaptions());

    host.FillList();

    if (promptIsDue(settings) && showPrompt)
        showPrompt();

    QLineEdit &text1 = host.Text1();
    text1.setText(settings.value(SettingKey::IntervalText));

    // The same reading as the Calibration OK command's, so an interval that
    // runs after OK also runs after a restart.
    std::optional<int> ms = IntervalFromText(text1.text());
    if (!ms) {
        text1.setText(kFallbackInterval.toString());
        ms = IntervalFromText(text1.text());
    }
    host.Timer1().setInterval(ms.value_or(0));
    host.Timer1().setEnabled(true);
}

} // namespace pressbird
