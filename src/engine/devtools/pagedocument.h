#pragma once

#include "browser.h"
#include "pagescript.h"

#include <QJsonValue>

#include <array>

namespace pressbird {

// A page's top-level document read through the page operations (pagescript.h),
// whatever carries the calls: the DevTools backend's isolated world, the BiDi
// backend's sandbox, the extension. Once the page has navigated or the tab is
// gone, every call fails.
//
// Reads come in blocks: one round trip fetches the rows of many elements, and
// the block answers the reads that follow at once, without suspending. Any
// click, any reading of a length and any block older than kMaxBlockAgeMs goes
// back to the page, so on a page that changes only through clicks every read
// is what a live read would give. A field too long for a block is read on its
// own, in pieces, and costs its own round trips, never the other elements'.
class PageDocument : public Document {
public:
    static constexpr int kFirstBlock = 1024;
    static constexpr int kMaxBlock = 16384;
    static constexpr int kMaxBlockAgeMs = 1000;
    static constexpr int kMaxOutlineMs = 60000;
    // A field read on its own gives up after this many call time-outs in all.
    static constexpr int kLongFieldCalls = 5;

    Async<std::optional<int>> length(Collection collection) override;
    Async<std::optional<QString>> tagName(Collection collection, int index) override;
    Async<std::optional<QString>> value(Collection collection, int index) override;
    Async<std::optional<QString>> outerText(Collection collection, int index) override;
    Async<bool> click(Collection collection, int index) override;
    Async<bool> outline(Collection collection, int index, int ms) override;

protected:
    // Whether the document can still be reached: the page has not navigated
    // and its tab, world and connection are there.
    virtual bool alive() const = 0;
    // One operation in our world of the page, answered by value; nullopt on
    // any failure (a backend that sees the document gone for good says so
    // through alive() from then on).
    virtual Task<std::optional<QJsonValue>> call(PageCall call) = 0;
    // The click: true once pressed, a dialog it opened included.
    virtual Task<bool> press(PageCall call) = 0;
    // How long one call may take, for the budget of a long field.
    virtual int callTimeoutMs() const = 0;

private:
    struct Block {
        bool valid = false;
        bool withText = false;
        int start = 0;
        QList<PageRow> rows;
        qint64 fetchedMs = 0; // on the coarse clock
        int nextSize = kFirstBlock;
    };
    using Field = std::optional<QString> PageRow::*;
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

    Task<std::optional<int>> fetch(Collection collection, int start, int count, bool withText);
    Async<std::optional<QString>> read(Collection collection, int index, Field field);
    Task<std::optional<QString>> readFromPage(Collection collection, int index, Field field);
    Async<std::optional<QString>> readLong(Collection collection, int index, Field field);
    Task<std::optional<QString>> fetchLong(Collection collection, int index, int field);
    Task<bool> mark(PageCall call);
    void dropBlocks();
    Block &block(Collection collection) { return m_blocks[collection == Collection::Links]; }

    std::array<Block, 2> m_blocks;
    LongField m_long;
    int m_lastIndex = 0;
};

// A page document whose backend evaluates script text in our world: the
// operations are installed there with the first call that finds them missing.
class ScriptPageDocument : public PageDocument {
protected:
    // One evaluation, answered by value (undefined included); nullopt on failure.
    virtual Task<std::optional<QJsonValue>> evaluate(QString expression, bool userGesture) = 0;
    // The click's evaluation: true once pressed, a dialog it opened included.
    virtual Task<bool> pressScript(QString expression) = 0;

    Task<std::optional<QJsonValue>> call(PageCall call) final;
    Task<bool> press(PageCall call) final;
};

} // namespace pressbird
