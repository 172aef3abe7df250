#pragma once

namespace pressbird {

// The main window's mode while the rule lists load or a restore from the tray
// runs. Loading sets Skip, and saving the rules does nothing until a load
// completes or a rule is added; SkipMinimize turns the minimise test off.
enum class WindowMarker {
    None,
    Skip,
    SkipMinimize,
};

} // namespace pressbird
