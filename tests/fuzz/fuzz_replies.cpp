// What a browser sends, made of any bytes: a protocol message, the rows of a
// block inside it, the start of a long field. Nothing crashes, and what is
// accepted holds to the shape the backend relies on.

#include "cdpconnection.h"
#include "pagescript.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>
#include <cstdlib>
#include <functional>

using namespace pressbird;

namespace {

void checkRows(const QString &json) {
    const std::optional<PageRows> parsed = parseRows(json);
    if (!parsed)
        return;
    if (parsed->length < 0)
        std::abort();
    // A filtered block names one element per row, ascending, inside the block.
    if (parsed->filtered &&
        (parsed->indices.size() != parsed->rows.size() || parsed->end > parsed->length ||
         !std::is_sorted(parsed->indices.cbegin(), parsed->indices.cend(), std::less_equal<>()) ||
         (!parsed->indices.isEmpty() &&
          (parsed->indices.constFirst() < 0 || parsed->indices.constLast() >= parsed->end))))
        std::abort();
    for (const PageRow &row : parsed->rows) {
        const bool longTag = row.longFields & 1;
        const bool longValue = row.longFields & 2;
        const bool longText = row.longFields & 4;
        if (row.longFields > 7 || (longTag && row.tag) || (longValue && row.value) ||
            (longText && row.text))
            std::abort();
    }
}

void checkLongField(const QJsonValue &answer) {
    const std::optional<LongFieldStart> start = parseLongField(answer);
    if (!start || start->same)
        return;
    if (start->token <= 0 || start->length < 0 || start->length > kMaxFieldChars ||
        start->piece.size() > start->length)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size) {
    const QByteArray data(reinterpret_cast<const char *>(bytes), qsizetype(size));
    const QString text = QString::fromUtf8(data);

    const CdpMessage message = parseCdpMessage(text);
    switch (message.kind) {
    case CdpMessage::Kind::None:
        if (message.id != -1 || !message.result.isEmpty() || !message.params.isEmpty())
            std::abort();
        break;
    case CdpMessage::Kind::Event:
        if (message.id != -1 || message.failed)
            std::abort();
        break;
    case CdpMessage::Kind::Reply:
        if (message.failed && !message.result.isEmpty())
            std::abort();
        break;
    }
    // As the document takes an evaluation's answer out of a reply.
    const QJsonValue value = message.result.value(u"result").toObject().value(u"value");
    if (value.isString())
        checkRows(value.toString());
    checkLongField(value);

    // And each on its own.
    checkRows(text);
    checkLongField(QJsonDocument::fromJson('[' + data + ']').array().at(0));
    return 0;
}
