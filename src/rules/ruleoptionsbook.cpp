#include "ruleoptionsbook.h"

#include "settingkeys.h"
#include "settings.h"

namespace pressbird {

namespace {

QString keyOf(const RuleKey &rule) {
    return (rule.list == RuleListKind::Links ? kLinkOptionsPrefix : kButtonOptionsPrefix)
               .toString() +
           rule.entry;
}

std::optional<RuleKey> ruleOf(const QString &key) {
    if (key.startsWith(kLinkOptionsPrefix))
        return RuleKey{RuleListKind::Links, key.sliced(kLinkOptionsPrefix.size())};
    if (key.startsWith(kButtonOptionsPrefix))
        return RuleKey{RuleListKind::Buttons, key.sliced(kButtonOptionsPrefix.size())};
    return std::nullopt;
}

} // namespace

void RuleOptionsBook::load() {
    m_options.clear();
    m_unreadable.clear();
    ++m_revision;
    for (const SettingRow &row :
         m_settings.sectionRows(kRuleOptionsSection).value_or(SettingRows())) {
        const std::optional<RuleKey> rule = ruleOf(row.key);
        const std::optional<RuleOptions> options = rule ? optionsFromJson(row.value) : std::nullopt;
        if (options && !options->isDefault())
            m_options[*rule] = *options;
        else if (!options)
            m_unreadable.append({row.key, row.value});
    }
    if (!m_unreadable.isEmpty())
        m_settings.tell(QStringLiteral("The options of %1 rule(s) could not be read, so those "
                                       "rules press everywhere, without a limit. Their options "
                                       "are kept in the settings file as they were.")
                            .arg(m_unreadable.size()));
}

const RuleOptions *RuleOptionsBook::find(const RuleKey &rule) const {
    if (m_options.empty())
        return nullptr;
    const auto found = m_options.find(rule);
    return found == m_options.end() ? nullptr : &found->second;
}

RuleOptions RuleOptionsBook::options(const RuleKey &rule) const {
    const RuleOptions *options = find(rule);
    return options ? *options : RuleOptions();
}

bool RuleOptionsBook::set(const RuleKey &rule, const RuleOptions &options) {
    const auto found = m_options.find(rule);
    if (options.isDefault()) {
        // A rule deleted takes with it the row it had, read or not.
        const qsizetype unreadable = m_unreadable.removeIf(
            [key = keyOf(rule)](const auto &row) { return row.first == key; });
        if (found == m_options.end() && unreadable == 0)
            return true;
        if (found != m_options.end())
            m_options.erase(found);
    } else if (found != m_options.end() && found->second == options) {
        return true;
    } else {
        m_options[rule] = options;
    }
    ++m_revision;
    return save();
}

bool RuleOptionsBook::addWhereNone(const QList<std::pair<RuleKey, RuleOptions>> &options) {
    bool added = false;
    for (const auto &[rule, ruleOptions] : options)
        if (!ruleOptions.isDefault())
            added = m_options.try_emplace(rule, ruleOptions).second || added;
    if (!added)
        return true;
    ++m_revision;
    return save();
}

bool RuleOptionsBook::save() {
    SettingRows rows;
    for (const auto &[rule, options] : m_options)
        rows.append({keyOf(rule), optionsToJson(options)});
    // What another release wrote is not ours to drop, unless a rule of that
    // key now has options of its own.
    for (const auto &[key, value] : m_unreadable) {
        const std::optional<RuleKey> rule = ruleOf(key);
        if (!rule || !m_options.contains(*rule))
            rows.append({key, value});
    }
    return m_settings.saveSection(kRuleOptionsSection, rows);
}

} // namespace pressbird
