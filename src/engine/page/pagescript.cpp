#include "pagescript.h"

#include "pagescriptsource.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>
#include <limits>

namespace pressbird {

namespace {
bool isLinks(Collection collection) {
    return collection == Collection::Links;
}

// The classic options are no arguments at all: a classic call is as it ever was.
void addOptions(QJsonObject &args, const PageOptions &options) {
    if (options.today) {
        args.insert(u"today"_qs, true);
        args.insert(u"elementBudget"_qs, kTodayElementBudget);
    }
    if (options.visibleOnly)
        args.insert(u"visibleOnly"_qs, true);
}

QString argumentsOf(const PageCall &call) {
    // JSON is a JavaScript literal: the arguments cross as data, never as code.
    return QString::fromUtf8(QJsonDocument(call.args).toJson(QJsonDocument::Compact));
}
} // namespace

PageCall rowsCall(Collection collection, int start, int count, bool withText,
                  std::optional<qint64> unless, const QJsonObject &filter,
                  const PageOptions &options) {
    PageCall call{u"rows"_qs,
                  {{u"links"_qs, isLinks(collection)},
                   {u"start"_qs, start},
                   {u"count"_qs, count},
                   {u"withText"_qs, withText},
                   {u"inlineChars"_qs, kInlineChars},
                   {u"blockChars"_qs, kBlockChars}}};
    if (unless)
        call.args.insert(u"unless"_qs, *unless);
    if (!filter.isEmpty())
        call.args.insert(u"filter"_qs, filter);
    addOptions(call.args, options);
    return call;
}

PageCall rowsCallAlso(PageCall call, const PageCall &also) {
    call.args.insert(u"also"_qs, also.args);
    return call;
}

namespace {
// The page's number for a kind of rule; -1 for one that matches nothing.
int pageKindOf(ParsedRule::Kind kind) {
    switch (kind) {
    case ParsedRule::Kind::StartsWith:
        return 0;
    case ParsedRule::Kind::EndsWith:
        return 1;
    case ParsedRule::Kind::ExactMatch:
        return 2;
    case ParsedRule::Kind::Contains:
        return 3;
    case ParsedRule::Kind::Unknown:
        break;
    }
    return -1;
}
} // namespace

QJsonObject filterArguments(const TextFilter &filter) {
    QJsonArray rules;
    for (const TextFilter::Rule &rule : filter.rules) {
        if (const int kind = pageKindOf(rule.kind); kind >= 0)
            rules.append(QJsonArray{kind, rule.pattern});
    }
    return {{u"input"_qs, filter.field == TextFilter::Field::InputValue}, {u"rules"_qs, rules}};
}

PageCall longFieldCall(Collection collection, int index, int field, qint64 known,
                       const PageOptions &options) {
    PageCall call{u"longField"_qs,
                  {{u"links"_qs, isLinks(collection)},
                   {u"index"_qs, index},
                   {u"field"_qs, field},
                   {u"known"_qs, known},
                   {u"pieceChars"_qs, kPieceChars},
                   {u"maxChars"_qs, kMaxFieldChars}}};
    addOptions(call.args, options);
    return call;
}

PageCall pieceCall(qint64 token, qint64 offset) {
    return {u"piece"_qs,
            {{u"token"_qs, token}, {u"offset"_qs, offset}, {u"pieceChars"_qs, kPieceChars}}};
}

PageCall clickCall(Collection collection, int index, const PageOptions &options) {
    PageCall call{u"click"_qs, {{u"links"_qs, isLinks(collection)}, {u"index"_qs, index}}, true};
    addOptions(call.args, options);
    return call;
}

ClickAnswer clickAnswer(const QJsonValue &answer) {
    if (answer.isBool())
        return {answer.toBool(), false};
    const int said = answer.toInt(0);
    return {said == 1 || said == 2, said == 2};
}

PageCall outlineCall(Collection collection, int index, int ms, const PageOptions &options) {
    PageCall call{u"outline"_qs,
                  {{u"links"_qs, isLinks(collection)}, {u"index"_qs, index}, {u"ms"_qs, ms}}};
    addOptions(call.args, options);
    return call;
}

QString pageScriptSource() {
    return QString::fromUtf8(kPageScript);
}

QString callExpression(const PageCall &call) {
    // The operations are looked up as an own property of the world's global:
    // an element named like them is no stand-in. The name comes from our code.
    return u"(() => { const own = Object.getOwnPropertyDescriptor(globalThis, 'pressbirdPage');"
           u" return own === undefined ? undefined : own.value.%1(%2); })()"_qs.arg(
               call.op, argumentsOf(call));
}

QString installingCallExpression(const PageCall &call) {
    return pageScriptSource() + u"\n;"_qs + callExpression(call);
}

namespace {
// A string is the field; a number, the length of one left out; else none.
std::optional<QString> field(const QJsonValue &value, unsigned bit, unsigned &longFields) {
    if (value.isString())
        return value.toString();
    if (value.isDouble())
        longFields |= bit;
    return std::nullopt;
}

// A tag by its number in the block's table; a negative number is the length
// of one left out.
std::optional<QString> tagOf(const QJsonValue &value, const QStringList &tags,
                             unsigned &longFields) {
    const double number = value.toDouble(std::numeric_limits<double>::quiet_NaN());
    if (number >= 0 && number < tags.size() && number == std::floor(number))
        return tags.at(qsizetype(number));
    if (number < 0)
        longFields |= 1;
    return std::nullopt;
}
} // namespace

namespace {
std::optional<PageRows> parseBlock(const QJsonArray &answer) {
    const double length = answer.at(0).toDouble(-1);
    const double generation = answer.at(2).toDouble(-1);
    // Whole numbers a double holds exactly: the page counts up from 0.
    if (!answer.at(0).isDouble() || !(length >= 0 && length <= std::numeric_limits<int>::max()) ||
        !answer.at(2).isDouble() || !(generation >= 0 && generation <= 9007199254740991.0) ||
        !(answer.at(1).isArray() || answer.at(1).isNull()))
        return std::nullopt;
    PageRows parsed;
    parsed.length = int(length);
    parsed.generation = qint64(generation);
    parsed.unchanged = answer.at(1).isNull();
    // Each distinct tag name is made once; the rows share it.
    QStringList tags;
    for (const QJsonValue tag : answer.at(3).toArray())
        tags.append(tag.toString());
    const QJsonArray rows = answer.at(1).toArray();
    // An older page script ends a classic answer early, and today's with the cut.
    parsed.today = answer.at(6).isBool();
    parsed.cut = answer.at(6).toBool();
    parsed.tells = answer.at(7).toBool();
    parsed.recheckMs = answer.at(8).toInt(0);
    if (answer.at(4).isArray() && !parsed.unchanged) {
        // Filtered: one index per row, ascending, and the end no lower.
        const QJsonArray indices = answer.at(4).toArray();
        const double end = answer.at(5).toDouble(-1);
        if (indices.size() != rows.size() || !(end >= 0 && end <= length) || end != std::floor(end))
            return std::nullopt;
        parsed.filtered = true;
        parsed.end = int(end);
        parsed.indices.reserve(indices.size());
        for (const QJsonValue index : indices) {
            const double number = index.toDouble(-1);
            if (!(number >= 0 && number < parsed.end && number == std::floor(number)) ||
                (!parsed.indices.isEmpty() && int(number) <= parsed.indices.constLast()))
                return std::nullopt;
            parsed.indices.append(int(number));
        }
    }
    parsed.rows.reserve(rows.size());
    for (const QJsonValue item : rows) {
        PageRow &row = parsed.rows.emplaceBack();
        if (!item.isArray()) {
            row.tag = tagOf(item, tags, row.longFields);
            continue;
        }
        const QJsonArray fields = item.toArray();
        row.tag = tagOf(fields.at(0), tags, row.longFields);
        row.value = field(fields.at(1), 2, row.longFields);
        row.text = field(fields.at(2), 4, row.longFields);
    }
    return parsed;
}
} // namespace

std::optional<PageRows> parseRows(const QString &json) {
    const QJsonArray answer = QJsonDocument::fromJson(json.toUtf8()).array();
    std::optional<PageRows> parsed = parseBlock(answer);
    if (!parsed || !answer.at(9).isArray())
        return parsed;
    // The other block asked for, read at the same counter; one that is not
    // is left out, and read on its own when wanted.
    std::optional<PageRows> also = parseBlock(answer.at(9).toArray());
    if (also && also->generation == parsed->generation)
        parsed->also.push_back(std::move(*also));
    return parsed;
}

std::optional<LongFieldStart> parseLongField(const QJsonValue &answer) {
    const QJsonObject object = answer.toObject();
    LongFieldStart start;
    if (object.value(u"same").toBool()) {
        start.same = true;
        return start;
    }
    start.token = object.value(u"token").toInteger(0);
    start.length = object.value(u"length").toInteger(-1);
    const QJsonValue piece = object.value(u"piece");
    if (start.token <= 0 || start.length < 0 || start.length > kMaxFieldChars || !piece.isString())
        return std::nullopt;
    start.piece = piece.toString();
    if (start.piece.size() > start.length)
        return std::nullopt;
    return start;
}

} // namespace pressbird
