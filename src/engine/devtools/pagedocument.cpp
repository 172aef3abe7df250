#include "pagedocument.h"

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

// A field's number in the page script, and its bit in PageRow::longFields.
int fieldNumber(std::optional<QString> PageRow::*field) {
    return field == &PageRow::tag ? 0 : field == &PageRow::value ? 1 : 2;
}
} // namespace

Task<std::optional<int>> PageDocument::fetch(Collection collection, int start, int count,
                                             bool withText) {
    block(collection).valid = false;
    const std::optional<QJsonValue> answer =
        co_await call(rowsCall(collection, start, count, withText));
    std::optional<PageRows> parsed;
    if (answer && answer->isString())
        parsed = parseRows(answer->toString());
    if (!parsed)
        co_return std::nullopt;
    Block &target = block(collection);
    target.rows = std::move(parsed->rows);
    target.valid = true;
    target.withText = withText;
    target.start = start;
    target.fetchedMs = coarseNowMs();
    co_return parsed->length;
}

// A read the cached block answers costs no round trip and no coroutine frame:
// the scan makes tens of thousands of them.
Async<std::optional<QString>> PageDocument::read(Collection collection, int index, Field field) {
    if (!alive() || index < 0)
        return std::optional<QString>();
    const Block &cached = block(collection);
    const bool needText = field == &PageRow::text;
    const bool hit = cached.valid && index >= cached.start &&
                     index < cached.start + cached.rows.size() && (cached.withText || !needText) &&
                     coarseNowMs() - cached.fetchedMs < kMaxBlockAgeMs;
    if (!hit)
        return readFromPage(collection, index, field);
    m_lastIndex = index;
    const PageRow &row = cached.rows.at(index - cached.start);
    if (row.longFields & (1u << fieldNumber(field)))
        return readLong(collection, index, field);
    return row.*field;
}

Task<std::optional<QString>> PageDocument::readFromPage(Collection collection, int index,
                                                        Field field) {
    Block &cached = block(collection);
    // A walk moving on to the next block reads ever larger blocks.
    const bool sequential = cached.valid && index == cached.start + cached.rows.size();
    cached.nextSize = sequential ? std::min(cached.nextSize * 2, kMaxBlock) : kFirstBlock;
    // The link pass reads texts; the button pass reads tags and values.
    const bool withText = field == &PageRow::text || collection == Collection::Links;
    const std::optional<int> length = co_await fetch(collection, index, cached.nextSize, withText);
    if (!length)
        co_return std::nullopt;
    m_lastIndex = index;
    const qsizetype offset = index - cached.start;
    if (offset >= cached.rows.size())
        co_return std::nullopt;
    const PageRow &row = cached.rows.at(offset);
    if (row.longFields & (1u << fieldNumber(field)))
        co_return co_await readLong(collection, index, field);
    co_return row.*field;
}

// The same rule of freshness as a block's: a text the page gave or confirmed
// less than kMaxBlockAgeMs ago, with no click nor length read since.
Async<std::optional<QString>> PageDocument::readLong(Collection collection, int index,
                                                     Field field) {
    const int number = fieldNumber(field);
    const bool fresh = m_long.token != 0 && !m_long.stale && m_long.collection == collection &&
                       m_long.index == index && m_long.field == number &&
                       coarseNowMs() - m_long.checkedMs < kMaxBlockAgeMs;
    if (fresh)
        return std::optional<QString>(m_long.text);
    return fetchLong(collection, index, number);
}

Task<std::optional<QString>> PageDocument::fetchLong(Collection collection, int index, int field) {
    const std::optional<QJsonValue> answer =
        co_await call(longFieldCall(collection, index, field, m_long.token));
    const qint64 answeredMs = coarseNowMs();
    const std::optional<LongFieldStart> first = answer ? parseLongField(*answer) : std::nullopt;
    if (first && first->same && m_long.token != 0) {
        m_long.collection = collection;
        m_long.index = index;
        m_long.field = field;
        m_long.checkedMs = answeredMs;
        m_long.stale = false;
        co_return m_long.text;
    }
    // Whatever comes now replaces what was kept: let it go before the new text grows.
    m_long = LongField();
    if (!first || first->same)
        co_return std::nullopt;
    QString text;
    text.reserve(first->length);
    text.append(first->piece);
    // Each piece waits its own time; the whole text gets a budget of its own,
    // looked at between the pieces.
    const QDeadlineTimer budget(qint64(kLongFieldCalls) * callTimeoutMs());
    while (text.size() < first->length) {
        if (budget.hasExpired())
            co_return std::nullopt;
        const std::optional<QJsonValue> answered =
            co_await call(pieceCall(first->token, text.size()));
        const QString piece = answered ? answered->toString() : QString();
        // An empty piece would never end the text.
        if (piece.isEmpty() || text.size() + piece.size() > first->length)
            co_return std::nullopt;
        text.append(piece);
    }
    m_long = LongField{first->token, text, collection, index, field, answeredMs, false};
    co_return text;
}

void PageDocument::dropBlocks() {
    for (Block &each : m_blocks) {
        each.valid = false;
        each.nextSize = kFirstBlock;
    }
    m_long.stale = true; // kept: the page may still confirm it without sending it again
}

Async<std::optional<int>> PageDocument::length(Collection collection) {
    dropBlocks();
    // The walk reads on from where it stands (0 at its start, the clicked
    // element after a click), so the length comes with the block from there.
    return fetch(collection, m_lastIndex, kFirstBlock, collection == Collection::Links);
}

Async<std::optional<QString>> PageDocument::tagName(Collection collection, int index) {
    return read(collection, index, &PageRow::tag);
}

Async<std::optional<QString>> PageDocument::value(Collection collection, int index) {
    return read(collection, index, &PageRow::value);
}

Async<std::optional<QString>> PageDocument::outerText(Collection collection, int index) {
    return read(collection, index, &PageRow::text);
}

Async<bool> PageDocument::click(Collection collection, int index) {
    dropBlocks();
    if (!alive())
        return false;
    return press(clickCall(collection, index));
}

// Changes no text nor value: the blocks read before stay good.
Async<bool> PageDocument::outline(Collection collection, int index, int ms) {
    if (!alive() || index < 0)
        return false;
    return mark(outlineCall(collection, index, std::clamp(ms, 0, kMaxOutlineMs)));
}

Task<bool> PageDocument::mark(PageCall call) {
    const std::optional<QJsonValue> answer = co_await this->call(std::move(call));
    co_return answer && answer->toBool();
}

Task<std::optional<QJsonValue>> ScriptPageDocument::call(PageCall call) {
    const QString expression = callExpression(call);
    std::optional<QJsonValue> answer = co_await evaluate(expression, call.userGesture);
    if (answer && answer->isUndefined()) {
        // A world of ours made since the last call: install, then ask again.
        if (!co_await evaluate(pageScriptSource(), false))
            co_return std::nullopt;
        answer = co_await evaluate(expression, call.userGesture);
    }
    if (answer && answer->isUndefined())
        co_return std::nullopt;
    co_return answer;
}

// A click comes after a read in the same world, but costs one evaluation
// however it stands: the install rides along, doing nothing where it was done.
Task<bool> ScriptPageDocument::press(PageCall call) {
    return pressScript(installingCallExpression(call));
}

} // namespace pressbird
