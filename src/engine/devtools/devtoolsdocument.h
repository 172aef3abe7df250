#pragma once

#include "browser.h"
#include "cdpconnection.h"

#include <QJsonValue>

#include <array>

namespace pressbird {

// A page's top-level document as it was when it was taken, reached through
// our isolated world of it. Once the page has navigated or the tab is gone,
// every call fails.
//
// Reads come in blocks: one round trip fetches the rows of many elements, and
// the block answers the reads that follow at once, without suspending. Any
// click, any reading of a length and any block older than kMaxBlockAgeMs goes
// back to the page, so on a page that changes only through clicks every read
// is what a live read would give.
class DevToolsDocument final : public Document {
public:
    static constexpr int kFirstBlock = 1024;
    static constexpr int kMaxBlock = 16384;
    static constexpr int kMaxBlockAgeMs = 1000;
    static constexpr int kMaxOutlineMs = 60000;

    DevToolsDocument(std::shared_ptr<CdpConnection> connection, CdpSessionPtr session,
                     QString uniqueContextId, QString loaderId);

    Async<std::optional<int>> length(Collection collection) override;
    Async<std::optional<QString>> tagName(Collection collection, int index) override;
    Async<std::optional<QString>> value(Collection collection, int index) override;
    Async<std::optional<QString>> outerText(Collection collection, int index) override;
    Async<bool> click(Collection collection, int index) override;
    Async<bool> outline(Collection collection, int index, int ms) override;

private:
    struct Row {
        std::optional<QString> tag;
        std::optional<QString> value;
        std::optional<QString> text;
    };
    struct Block {
        bool valid = false;
        bool withText = false;
        int start = 0;
        QList<Row> rows;
        qint64 fetchedMs = 0; // on the coarse clock
        int nextSize = kFirstBlock;
    };
    using Field = std::optional<QString> Row::*;

    bool alive() const;
    // One Runtime.evaluate in our isolated world, answered by value.
    Task<CdpReply> run(const QString &expression, bool userGesture);
    Task<std::optional<QJsonValue>> evaluate(QString expression, bool userGesture);
    Task<std::optional<int>> fetch(Collection collection, int start, int count, bool withText);
    Async<std::optional<QString>> read(Collection collection, int index, Field field);
    Task<std::optional<QString>> readFromPage(Collection collection, int index, Field field);
    Task<bool> press(QString expression);
    Task<bool> mark(QString expression);
    void dropBlocks();
    Block &block(Collection collection) { return m_blocks[collection == Collection::Links]; }

    std::shared_ptr<CdpConnection> m_connection;
    CdpSessionPtr m_session;
    QString m_uniqueContextId;
    QString m_loaderId;
    bool m_gone = false;
    std::array<Block, 2> m_blocks;
    int m_lastIndex = 0;
};

} // namespace pressbird
