#pragma once

#include "rulematches.h"

#include <QList>

#include <memory>

namespace pressbird {

class RuleList;

// The ticked rules of a pass in a form a page can test itself, so that it
// sends only the texts some rule could match. The page's test is never
// stricter than the engine's: on a text of ASCII characters it is the same
// test (blanks trimmed, upper-cased, the rule's kind and pattern); any other
// text could match, since case mappings beyond ASCII may differ between the
// page's engine and ours. Every match is still decided by RuleMatches.
struct TextFilter {
    enum class Field {
        InputValue, // the value of an input element; no other element is looked at
        OuterText,
    };
    struct Rule {
        ParsedRule::Kind kind;
        QString pattern; // as ParsedRule has it: trimmed, upper-cased
    };

    Field field = Field::OuterText;
    // Only rules that could match a text of ASCII characters: a pattern
    // outside ASCII never does.
    QList<Rule> rules;

    // The filter of the rules as they stand; nullptr when their patterns
    // are too long to send with every read.
    static std::shared_ptr<const TextFilter> of(const RuleList &rules, Field field);
    // The most pattern text a filter carries.
    static constexpr qsizetype kMaxPatternChars = 16 * 1024;
};

} // namespace pressbird
