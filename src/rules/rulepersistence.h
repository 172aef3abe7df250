#pragma once

#include "rulelist.h"
#include "windowmarker.h"

#include <QString>

namespace pressbird {

class Settings;

inline constexpr QStringView kCheckedSuffix = u" -Checked: ";

// Loads both rule lists from the rule section, every stored line going in at
// the top of its list. Sets the marker to Skip at the start and clears it
// only when the load completes; a bad row, or a row past what the lists can
// hold, stops the load, leaves Skip and tells the settings that rows were
// left unread (they are set aside before the section is next rewritten).
void FillList(Settings &settings, EditableRuleList &listClick, EditableRuleList &listPush,
              WindowMarker &marker);

// Rewrites the rule section from both lists, button rules first, in one
// transaction. Does nothing while the marker is Skip. Returns false when the
// store refused the save (the previous section is then kept whole).
bool ListUpdate(Settings &settings, const RuleList &listClick, const RuleList &listPush,
                WindowMarker marker);

} // namespace pressbird
