#include "bididocument.h"

#include "pagescript.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>

namespace pressbird {

namespace {
qint64 nowMs() {
    static QElapsedTimer clock = [] {
        QElapsedTimer started;
        started.start();
        return started;
    }();
    return clock.elapsed();
}

} // namespace

BidiDocument::BidiDocument(std::shared_ptr<BidiConnection> connection, QString context,
                           QString realm)
    : m_connection(std::move(connection))
    , m_context(std::move(context))
    , m_realm(std::move(realm)) {}

// script.evaluate in our sandbox realm; the value comes back serialised.
Task<std::optional<QJsonValue>> BidiDocument::evaluate(QString expression, bool userActivation) {
    if (!alive())
        co_return std::nullopt;
    QJsonObject params{{u"expression"_qs, expression},
                       {u"target"_qs, QJsonObject{{u"realm"_qs, m_realm}}},
                       {u"awaitPromise"_qs, false},
                       {u"resultOwnership"_qs, u"none"_qs}};
    if (userActivation)
        params.insert(u"userActivation"_qs, true);
    const BidiReply reply = co_await m_connection->call(u"script.evaluate"_qs, params, m_context);
    if (reply.failure == BidiFailure::Error || reply.failure == BidiFailure::Closed) {
        // The realm is gone with its document ("no such frame", "no such realm").
        m_gone = true;
        co_return std::nullopt;
    }
    if (!reply.ok() || reply.result.value(u"type").toString() != u"success")
        co_return std::nullopt;
    co_return reply.result.value(u"result").toObject().value(u"value");
}

// A field too long to cross in a block reads as failed here: the rule it is
// tested against is passed over, never matched against part of the text.
Task<std::optional<int>> BidiDocument::fetch(Collection collection, int start, int count,
                                             bool withText) {
    block(collection).valid = false;
    const std::optional<QJsonValue> answer =
        co_await evaluate(rowsExpression(collection, start, count, withText), false);
    const std::optional<PageRows> parsed =
        answer && answer->isString() ? parseRows(answer->toString()) : std::nullopt;
    if (!parsed)
        co_return std::nullopt;
    Block &target = block(collection);
    target.rows.clear();
    for (const PageRow &row : parsed->rows)
        target.rows.append(Row{row.tag, row.value, row.text});
    target.valid = true;
    target.withText = withText;
    target.start = start;
    target.fetchedMs = nowMs();
    co_return parsed->length;
}

Async<std::optional<QString>> BidiDocument::read(Collection collection, int index, Field field) {
    if (!alive() || index < 0)
        return std::optional<QString>();
    const Block &cached = block(collection);
    const bool needText = field == &Row::text;
    const bool hit = cached.valid && index >= cached.start &&
                     index < cached.start + cached.rows.size() && (cached.withText || !needText) &&
                     nowMs() - cached.fetchedMs < kMaxBlockAgeMs;
    if (!hit)
        return readFromPage(collection, index, field);
    m_lastIndex = index;
    return cached.rows.at(index - cached.start).*field;
}

Task<std::optional<QString>> BidiDocument::readFromPage(Collection collection, int index,
                                                        Field field) {
    Block &cached = block(collection);
    const bool sequential = cached.valid && index == cached.start + cached.rows.size();
    cached.nextSize = sequential ? std::min(cached.nextSize * 2, kMaxBlock) : kFirstBlock;
    const bool withText = field == &Row::text || collection == Collection::Links;
    const std::optional<int> length = co_await fetch(collection, index, cached.nextSize, withText);
    if (!length)
        co_return std::nullopt;
    m_lastIndex = index;
    const qsizetype offset = index - cached.start;
    if (offset >= cached.rows.size())
        co_return std::nullopt;
    co_return cached.rows.at(offset).*field;
}

void BidiDocument::dropBlocks() {
    for (Block &each : m_blocks) {
        each.valid = false;
        each.nextSize = kFirstBlock;
    }
}

Async<std::optional<int>> BidiDocument::length(Collection collection) {
    dropBlocks();
    return fetch(collection, m_lastIndex, kFirstBlock, collection == Collection::Links);
}

Async<std::optional<QString>> BidiDocument::tagName(Collection collection, int index) {
    return read(collection, index, &Row::tag);
}

Async<std::optional<QString>> BidiDocument::value(Collection collection, int index) {
    return read(collection, index, &Row::value);
}

Async<std::optional<QString>> BidiDocument::outerText(Collection collection, int index) {
    return read(collection, index, &Row::text);
}

Async<bool> BidiDocument::click(Collection collection, int index) {
    dropBlocks();
    if (!alive())
        return false;
    return press(clickExpression(collection, index));
}

// The same outline as the DevTools backend draws; reads are unaffected.
Async<bool> BidiDocument::outline(Collection collection, int index, int ms) {
    if (!alive())
        return false;
    return mark(outlineExpression(collection, index, std::clamp(ms, 0, 60000)));
}

Task<bool> BidiDocument::mark(QString expression) {
    const std::optional<QJsonValue> drawn = co_await evaluate(expression, false);
    co_return drawn && drawn->toBool();
}

Task<bool> BidiDocument::press(QString expression) {
    const QJsonObject params{{u"expression"_qs, expression},
                             {u"target"_qs, QJsonObject{{u"realm"_qs, m_realm}}},
                             {u"awaitPromise"_qs, false},
                             {u"resultOwnership"_qs, u"none"_qs},
                             {u"userActivation"_qs, true}};
    const BidiReply reply = co_await m_connection->call(u"script.evaluate"_qs, params, m_context);
    // A dialog opened by the page's click handler holds the answer back: the
    // press itself has happened.
    if (reply.failure == BidiFailure::Prompt)
        co_return true;
    if (reply.failure == BidiFailure::Error || reply.failure == BidiFailure::Closed)
        m_gone = true;
    co_return reply.ok() && reply.result.value(u"type").toString() == u"success" &&
        reply.result.value(u"result").toObject().value(u"value").toBool();
}

} // namespace pressbird
