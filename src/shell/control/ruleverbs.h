#pragma once

#include "ruleoptions.h"

#include <QJsonObject>
#include <QList>
#include <QStringList>

#include <optional>

namespace pressbird {

class RuleList;
class RuleOptionsBook;

namespace control {

// What `rule` asks to change; a field left out stays as it is.
struct RuleOptionChanges {
    std::optional<QString> sites;  // comma-separated patterns; empty: everywhere
    QStringList limits;            // "N", "N/load", "N/hour", "none"
    std::optional<QString> notify; // "on" or "off"

    bool isEmpty() const { return !sites && limits.isEmpty() && !notify; }
    void addTo(QJsonObject &request) const;
    static RuleOptionChanges of(const QJsonObject &request);
    // The options with the changes made, or why the changes are refused.
    std::variant<RuleOptions, QString> applyTo(RuleOptions options) const;
};

// The rules of both lists, link rules first, in list order, each line once:
// equal lines are one rule to their options.
QList<RuleKey> distinctRules(const RuleList &links, const RuleList &buttons);

// rules: one line per distinct rule of both lists, as distinctRules gives them:
// link or button, the rule, its sites ("everywhere"), its limits ("none"),
// notify on or off, tab-separated.
QJsonObject listRuleOptions(const RuleList &links, const RuleList &buttons,
                            const RuleOptionsBook &book);
// rule links|buttons TEXT [changes]: TEXT is a whole rule line, or the name
// of exactly one rule of that list. Answers the rule's line as rules prints
// it, or why not; a refused change changes nothing.
QJsonObject setRuleOptions(const RuleList &links, const RuleList &buttons, RuleOptionsBook &book,
                           const QString &list, const QString &text,
                           const RuleOptionChanges &changes);

} // namespace control
} // namespace pressbird
