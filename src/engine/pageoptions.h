#pragma once

namespace pressbird {

// How much of a page the walks look at, as the user chose in Preferences.
// The defaults are the classic walk: input buttons and links of the
// top-level document, hidden ones included.
struct PageOptions {
    // Today's pages: buttons of every kind, role="button" and role="link",
    // open shadow roots and every frame, up to kTodayElementBudget elements.
    bool today = false;
    // Only what a person could see is pressed.
    bool visibleOnly = false;
    friend bool operator==(const PageOptions &, const PageOptions &) = default;
};

// How many elements a today walk reads in one tab, its frames included,
// before it stops: an endless page cannot hold the scan.
inline constexpr int kTodayElementBudget = 200000;

} // namespace pressbird
