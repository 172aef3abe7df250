#include "ruleverbs.h"

#include "controlprotocol.h"
#include "ruleentry.h"
#include "rulelist.h"
#include "ruleoptionsbook.h"

#include <QJsonArray>
#include <QSet>

namespace pressbird::control {

namespace {

QString optionsLine(const RuleKey &rule, const RuleOptions &options) {
    return QStringList{
        rule.list == RuleListKind::Links ? QStringLiteral("link") : QStringLiteral("button"),
        field(rule.entry),
        options.sites.isEmpty() ? QStringLiteral("everywhere") : field(sitesText(options.sites)),
        limitText(options), options.notify ? QStringLiteral("on") : QStringLiteral("off")}
        .join(u'\t');
}

// The rule line TEXT stands for in the list, or why none.
std::variant<QString, QString> findRule(const RuleList &list, const QString &listWord,
                                        const QString &text) {
    QSet<QString> named;
    for (std::int16_t i = 0; i < list.count(); ++i) {
        const QString entry = list.text(i).value_or(QString());
        if (entry == text)
            return std::variant<QString, QString>(std::in_place_index<0>, entry);
        const qsizetype split = entry.indexOf(kTypeSeparator);
        if (split >= 0 && entry.first(split) == text)
            named.insert(entry);
    }
    const QString word = listWord == u"links" ? QStringLiteral("link") : QStringLiteral("button");
    if (named.size() == 1)
        return std::variant<QString, QString>(std::in_place_index<0>, *named.cbegin());
    if (named.isEmpty())
        return std::variant<QString, QString>(
            std::in_place_index<1>,
            QStringLiteral("there is no %1 rule \"%2\" (pressbird-ctl rules lists them)")
                .arg(word, text.left(80)));
    return std::variant<QString, QString>(
        std::in_place_index<1>,
        QStringLiteral("\"%1\" names %2 %3 rules: give the whole line, such as \"%4\"")
            .arg(text.left(80))
            .arg(named.size())
            .arg(word, named.cbegin()->left(120)));
}

} // namespace

void RuleOptionChanges::addTo(QJsonObject &request) const {
    if (sites)
        request.insert(QStringLiteral("sites"), *sites);
    if (!limits.isEmpty())
        request.insert(QStringLiteral("limits"), QJsonArray::fromStringList(limits));
    if (notify)
        request.insert(QStringLiteral("notify"), *notify);
}

RuleOptionChanges RuleOptionChanges::of(const QJsonObject &request) {
    RuleOptionChanges changes;
    if (request.contains(u"sites"))
        changes.sites = request.value(u"sites").toString();
    for (const QJsonValue &limit : request.value(u"limits").toArray())
        changes.limits.append(limit.toString());
    if (request.contains(u"notify"))
        changes.notify = request.value(u"notify").toString();
    return changes;
}

std::variant<RuleOptions, QString> RuleOptionChanges::applyTo(RuleOptions options) const {
    if (sites) {
        std::variant<QList<SitePattern>, QString> parsed = parseSites(*sites);
        if (const QString *why = std::get_if<QString>(&parsed))
            return *why;
        options.sites = std::get<QList<SitePattern>>(std::move(parsed));
    }
    for (const QString &text : limits) {
        const std::variant<PressLimit, QString> parsed = parseLimit(text);
        if (const QString *why = std::get_if<QString>(&parsed))
            return *why;
        const PressLimit limit = std::get<PressLimit>(parsed);
        if (limit.count == 0)
            options.perLoad = options.perHour = 0;
        else
            (limit.per == PressLimit::Per::Load ? options.perLoad : options.perHour) = limit.count;
    }
    if (notify) {
        if (*notify != u"on" && *notify != u"off")
            return QStringLiteral("notify is on or off, not \"%1\"").arg(notify->left(40));
        options.notify = *notify == u"on";
    }
    return options;
}

QList<RuleKey> distinctRules(const RuleList &links, const RuleList &buttons) {
    QList<RuleKey> rules;
    QSet<RuleKey> seen;
    for (const auto &[kind, list] :
         {std::pair{RuleListKind::Links, &links}, std::pair{RuleListKind::Buttons, &buttons}})
        for (std::int16_t i = 0; i < list->count(); ++i) {
            RuleKey rule{kind, list->text(i).value_or(QString())};
            if (!seen.contains(rule)) {
                seen.insert(rule);
                rules.append(std::move(rule));
            }
        }
    return rules;
}

QJsonObject listRuleOptions(const RuleList &links, const RuleList &buttons,
                            const RuleOptionsBook &book) {
    QStringList lines;
    for (const RuleKey &rule : distinctRules(links, buttons))
        lines.append(optionsLine(rule, book.options(rule)));
    return success(lines.join(u'\n'));
}

QJsonObject setRuleOptions(const RuleList &links, const RuleList &buttons, RuleOptionsBook &book,
                           const QString &list, const QString &text,
                           const RuleOptionChanges &changes) {
    if (list != u"links" && list != u"buttons")
        return failure(
            QStringLiteral("rule takes links or buttons, not \"%1\"").arg(list.left(40)));
    const bool linkList = list == u"links";
    const std::variant<QString, QString> found = findRule(linkList ? links : buttons, list, text);
    if (found.index() == 1)
        return failure(std::get<1>(found));
    const RuleKey rule = ruleKeyOf(linkList, std::get<0>(found));
    std::variant<RuleOptions, QString> changed = changes.applyTo(book.options(rule));
    if (const QString *why = std::get_if<QString>(&changed))
        return failure(*why);
    if (!book.set(rule, std::get<RuleOptions>(changed)))
        return failure(QStringLiteral("the options could not be saved: the settings file "
                                      "refused the change"));
    return success(optionsLine(rule, book.options(rule)));
}

} // namespace pressbird::control
