#include "rulesfile.h"

#include "ruleentry.h"
#include "ruleoptionsbook.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

namespace pressbird {

namespace {

const QString kFormat = QStringLiteral("pressbird-rules");

// The kind is what follows the first separator, as the rule test reads it.
QJsonObject ruleObject(const QString &text, bool ticked) {
    const qsizetype split = text.indexOf(kTypeSeparator);
    const QString name = split < 0 ? text : text.first(split);
    const QString kind = split < 0 ? QString() : text.sliced(split + kTypeSeparator.size());
    return {{QStringLiteral("name"), name},
            {QStringLiteral("kind"), kind},
            {QStringLiteral("ticked"), ticked}};
}

QJsonArray listArray(const RuleList &list, RuleListKind kind, const RuleOptionsBook *book) {
    QJsonArray array;
    for (std::int16_t i = 0; i < list.count(); ++i) {
        if (const std::optional<QString> text = list.text(i)) {
            QJsonObject rule = ruleObject(*text, list.ticked(i).value_or(false));
            if (const RuleOptions *options = book ? book->find({kind, *text}) : nullptr)
                addOptionsTo(rule, *options);
            array.append(rule);
        }
    }
    return array;
}

// As the rule test reads a kind: lowered, up to any further separator, trimmed.
bool isKnownKind(const QString &kind) {
    const QString lowered = kind.toLower();
    const qsizetype more = lowered.indexOf(kTypeSeparator.toString().toLower());
    const QString normal = TrimBlanks(more < 0 ? lowered : lowered.first(more)).toString();
    return normal == u"starts with" || normal == u"ends with" || normal == u"exact match" ||
           normal == u"contains";
}

std::optional<QString> readList(const QJsonObject &file, const QString &key,
                                QList<RuleLine> &lines) {
    const QJsonValue value = file.value(key);
    if (value.isUndefined())
        return std::nullopt;
    if (!value.isArray())
        return QStringLiteral("%1 is not a list").arg(key);
    const QJsonArray array = value.toArray();
    if (array.size() > RuleList::kMaxEntries)
        return QStringLiteral("%1 holds %2 rules, more than a list can hold (%3)")
            .arg(key)
            .arg(array.size())
            .arg(RuleList::kMaxEntries);
    for (qsizetype i = 0; i < array.size(); ++i) {
        const QString place = QStringLiteral("%1[%2]").arg(key).arg(i);
        const QJsonObject rule = array.at(i).toObject();
        if (!array.at(i).isObject())
            return QStringLiteral("%1 is not a rule").arg(place);
        const QJsonValue name = rule.value(u"name");
        const QJsonValue kind = rule.value(u"kind");
        const QJsonValue ticked = rule.value(u"ticked");
        if (!name.isString() || name.toString().isEmpty())
            return QStringLiteral("%1.name is missing or empty").arg(place);
        if (!kind.isString() || !isKnownKind(kind.toString()))
            return QStringLiteral("%1.kind is not one of Starts With, Ends With, Exact Match, "
                                  "Contains")
                .arg(place);
        if (!ticked.isUndefined() && !ticked.isBool())
            return QStringLiteral("%1.ticked is neither true nor false").arg(place);
        std::variant<RuleOptions, QString> options = optionsFromObject(rule);
        if (const QString *why = std::get_if<QString>(&options))
            return QStringLiteral("%1.%2").arg(place, *why);
        lines.append({MakeEntryText(name.toString(), kind.toString()), ticked.toBool(),
                      std::get<RuleOptions>(std::move(options))});
    }
    return std::nullopt;
}

QString lineAndColumn(const QByteArray &bytes, int offset) {
    const QByteArray before = bytes.left(offset);
    const qsizetype line = before.count('\n') + 1;
    const qsizetype column = offset - (before.lastIndexOf('\n') + 1) + 1;
    return QStringLiteral("line %1, column %2").arg(line).arg(column);
}

// Adds what the list lacks; false (the list unchanged) when it would overflow.
bool addMissing(const QList<RuleLine> &lines, EditableRuleList &list, int &added) {
    QSet<QString> present;
    for (std::int16_t i = 0; i < list.count(); ++i)
        present.insert(list.text(i).value_or(QString()));
    QList<RuleLine> fresh;
    for (const RuleLine &line : lines) {
        if (!present.contains(line.text)) {
            present.insert(line.text);
            fresh.append(line);
        }
    }
    if (list.count() + fresh.size() > RuleList::kMaxEntries)
        return false;
    for (const RuleLine &line : fresh) {
        list.append(line.text);
        list.setTicked(list.count() - 1, line.ticked);
        ++added;
    }
    return true;
}

} // namespace

QByteArray ExportRules(const RuleList &links, const RuleList &buttons,
                       const RuleOptionsBook *options) {
    const QJsonObject file{
        {QStringLiteral("format"), kFormat},
        {QStringLiteral("version"), 1},
        {QStringLiteral("links"), listArray(links, RuleListKind::Links, options)},
        {QStringLiteral("buttons"), listArray(buttons, RuleListKind::Buttons, options)}};
    return QJsonDocument(file).toJson(QJsonDocument::Indented);
}

RulesFileRead ParseRulesFile(const QByteArray &bytes) {
    if (bytes.size() > kMostRulesFileBytes)
        return {std::nullopt, QStringLiteral("the file is larger than %1 MiB")
                                  .arg(kMostRulesFileBytes / (1024 * 1024))};
    // No file of both full lists holds more objects than this: refused before
    // a parse could spend memory on a million of them.
    if (bytes.count('{') > 2 * qsizetype(RuleList::kMaxEntries) + 1)
        return {std::nullopt, QStringLiteral("it holds more rules than both lists can hold")};
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError)
        return {std::nullopt, QStringLiteral("it is not valid JSON at %1: %2")
                                  .arg(lineAndColumn(bytes, error.offset), error.errorString())};
    const QJsonObject file = document.object();
    if (!document.isObject() || file.value(u"format").toString() != kFormat)
        return {std::nullopt, QStringLiteral("it is not a Pressbird rules file (no \"format\": "
                                             "\"%1\")")
                                  .arg(kFormat)};
    RulesFile rules;
    if (std::optional<QString> why = readList(file, QStringLiteral("links"), rules.links))
        return {std::nullopt, *why};
    if (std::optional<QString> why = readList(file, QStringLiteral("buttons"), rules.buttons))
        return {std::nullopt, *why};
    return {rules, {}};
}

RulesFileRead ReadRulesFile(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {std::nullopt, QStringLiteral("it cannot be read: %1").arg(file.errorString())};
    if (file.size() > kMostRulesFileBytes)
        return {std::nullopt, QStringLiteral("the file is larger than %1 MiB")
                                  .arg(kMostRulesFileBytes / (1024 * 1024))};
    // A device or a pipe reports no size: read one byte past the limit at most.
    const QByteArray bytes = file.read(kMostRulesFileBytes + 1);
    return ParseRulesFile(bytes);
}

std::optional<QString> AddImportedRules(const RulesFile &rules, EditableRuleList &links,
                                        EditableRuleList &buttons, int *added,
                                        RuleOptionsBook *options) {
    int count = 0;
    // Checked for both lists before either changes.
    const auto fits = [](const QList<RuleLine> &lines, const RuleList &list) {
        QSet<QString> present;
        for (std::int16_t i = 0; i < list.count(); ++i)
            present.insert(list.text(i).value_or(QString()));
        qsizetype fresh = 0;
        for (const RuleLine &line : lines)
            fresh += present.contains(line.text) ? 0 : (present.insert(line.text), 1);
        return list.count() + fresh <= RuleList::kMaxEntries;
    };
    if (!fits(rules.links, links))
        return QStringLiteral("the link list would hold more than %1 rules")
            .arg(RuleList::kMaxEntries);
    if (!fits(rules.buttons, buttons))
        return QStringLiteral("the button list would hold more than %1 rules")
            .arg(RuleList::kMaxEntries);
    addMissing(rules.links, links, count);
    addMissing(rules.buttons, buttons, count);
    if (options) {
        QList<std::pair<RuleKey, RuleOptions>> imported;
        for (const auto &[kind, lines] : {std::pair{RuleListKind::Links, &rules.links},
                                          std::pair{RuleListKind::Buttons, &rules.buttons}})
            for (const RuleLine &line : *lines)
                imported.append({{kind, line.text}, line.options});
        options->addWhereNone(imported);
    }
    if (added)
        *added = count;
    return std::nullopt;
}

} // namespace pressbird
