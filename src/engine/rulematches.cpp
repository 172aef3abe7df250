#include "rulematches.h"

#include "ruleentry.h"

namespace pressbird {
namespace {

ParsedRule::Kind kindOf(QStringView kind) {
    if (kind == u"starts with")
        return ParsedRule::Kind::StartsWith;
    if (kind == u"ends with")
        return ParsedRule::Kind::EndsWith;
    if (kind == u"exact match")
        return ParsedRule::Kind::ExactMatch;
    if (kind == u"contains")
        return ParsedRule::Kind::Contains;
    return ParsedRule::Kind::Unknown;
}

} // namespace

ParsedRule ParseRule(const QString &entry) {
    const QString lowered = entry.toLower();
    static constexpr QStringView separator = u" -type: ";
    const qsizetype first = lowered.indexOf(separator);
    if (first < 0)
        return {};
    // Pieces after the second are ignored: the kind ends at the next separator.
    const qsizetype kindBegin = first + separator.size();
    const qsizetype kindEnd = lowered.indexOf(separator, kindBegin);
    const QStringView kind = QStringView(lowered).sliced(
        kindBegin, (kindEnd < 0 ? lowered.size() : kindEnd) - kindBegin);

    ParsedRule rule;
    rule.kind = kindOf(TrimBlanks(kind));
    if (rule.kind != ParsedRule::Kind::Unknown)
        rule.pattern = TrimBlanks(QStringView(lowered).first(first)).toString().toUpper();
    return rule;
}

// Lowered before it is upper-cased, as the rule line is: a few capitals
// (the Kelvin sign, the Ohm sign, dotted I...) lower to a letter whose upper
// case is another, so a text upper-cased alone would never equal its own rule.
QString NormalizeElementText(QStringView elementText) {
    return TrimBlanks(elementText).toString().toLower().toUpper();
}

bool Matches(const ParsedRule &rule, const QString &text) {
    const qsizetype n = rule.pattern.size();
    switch (rule.kind) {
    case ParsedRule::Kind::StartsWith:
        return QStringView(text).first(qMin(n, text.size())) == rule.pattern;
    case ParsedRule::Kind::EndsWith:
        return QStringView(text).last(qMin(n, text.size())) == rule.pattern;
    case ParsedRule::Kind::ExactMatch:
        return text == rule.pattern;
    case ParsedRule::Kind::Contains:
        return text.contains(rule.pattern);
    case ParsedRule::Kind::Unknown:
        break;
    }
    return false;
}

bool RuleMatches(const QString &entry, bool ticked, const QString &elementText) {
    if (!ticked)
        return false;
    return Matches(ParseRule(entry), NormalizeElementText(elementText));
}

} // namespace pressbird
