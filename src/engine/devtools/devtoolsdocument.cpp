#include "devtoolsdocument.h"

#include "pagescript.h"

#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>
#include <ctime>

namespace pressbird {

namespace {
// A block's age is asked at every read, tens of thousands of times per scan;
// the coarse clock is a few milliseconds fine and costs a fraction of the
// precise one, and a bound of one second needs no more.
qint64 coarseNowMs() {
#ifdef CLOCK_MONOTONIC_COARSE
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
    return qint64(now.tv_sec) * 1000 + now.tv_nsec / 1'000'000;
#else
    return QDeadlineTimer::current(Qt::CoarseTimer).deadline();
#endif
}

std::optional<QString> textOf(const QJsonValue &value) {
    if (!value.isString())
        return std::nullopt;
    return value.toString();
}
} // namespace

DevToolsDocument::DevToolsDocument(std::shared_ptr<CdpConnection> connection, CdpSessionPtr session,
                                   QString uniqueContextId, QString loaderId)
    : m_connection(std::move(connection))
    , m_session(std::move(session))
    , m_uniqueContextId(std::move(uniqueContextId))
    , m_loaderId(std::move(loaderId)) {}

bool DevToolsDocument::alive() const {
    // The loader id moves on with every main-frame navigation, including a
    // page restored from the back-forward cache, whose old world still exists.
    return !m_gone && m_session->usable() && m_session->mainLoaderId == m_loaderId;
}

// Not a coroutine: the call's own frame holds the connection and the session.
Task<CdpReply> DevToolsDocument::run(const QString &expression, bool userGesture) {
    const QJsonObject params{{u"expression"_qs, expression},
                             {u"uniqueContextId"_qs, m_uniqueContextId},
                             {u"returnByValue"_qs, true},
                             {u"silent"_qs, true},
                             {u"userGesture"_qs, userGesture}};
    return m_connection->call(u"Runtime.evaluate"_qs, params, m_session);
}

Task<std::optional<QJsonValue>> DevToolsDocument::evaluate(QString expression, bool userGesture) {
    if (!alive())
        co_return std::nullopt;
    const CdpReply reply = co_await run(expression, userGesture);
    if (reply.failure == CdpFailure::Error || reply.failure == CdpFailure::SessionGone ||
        reply.failure == CdpFailure::Closed) {
        // The context is gone ("uniqueContextId not found"): it never comes back.
        m_gone = true;
        co_return std::nullopt;
    }
    if (!reply.ok() || reply.result.contains(u"exceptionDetails"))
        co_return std::nullopt;
    co_return reply.result.value(u"result").toObject().value(u"value");
}

Task<std::optional<int>> DevToolsDocument::fetch(Collection collection, int start, int count,
                                                 bool withText) {
    block(collection).valid = false;
    const std::optional<QJsonValue> answer =
        co_await evaluate(rowsExpression(collection, start, count, withText), false);
    if (!answer || !answer->isString())
        co_return std::nullopt;
    const QJsonArray pair = QJsonDocument::fromJson(answer->toString().toUtf8()).array();
    if (!pair.at(0).isDouble())
        co_return std::nullopt;
    Block &target = block(collection);
    target.rows.clear();
    for (const QJsonValue item : pair.at(1).toArray()) {
        if (item.isString()) {
            target.rows.append(Row{item.toString(), std::nullopt, std::nullopt});
            continue;
        }
        const QJsonArray fields = item.toArray();
        target.rows.append(Row{textOf(fields.at(0)), textOf(fields.at(1)), textOf(fields.at(2))});
    }
    target.valid = true;
    target.withText = withText;
    target.start = start;
    target.fetchedMs = coarseNowMs();
    co_return pair.at(0).toInt();
}

// A read the cached block answers costs no round trip and no coroutine frame:
// the scan makes tens of thousands of them.
Async<std::optional<QString>> DevToolsDocument::read(Collection collection, int index,
                                                     Field field) {
    if (!alive() || index < 0)
        return std::optional<QString>();
    const Block &cached = block(collection);
    const bool needText = field == &Row::text;
    const bool hit = cached.valid && index >= cached.start &&
                     index < cached.start + cached.rows.size() && (cached.withText || !needText) &&
                     coarseNowMs() - cached.fetchedMs < kMaxBlockAgeMs;
    if (!hit)
        return readFromPage(collection, index, field);
    m_lastIndex = index;
    return cached.rows.at(index - cached.start).*field;
}

Task<std::optional<QString>> DevToolsDocument::readFromPage(Collection collection, int index,
                                                            Field field) {
    Block &cached = block(collection);
    // A walk moving on to the next block reads ever larger blocks.
    const bool sequential = cached.valid && index == cached.start + cached.rows.size();
    cached.nextSize = sequential ? std::min(cached.nextSize * 2, kMaxBlock) : kFirstBlock;
    // The link pass reads texts; the button pass reads tags and values.
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

void DevToolsDocument::dropBlocks() {
    for (Block &each : m_blocks) {
        each.valid = false;
        each.nextSize = kFirstBlock;
    }
}

Async<std::optional<int>> DevToolsDocument::length(Collection collection) {
    dropBlocks();
    // The walk reads on from where it stands (0 at its start, the clicked
    // element after a click), so the length comes with the block from there.
    return fetch(collection, m_lastIndex, kFirstBlock, collection == Collection::Links);
}

Async<std::optional<QString>> DevToolsDocument::tagName(Collection collection, int index) {
    return read(collection, index, &Row::tag);
}

Async<std::optional<QString>> DevToolsDocument::value(Collection collection, int index) {
    return read(collection, index, &Row::value);
}

Async<std::optional<QString>> DevToolsDocument::outerText(Collection collection, int index) {
    return read(collection, index, &Row::text);
}

Async<bool> DevToolsDocument::click(Collection collection, int index) {
    dropBlocks();
    if (!alive())
        return false;
    return press(clickExpression(collection, index));
}

Task<bool> DevToolsDocument::press(QString expression) {
    const CdpReply reply = co_await run(expression, true);
    // A dialog opened by the page's click handler holds the answer back: the
    // press itself has happened.
    if (reply.failure == CdpFailure::Dialog)
        co_return true;
    if (reply.failure == CdpFailure::Error)
        m_gone = true;
    co_return reply.ok() && reply.result.value(u"result").toObject().value(u"value").toBool();
}

// Changes no text nor value: the blocks read before stay good.
Async<bool> DevToolsDocument::outline(Collection collection, int index, int ms) {
    if (!alive() || index < 0)
        return false;
    return mark(outlineExpression(collection, index, std::clamp(ms, 0, kMaxOutlineMs)));
}

Task<bool> DevToolsDocument::mark(QString expression) {
    const std::optional<QJsonValue> answer = co_await evaluate(std::move(expression), false);
    co_return answer && answer->toBool();
}

} // namespace pressbird
