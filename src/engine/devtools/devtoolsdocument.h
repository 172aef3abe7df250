#pragma once

#include "browser.h"
#include "cdpconnection.h"

#include <QElapsedTimer>
#include <QJsonValue>

#include <array>

namespace pressbird {

// A page's top-level document as it was when it was taken, reached through
// our isolated world of it. Once the page has navigated or the tab is gone,
// every call fails.
//
// Reads come in blocks: one round trip fetches the rows of many elements, and
// the block answers the reads that follow. Any click, any reading of a length
// and any block older than kMaxBlockAgeMs goes back to the page, so on a page
// that changes only through clicks every read is what a live read would give.
class DevToolsDocument final : public Document {
public:
    static constexpr int kFirstBlock = 1024;
    static constexpr int kMaxBlock = 16384;
    static constexpr int kMaxBlockAgeMs = 1000;

    DevToolsDocument(std::shared_ptr<CdpConnection> connection, CdpSessionPtr session,
                     QString uniqueContextId, QString loaderId);

    std::optional<int> length(Collection collection) override;
    std::optional<QString> tagName(Collection collection, int index) override;
    std::optional<QString> value(Collection collection, int index) override;
    std::optional<QString> outerText(Collection collection, int index) override;
    bool click(Collection collection, int index) override;

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
        QElapsedTimer age;
        int nextSize = kFirstBlock;
    };

    bool alive() const;
    // One Runtime.evaluate in our isolated world, answered by value.
    CdpReply run(const QString &expression, bool userGesture);
    std::optional<QJsonValue> evaluate(const QString &expression, bool userGesture);
    std::optional<int> fetch(Collection collection, int start, int count, bool withText);
    const Row *row(Collection collection, int index, bool needText);
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
