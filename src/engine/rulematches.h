#pragma once

#include <QString>

namespace pressbird {

// Whether a rule line (name, " -Type: ", kind) that is in force when ticked
// matches an element's text. Letter case never matters; only U+0020 blanks
// are trimmed; anything that cannot be decided is no match.
bool RuleMatches(const QString &entry, bool ticked, const QString &elementText);

} // namespace pressbird
