#pragma once

#include "bidiconnection.h"
#include "browser.h"

#include <array>

namespace pressbird {

// A page's top-level document as it was when it was taken, reached through
// our sandbox realm of it: the realm goes with the document, so after a
// navigation or a closed tab every call fails. Reads come in blocks with the
// same live-read rules as the DevTools backend's (any click, any length and
// any block older than a second go back to the page).
class BidiDocument final : public Document {
public:
    static constexpr int kFirstBlock = 1024;
    static constexpr int kMaxBlock = 16384;
    static constexpr int kMaxBlockAgeMs = 1000;

    BidiDocument(std::shared_ptr<BidiConnection> connection, QString context, QString realm);

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
        qint64 fetchedMs = 0;
        int nextSize = kFirstBlock;
    };
    using Field = std::optional<QString> Row::*;

    bool alive() const { return !m_gone && m_connection->contextUsable(m_context); }
    Task<std::optional<QJsonValue>> evaluate(QString expression, bool userActivation);
    Task<std::optional<int>> fetch(Collection collection, int start, int count, bool withText);
    Async<std::optional<QString>> read(Collection collection, int index, Field field);
    Task<std::optional<QString>> readFromPage(Collection collection, int index, Field field);
    Task<bool> press(QString expression);
    Task<bool> mark(QString expression);
    void dropBlocks();
    Block &block(Collection collection) { return m_blocks[collection == Collection::Links]; }

    std::shared_ptr<BidiConnection> m_connection;
    QString m_context;
    QString m_realm;
    bool m_gone = false;
    std::array<Block, 2> m_blocks;
    int m_lastIndex = 0;
};

} // namespace pressbird
