#include "pagedocument.h"

#include "scanengine.h"

#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>
#include <atomic>
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

PageMemory::PageMemory()
    : id([] {
        static std::atomic<quint64> next{0};
        return ++next;
    }()) {}

void PageMemory::pageChanged() {
    changed = true;
    longField.stale = true;
}

PageDocument::PageDocument(std::shared_ptr<PageMemory> memory)
    : m_memory(std::move(memory)) {}

// Served without asking the page: its counter stood where it stood when the
// block was read the last time the page said, and the page tells of every
// change (none told since), or said so less than kConfirmMs ago; a page that
// reads its blocks again itself, less than kTrustRecheckedMs ago.
bool PageDocument::servable(const Block &kept, qint64 nowMs) const {
    const qint64 sinceConfirmed = nowMs - m_memory->confirmedMs;
    return confirmable(kept, nowMs) && kept.generation == m_memory->generation &&
           (m_memory->rechecks ? sinceConfirmed < kTrustRecheckedMs
                               : m_memory->tells || sinceConfirmed < kConfirmMs);
}

// Worth asking the page whether it still holds: no block older than
// kMaxReuseMs is, unless the page itself reads it again often enough to see
// what its counter cannot.
bool PageDocument::confirmable(const Block &kept, qint64 nowMs) const {
    return kept.valid && !m_memory->changed && kept.options == m_options &&
           (m_memory->rechecks || nowMs - kept.readMs < kMaxReuseMs);
}

namespace {
bool covers(const PageMemory::Block &kept, int index, bool withText) {
    // A block that reaches the collection's end also answers for the index past it.
    return index >= kept.start && (index < kept.end || kept.end == kept.length) &&
           (kept.withText || !withText);
}

// The element's row in the block, or none where the block left it out.
const PageRow *rowOf(const PageMemory::Block &kept, int index) {
    if (kept.filter.isEmpty())
        return &kept.rows.at(index - kept.start);
    const auto found = std::lower_bound(kept.indices.cbegin(), kept.indices.cend(), index);
    if (found == kept.indices.cend() || *found != index)
        return nullptr;
    return &kept.rows.at(found - kept.indices.cbegin());
}

// Whether the block has a row for the element: false past the block's end,
// or where a filter left it out.
bool hasRow(const PageMemory::Block &kept, int index) {
    return index < kept.end && rowOf(kept, index) != nullptr;
}

// Rows that name elements outside the block asked for are no answer.
bool fitsBlock(const PageRows &parsed, int start) {
    return !parsed.filtered || (parsed.end >= start &&
                                (parsed.indices.isEmpty() || parsed.indices.constFirst() >= start));
}
} // namespace

// The block from index on, or the one kept when the page says it still holds.
Task<std::optional<int>> PageDocument::fetch(Collection collection, int index, bool withText,
                                             bool filtered) {
    const Filter &filter = m_filters[collection == Collection::Links];
    filtered = filtered && !filter.arguments.isEmpty();
    withText = withText || (filtered && filter.onText);
    Block &kept = block(collection);
    std::optional<qint64> unless;
    // A block read through another filter may lack rows this one wants.
    const qint64 startMs = coarseNowMs();
    if (confirmable(kept, startMs) && covers(kept, index, withText) &&
        (kept.filter.isEmpty() || (filtered && kept.filter == filter.text))) {
        // A page that tells of every change and told none is as it was,
        // while the document is there at all.
        if (m_memory->tells && servable(kept, startMs) && alive())
            co_return kept.length;
        unless = kept.generation;
    }
    const QJsonObject filterArguments = filtered ? filter.arguments : QJsonObject();
    PageCall request = rowsCall(collection, index, blockCount(collection, index), withText, unless,
                                filterArguments, m_options);
    const Collection other = collection == Collection::Links ? Collection::All : Collection::Links;
    std::optional<Also> also;
    if (index == 0 && filtered) {
        asked(collection) = {true, filterArguments, filter.text, withText, m_options};
        also = alsoCall(other, startMs);
        if (also)
            request = rowsCallAlso(std::move(request), also->call);
    }
    const std::optional<QJsonValue> answer = co_await call(std::move(request));
    std::optional<PageRows> parsed;
    if (answer && answer->isString())
        parsed = parseRows(answer->toString());
    Block &target = block(collection);
    if (!parsed || (parsed->unchanged && parsed->generation != unless) ||
        (parsed->filtered && !filtered) || !fitsBlock(*parsed, index)) {
        target.valid = false;
        m_failed = true;
        co_return std::nullopt;
    }
    const qint64 nowMs = coarseNowMs();
    m_readsBeforeClock = 0;
    if (parsed->generation != m_memory->generation)
        m_memory->longField.stale = true; // to be confirmed by the page again
    m_memory->generation = parsed->generation;
    m_memory->confirmedMs = nowMs;
    m_memory->changed = false;
    m_memory->tells = parsed->tells;
    m_memory->rechecks = parsed->tells && parsed->recheckMs > 0 && parsed->recheckMs <= kMaxReuseMs;
    // A page script without filters (an older extension) sends every row.
    keep(target, *parsed, index, withText, filter.text, nowMs);
    if (also && !parsed->also.empty())
        keepAlso(other, parsed->also.front(), also->unless, nowMs);
    co_return parsed->length;
}

// The walk looks no further than its cap: a block stops there.
int PageDocument::blockCount(Collection collection, int start) const {
    const int cap = m_options.today                   ? kTodayElementBudget
                    : collection == Collection::Links ? ScanEngine::kMaxLinkIndex
                                                      : ScanEngine::kMaxElementIndex;
    return std::max(1, std::min(kBlock, cap + 1 - start));
}

// The block the other pass asked for last, under the options that stand now,
// unless the page need not be asked for it.
std::optional<PageDocument::Also> PageDocument::alsoCall(Collection collection, qint64 nowMs) {
    const PageMemory::Asked &last = asked(collection);
    if (!last.valid || last.options != m_options)
        return std::nullopt;
    const Block &kept = block(collection);
    std::optional<qint64> unless;
    if (confirmable(kept, nowMs) && covers(kept, 0, last.withText) &&
        kept.filter == last.filterText) {
        if (m_memory->tells && servable(kept, nowMs))
            return std::nullopt;
        unless = kept.generation;
    }
    return Also{rowsCall(collection, 0, blockCount(collection, 0), last.withText, unless,
                         last.filterArguments, m_options),
                unless};
}

// The other pass's block, as it asked for it: kept like one it read itself.
void PageDocument::keepAlso(Collection collection, PageRows &parsed, std::optional<qint64> unless,
                            qint64 nowMs) {
    const PageMemory::Asked &last = asked(collection);
    if ((parsed.unchanged && parsed.generation != unless) || !parsed.filtered ||
        !fitsBlock(parsed, 0))
        return;
    keep(block(collection), parsed, 0, last.withText, last.filterText, nowMs);
}

void PageDocument::keep(Block &target, PageRows &parsed, int start, bool withText,
                        const QString &filterText, qint64 nowMs) {
    if (!parsed.unchanged) {
        target.rows = std::move(parsed.rows);
        target.valid = true;
        target.withText = withText;
        target.start = start;
        target.length = parsed.length;
        target.filter = parsed.filtered ? filterText : QString();
        target.indices = std::move(parsed.indices);
        target.end = parsed.filtered ? parsed.end : start + int(target.rows.size());
        target.generation = parsed.generation;
        target.readMs = nowMs;
        target.options = m_options;
    }
    target.today = parsed.today;
    target.cut = parsed.cut;
}

// A read the kept block answers costs no round trip and no coroutine frame:
// the scan makes tens of thousands of them.
Async<std::optional<QString>> PageDocument::read(Collection collection, int index, Field field) {
    if (!alive() || index < 0) {
        m_failed = m_failed || index >= 0;
        return std::optional<QString>();
    }
    const Block &kept = block(collection);
    const bool needText = field == &PageRow::text;
    tickClock();
    if (!servable(kept, m_nowMs) || !covers(kept, index, needText))
        return readFromPage(collection, index, field, true);
    m_lastIndex = index;
    if (index >= kept.end)
        return std::optional<QString>(); // past the collection's end
    const PageRow *row = rowOf(kept, index);
    if (!row)
        return readFromPage(collection, index, field, false);
    if (row->longFields & (1u << fieldNumber(field)))
        return readLong(collection, index, field);
    return row->*field;
}

// The clock is read at every 16th read: a few microseconds apart.
void PageDocument::tickClock() {
    if (--m_readsBeforeClock <= 0) {
        m_readsBeforeClock = 16;
        m_nowMs = coarseNowMs();
    }
}

// Through the filter where one is set, as the walk reads on from here; an
// element the filter leaves out is read again without it.
Task<std::optional<QString>> PageDocument::readFromPage(Collection collection, int index,
                                                        Field field, bool throughFilter) {
    // The link pass reads texts; the button pass reads tags and values.
    const bool withText = field == &PageRow::text || collection == Collection::Links;
    if (!co_await fetch(collection, index, withText, throughFilter))
        co_return std::nullopt;
    const PageRow *row = nullptr;
    if (index < block(collection).end) {
        row = rowOf(block(collection), index);
        if (!row) {
            if (!co_await fetch(collection, index, withText, false))
                co_return std::nullopt;
            if (index < block(collection).end)
                row = rowOf(block(collection), index);
        }
    }
    m_lastIndex = index;
    if (!row)
        co_return std::nullopt;
    if (row->longFields & (1u << fieldNumber(field)))
        co_return co_await readLong(collection, index, field);
    co_return row->*field;
}

// The same rule of freshness as a block's: a text the page gave or confirmed
// with no click nor change told since, less than kConfirmMs ago, or less
// than kMaxReuseMs ago where the page tells of every change (kTrustRecheckedMs
// where it also reads its blocks again itself).
Async<std::optional<QString>> PageDocument::readLong(Collection collection, int index,
                                                     Field field) {
    const int number = fieldNumber(field);
    const PageMemory::LongField &held = m_memory->longField;
    const bool fresh = held.token != 0 && !held.stale && held.collection == collection &&
                       held.index == index && held.field == number &&
                       coarseNowMs() - held.checkedMs < (m_memory->rechecks ? kTrustRecheckedMs
                                                         : m_memory->tells  ? kMaxReuseMs
                                                                            : kConfirmMs);
    if (fresh)
        return std::optional<QString>(held.text);
    return fetchLong(collection, index, number);
}

Task<std::optional<QString>> PageDocument::fetchLong(Collection collection, int index, int field) {
    PageMemory::LongField &held = m_memory->longField;
    const std::optional<QJsonValue> answer =
        co_await call(longFieldCall(collection, index, field, held.token, m_options));
    const qint64 answeredMs = coarseNowMs();
    const std::optional<LongFieldStart> first = answer ? parseLongField(*answer) : std::nullopt;
    if (first && first->same && held.token != 0) {
        held.collection = collection;
        held.index = index;
        held.field = field;
        held.checkedMs = answeredMs;
        held.stale = false;
        co_return held.text;
    }
    // Whatever comes now replaces what was kept: let it go before the new text grows.
    held = PageMemory::LongField();
    // No answer is a failure; an answer of none (a text past the bound) is not.
    m_failed = m_failed || !answer;
    if (!first || first->same)
        co_return std::nullopt;
    QString text;
    text.reserve(first->length);
    text.append(first->piece);
    // Each piece waits its own time; the whole text gets a budget of its own,
    // looked at between the pieces.
    const QDeadlineTimer budget(qint64(kLongFieldCalls) * callTimeoutMs());
    while (text.size() < first->length) {
        if (budget.hasExpired()) {
            m_failed = true;
            co_return std::nullopt;
        }
        const std::optional<QJsonValue> answered =
            co_await call(pieceCall(first->token, text.size()));
        const QString piece = answered ? answered->toString() : QString();
        // An empty piece would never end the text.
        if (piece.isEmpty() || text.size() + piece.size() > first->length) {
            m_failed = true;
            co_return std::nullopt;
        }
        text.append(piece);
    }
    m_memory->longField =
        PageMemory::LongField{first->token, text, collection, index, field, answeredMs, false};
    co_return text;
}

void PageDocument::dropBlocks() {
    for (Block &each : m_memory->blocks)
        each.valid = false;
    m_memory->longField.stale = true; // kept: the page may confirm it without sending it again
}

// Every length is the page's own: the walk's start and its re-reading of the
// count after a click each cost one short round trip, which also tells
// whether the blocks kept still hold.
Async<std::optional<int>> PageDocument::length(Collection collection) {
    // The walk reads on from where it stands (0 at its start, the clicked
    // element after a click), so the length comes with the block from there.
    return fetch(collection, m_lastIndex, collection == Collection::Links, true);
}

void PageDocument::setTextFilter(Collection collection, std::shared_ptr<const TextFilter> filter) {
    Filter &set = m_filters[collection == Collection::Links];
    set = Filter();
    if (!filter)
        return;
    set.arguments = filterArguments(*filter);
    set.text = QString::fromUtf8(QJsonDocument(set.arguments).toJson(QJsonDocument::Compact));
    set.onText = filter->field == TextFilter::Field::OuterText;
}

// Answered from a block read through the same filter; a block read without
// one leaves the element to be read and tested.
Async<std::optional<bool>> PageDocument::couldMatch(Collection collection, int index) {
    const Filter &filter = m_filters[collection == Collection::Links];
    if (filter.arguments.isEmpty() || index < 0 || !alive())
        return std::optional<bool>();
    const Block &kept = block(collection);
    tickClock();
    if (!servable(kept, m_nowMs) || !covers(kept, index, filter.onText) ||
        !(kept.filter.isEmpty() || kept.filter == filter.text))
        return fetchCouldMatch(collection, index);
    m_lastIndex = index;
    return std::optional<bool>(hasRow(kept, index));
}

Task<std::optional<bool>> PageDocument::fetchCouldMatch(Collection collection, int index) {
    if (!co_await fetch(collection, index, false, true))
        co_return std::nullopt;
    m_lastIndex = index;
    const bool could = hasRow(block(collection), index);
    co_return could;
}

bool PageDocument::cutShort(Collection collection) const {
    const Block &kept = m_memory->blocks[collection == Collection::Links];
    return kept.valid && kept.today && kept.cut;
}

bool PageDocument::walksToday(Collection collection) const {
    const Block &kept = m_memory->blocks[collection == Collection::Links];
    return kept.valid && kept.options.today && kept.today;
}

std::optional<DocumentVersion> PageDocument::version(Collection collection) const {
    const Block &kept = m_memory->blocks[collection == Collection::Links];
    if (m_failed || !alive() || !kept.valid || m_memory->changed ||
        kept.generation != m_memory->generation)
        return std::nullopt;
    return DocumentVersion{m_memory->id, kept.generation};
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

Async<PressResult> PageDocument::click(Collection collection, int index) {
    dropBlocks();
    if (!alive())
        return PressResult{};
    return press(clickCall(collection, index, m_options));
}

// Changes no text nor value: the blocks read before stay good.
Async<bool> PageDocument::outline(Collection collection, int index, int ms) {
    if (!alive() || index < 0)
        return false;
    return mark(outlineCall(collection, index, std::clamp(ms, 0, kMaxOutlineMs), m_options));
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
Task<PressResult> ScriptPageDocument::press(PageCall call) {
    return pressScript(installingCallExpression(call));
}

} // namespace pressbird
