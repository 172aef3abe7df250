#pragma once

#include "ruleoptions.h"

#include <QList>

#include <map>

namespace pressbird {

class Settings;

// The options of every rule that has any, kept in a section of their own in
// the settings file, keyed by the rule's list and line: ticking a rule, or
// its lines turning round at a restart, keeps them; deleting the last line
// of that text drops them. A rule without options is pressed as it always
// was. Stored rows this release cannot read are kept as they were stored,
// and the user is told once.
class RuleOptionsBook final {
public:
    explicit RuleOptionsBook(Settings &settings)
        : m_settings(settings) {}

    void load();

    // nullptr for a rule without options: the scan's common case costs a
    // lookup in an empty map.
    const RuleOptions *find(const RuleKey &rule) const;
    RuleOptions options(const RuleKey &rule) const;
    const std::map<RuleKey, RuleOptions> &all() const { return m_options; }

    // Default options drop the rule's row. False when the store refused the
    // save: the change holds for this run and is saved again with the next.
    bool set(const RuleKey &rule, const RuleOptions &options);
    // Sets the options of each rule that has none, in one save (an import).
    bool addWhereNone(const QList<std::pair<RuleKey, RuleOptions>> &options);
    // The rule is gone from its list.
    bool forget(const RuleKey &rule) { return set(rule, RuleOptions()); }

    // Moves on with every change, so a walk that decided on the options as
    // they stood knows when they no longer do.
    quint64 revision() const { return m_revision; }

private:
    bool save();

    Settings &m_settings;
    std::map<RuleKey, RuleOptions> m_options;
    QList<std::pair<QString, QString>> m_unreadable; // key and value, as stored
    quint64 m_revision = 1;
};

// The rule a line of the list is.
inline RuleKey ruleKeyOf(bool linkList, const QString &entry) {
    return {linkList ? RuleListKind::Links : RuleListKind::Buttons, entry};
}

} // namespace pressbird
