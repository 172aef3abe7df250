#include "rulematchcache.h"

namespace pressbird {

namespace {
// The scan reads the same text again and again from what it keeps: copies
// share their characters, found equal without comparing them.
bool same(const QString &a, const QString &b) {
    return (a.constData() == b.constData() && a.size() == b.size()) || a == b;
}
} // namespace

bool RuleMatchCache::RuleMatches(std::int16_t ruleIndex, const QString &entry, bool ticked,
                                 const QString &elementText) {
    if (!ticked || ruleIndex < 0)
        return false;

    if (static_cast<std::size_t>(ruleIndex) >= m_rules.size())
        m_rules.resize(static_cast<std::size_t>(ruleIndex) + 1);
    CachedRule &rule = m_rules[static_cast<std::size_t>(ruleIndex)];
    if (!rule.valid || !same(rule.entry, entry)) {
        rule.entry = entry;
        rule.parsed = ParseRule(entry);
        rule.valid = true;
    }
    if (rule.parsed.kind == ParsedRule::Kind::Unknown)
        return false;

    if (!m_hasText || !same(m_rawText, elementText)) {
        m_rawText = elementText;
        m_normalizedText = NormalizeElementText(elementText);
        m_hasText = true;
    }
    return Matches(rule.parsed, m_normalizedText);
}

} // namespace pressbird
