#pragma once

#include <QString>

#include <functional>

namespace pressbird {

class Settings;
class ShellHost;

inline constexpr QStringView kFallbackInterval = u"1000";

// The main window's load step: the kind pick lists, the rule lists, the
// prompt when it is due (shown without waiting), then the saved interval in
// Text1 and the scan timer started with it. An interval that is not a
// number, or that the timer cannot take, runs as "1000"; the stored text is
// left as it was.
void RunLoadStep(ShellHost &host, const Settings &settings,
                 const std::function<void()> &showPrompt);

} // namespace pressbird
