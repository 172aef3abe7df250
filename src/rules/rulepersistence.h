#pragma once

#include "rulelist.h"
#include "settingsstore.h"

#include <QString>

#include <functional>

namespace pressbird {

// The main window's marker text while the rule lists load ("Skip": saving
// does nothing) and while a restore from the tray runs ("SkipMinimize").
inline constexpr QStringView kMarkerSkip = u"Skip";
inline constexpr QStringView kMarkerSkipMinimize = u"SkipMinimize";

inline constexpr QStringView kListSection = u"list";
inline constexpr QStringView kPushKeyPrefix = u"listpush-";
inline constexpr QStringView kClickKeyPrefix = u"listclick-";
inline constexpr QStringView kCheckedSuffix = u" -Checked: ";

// Loads both rule lists from the section "list", every stored line going in at
// the top of its list. Sets the marker to "Skip" at the start and empties it
// only when the load completes; a bad row stops the load and leaves "Skip".
// yield runs once per row.
void FillList(SettingsStore &store, EditableRuleList &listClick, EditableRuleList &listPush,
              QString &marker, const std::function<void()> &yield);

// Rewrites the section "list" from both lists, button rules first, in one
// transaction. Does nothing while the marker is "Skip". Returns false when
// the store refused the save (the previous section is then kept whole).
bool ListUpdate(SettingsStore &store, const RuleList &listClick, const RuleList &listPush,
                const QString &marker);

} // namespace pressbird
