#pragma once

#include <QString>

namespace pressbird {

// Whether a rule line (name, " -Type: ", kind) that is in force when ticked
// matches an element's text. Letter case never matters; only U+0020 blanks
// are trimmed; anything that cannot be decided is no match.
bool RuleMatches(const QString &entry, bool ticked, const QString &elementText);

// The same test in two halves, so that a scan can take each rule line and
// each element text apart once instead of once per pair.
struct ParsedRule {
    enum class Kind { Unknown, StartsWith, EndsWith, ExactMatch, Contains };
    Kind kind = Kind::Unknown;
    QString pattern; // trimmed, lowered with the line, then upper-cased
};

ParsedRule ParseRule(const QString &entry);
// Trimmed, lowered and upper-cased, as the rule's pattern is.
QString NormalizeElementText(QStringView elementText);
bool Matches(const ParsedRule &rule, const QString &normalizedText);

} // namespace pressbird
