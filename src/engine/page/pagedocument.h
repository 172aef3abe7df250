#pragma once

#include "browser.h"
#include "pagescript.h"

#include <QJsonObject>
#include <QJsonValue>

#include <array>
#include <memory>

namespace pressbird {

// What the reads of one world of a page keep from one walk to the next: the
// blocks read, the page's change counter they were read at, and when the page
// last confirmed that counter. The backend keeps one per world of ours and
// drops it with the world (a navigation, a closed tab).
class PageMemory {
public:
    PageMemory();

    // The page told of a change since the last read (where the backend can
    // hear it): nothing read before is served again before the page is asked.
    void pageChanged();

    struct Block {
        bool valid = false;
        bool withText = false;
        int start = 0;
        int end = 0;    // the index the block ends before
        int length = 0; // of the whole collection when read
        // Read through a filter (its text here): rows are those of the
        // elements at indices, the others were left out. Empty: every
        // element from start has its row.
        QString filter;
        QList<int> indices;
        QList<PageRow> rows;
        qint64 generation = 0; // the page's counter when read
        qint64 readMs = 0;     // on the coarse clock
        PageOptions options;   // the collection's, as read
        bool today = false;    // answered by today's walk
        bool cut = false;      // today's walk stopped at its budget
    };
    // The last field too long for a block, read on its own; the page says
    // whether it still has that text before it is sent again.
    struct LongField {
        qint64 token = 0; // the page's name for the text; 0: none
        QString text;
        Collection collection = Collection::All;
        int index = -1;
        int field = -1;
        qint64 checkedMs = 0; // when the page last gave or confirmed it
        bool stale = true;
    };

    // What a pass last asked of the page from a collection's start: a call
    // for the other collection asks for that block too, read at the same
    // counter, so a scan's two passes cost one call.
    struct Asked {
        bool valid = false;
        QJsonObject filterArguments;
        QString filterText;
        bool withText = false;
        PageOptions options;
    };

private:
    friend class PageDocument;
    const quint64 id; // never shared with another world, even a later one
    std::array<Block, 2> blocks;
    std::array<Asked, 2> asked;
    LongField longField;
    // The counter the page last answered with, and when.
    qint64 generation = -1;
    qint64 confirmedMs = 0;
    bool changed = false;
    // The page's world said it tells the backend of every change: while it
    // has told none, what it confirmed holds without asking again.
    bool tells = false;
    // ...and that it reads its blocks again itself, often enough to see a
    // style rule that started to apply within kMaxReuseMs, and tells of it.
    bool rechecks = false;
};

// A page's top-level document read through the page operations (pagescript.h),
// whatever carries the calls: the DevTools backend's isolated world, the BiDi
// backend's sandbox, the extension. Once the page has navigated or the tab is
// gone, every call fails.
//
// Reads come in blocks: one round trip fetches the rows of many elements, and
// the block answers the reads that follow at once, without suspending. A block
// is served while the page's change counter stands where it stood when the
// block was read. Where the backend hears of changes and the page's world
// tells of every one (its answers say so), a change drops the blocks as soon
// as it is told, and an unchanged page is not asked at all; elsewhere the
// page confirms its counter in one short round trip, at most kConfirmMs
// after it last did. Any click drops the blocks too,
// and no block older than kMaxReuseMs is served, whatever the counter: that
// bounds how late a change the counter cannot see (a style rule that starts
// to apply by itself) is read. A field too long for a block is read on its
// own, in pieces, and costs its own round trips, never the other elements'.
//
// With a text filter set, the page sends only the rows of the elements some
// rule of it could match; the others read as left out, and reading a field
// of one fetches its block again without the filter.
class PageDocument : public Document {
public:
    static constexpr int kBlock = 16384;
    static constexpr int kConfirmMs = 1000;
    static constexpr int kMaxReuseMs = 30000;
    // A page that reads its blocks again itself is trusted this long after
    // it last answered, then asked in one short call, which also keeps it
    // looking (it stops five minutes after the last read).
    static constexpr int kTrustRecheckedMs = 240000;
    static constexpr int kMaxOutlineMs = 60000;
    // A field read on its own gives up after this many call time-outs in all.
    static constexpr int kLongFieldCalls = 5;

    // Reads kept by the backend for this world; a memory of its own when none.
    explicit PageDocument(std::shared_ptr<PageMemory> memory = std::make_shared<PageMemory>());

    Async<std::optional<int>> length(Collection collection) override;
    Async<std::optional<QString>> tagName(Collection collection, int index) override;
    Async<std::optional<QString>> value(Collection collection, int index) override;
    Async<std::optional<QString>> outerText(Collection collection, int index) override;
    Async<PressResult> click(Collection collection, int index) override;
    Async<bool> outline(Collection collection, int index, int ms) override;
    std::optional<DocumentVersion> version(Collection collection) const override;
    // A world of ours lives as long as the page's load it was made in.
    std::optional<quint64> load() const override { return m_memory->id; }
    void setTextFilter(Collection collection, std::shared_ptr<const TextFilter> filter) override;
    Async<std::optional<bool>> couldMatch(Collection collection, int index) override;
    void setPageOptions(const PageOptions &options) override { m_options = options; }
    bool cutShort(Collection collection) const override;
    bool walksToday(Collection collection) const override;

protected:
    // Whether the document can still be reached: the page has not navigated
    // and its tab, world and connection are there.
    virtual bool alive() const = 0;
    // One operation in our world of the page, answered by value; nullopt on
    // any failure (a backend that sees the document gone for good says so
    // through alive() from then on).
    virtual Task<std::optional<QJsonValue>> call(PageCall call) = 0;
    // The click and what it led to; a dialog it opened counts as pressed.
    virtual Task<PressResult> press(PageCall call) = 0;
    // How long one call may take, for the budget of a long field.
    virtual int callTimeoutMs() const = 0;

private:
    using Block = PageMemory::Block;
    using Field = std::optional<QString> PageRow::*;

    // The filter set for a collection, as its reads send it.
    struct Filter {
        QJsonObject arguments; // empty: none
        QString text;
        bool onText = false; // tests the outerText, which a block then carries
    };

    Task<std::optional<int>> fetch(Collection collection, int start, bool withText, bool filtered);
    // The other collection's block, asked for with a call of this one's.
    struct Also {
        PageCall call;
        std::optional<qint64> unless;
    };
    std::optional<Also> alsoCall(Collection collection, qint64 nowMs);
    void keepAlso(Collection collection, PageRows &parsed, std::optional<qint64> unless,
                  qint64 nowMs);
    void keep(Block &target, PageRows &parsed, int start, bool withText, const QString &filterText,
              qint64 nowMs);
    int blockCount(Collection collection, int start) const;
    Task<std::optional<bool>> fetchCouldMatch(Collection collection, int index);
    bool servable(const Block &block, qint64 nowMs) const;
    void tickClock();
    bool confirmable(const Block &block, qint64 nowMs) const;
    Async<std::optional<QString>> read(Collection collection, int index, Field field);
    Task<std::optional<QString>> readFromPage(Collection collection, int index, Field field,
                                              bool throughFilter);
    Async<std::optional<QString>> readLong(Collection collection, int index, Field field);
    Task<std::optional<QString>> fetchLong(Collection collection, int index, int field);
    Task<bool> mark(PageCall call);
    void dropBlocks();
    Block &block(Collection collection) {
        return m_memory->blocks[collection == Collection::Links];
    }
    PageMemory::Asked &asked(Collection collection) {
        return m_memory->asked[collection == Collection::Links];
    }

    std::shared_ptr<PageMemory> m_memory;
    std::array<Filter, 2> m_filters;
    int m_lastIndex = 0;
    // A read of this document failed (a time-out, a gone world): what was
    // decided on it is no promise for a later walk of the same version.
    bool m_failed = false;
    int m_readsBeforeClock = 0;
    qint64 m_nowMs = 0;
    PageOptions m_options;
};

// A page document whose backend evaluates script text in our world: the
// operations are installed there with the first call that finds them missing.
class ScriptPageDocument : public PageDocument {
public:
    using PageDocument::PageDocument;

protected:
    // One evaluation, answered by value (undefined included); nullopt on failure.
    virtual Task<std::optional<QJsonValue>> evaluate(QString expression, bool userGesture) = 0;
    // The click's evaluation and what it led to.
    virtual Task<PressResult> pressScript(QString expression) = 0;

    Task<std::optional<QJsonValue>> call(PageCall call) final;
    Task<PressResult> press(PageCall call) final;
};

} // namespace pressbird
