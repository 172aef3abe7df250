#include "textfilter.h"

#include "rulelist.h"

#include <algorithm>

namespace pressbird {

namespace {
bool isAscii(const QString &text) {
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 0x80; });
}
} // namespace

std::shared_ptr<const TextFilter> TextFilter::of(const RuleList &rules, Field field) {
    auto filter = std::make_shared<TextFilter>();
    filter->field = field;
    qsizetype chars = 0;
    for (std::int16_t index = 0; index < rules.count(); ++index) {
        const std::optional<QString> entry = rules.text(index);
        if (!entry || !rules.ticked(index).value_or(false))
            continue;
        ParsedRule rule = ParseRule(*entry);
        if (rule.kind == ParsedRule::Kind::Unknown || !isAscii(rule.pattern))
            continue;
        chars += rule.pattern.size();
        if (chars > kMaxPatternChars)
            return nullptr;
        filter->rules.append({rule.kind, std::move(rule.pattern)});
    }
    return filter;
}

} // namespace pressbird
