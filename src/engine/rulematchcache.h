#pragma once

#include "rulematches.h"

#include <cstdint>
#include <vector>

namespace pressbird {

// RuleMatches for a scan that tests every rule against every element: each
// rule line is taken apart only when its text changes, each element text is
// normalised once while it stays the same. The answer is always the one
// RuleMatches gives for the same three inputs.
class RuleMatchCache {
public:
    bool RuleMatches(std::int16_t ruleIndex, const QString &entry, bool ticked,
                     const QString &elementText);

private:
    struct CachedRule {
        QString entry;
        ParsedRule parsed;
        bool valid = false;
    };
    std::vector<CachedRule> m_rules;
    QString m_rawText;
    QString m_normalizedText;
    bool m_hasText = false;
};

} // namespace pressbird
