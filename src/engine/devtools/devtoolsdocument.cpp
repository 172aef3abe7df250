#include "devtoolsdocument.h"

#include "pagescript.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace pressbird {

namespace {
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

CdpReply DevToolsDocument::run(const QString &expression, bool userGesture) {
    const QJsonObject params{{u"expression"_qs, expression},
                             {u"uniqueContextId"_qs, m_uniqueContextId},
                             {u"returnByValue"_qs, true},
                             {u"silent"_qs, true},
                             {u"userGesture"_qs, userGesture}};
    return m_connection->call(u"Runtime.evaluate"_qs, params, m_session);
}

std::optional<QJsonValue> DevToolsDocument::evaluate(const QString &expression, bool userGesture) {
    if (!alive())
        return std::nullopt;
    const CdpReply reply = run(expression, userGesture);
    if (reply.failure == CdpFailure::Error || reply.failure == CdpFailure::SessionGone ||
        reply.failure == CdpFailure::Closed) {
        // The context is gone ("uniqueContextId not found"): it never comes back.
        m_gone = true;
        return std::nullopt;
    }
    if (!reply.ok() || reply.result.contains(u"exceptionDetails"))
        return std::nullopt;
    return reply.result.value(u"result").toObject().value(u"value");
}

std::optional<int> DevToolsDocument::fetch(Collection collection, int start, int count,
                                           bool withText) {
    Block &target = block(collection);
    target.valid = false;
    const std::optional<QJsonValue> answer =
        evaluate(rowsExpression(collection, start, count, withText), false);
    if (!answer || !answer->isString())
        return std::nullopt;
    const QJsonArray pair = QJsonDocument::fromJson(answer->toString().toUtf8()).array();
    if (!pair.at(0).isDouble())
        return std::nullopt;
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
    target.age.start();
    return pair.at(0).toInt();
}

const DevToolsDocument::Row *DevToolsDocument::row(Collection collection, int index,
                                                   bool needText) {
    if (!alive() || index < 0)
        return nullptr;
    Block &cached = block(collection);
    const bool hit = cached.valid && index >= cached.start &&
                     index < cached.start + cached.rows.size() && (cached.withText || !needText) &&
                     !cached.age.hasExpired(kMaxBlockAgeMs);
    if (!hit) {
        // A walk moving on to the next block reads ever larger blocks.
        const bool sequential = cached.valid && index == cached.start + cached.rows.size();
        cached.nextSize = sequential ? std::min(cached.nextSize * 2, kMaxBlock) : kFirstBlock;
        // The link pass reads texts; the button pass reads tags and values.
        if (!fetch(collection, index, cached.nextSize, needText || collection == Collection::Links))
            return nullptr;
    }
    m_lastIndex = index;
    const qsizetype offset = index - cached.start;
    return offset < cached.rows.size() ? &cached.rows.at(offset) : nullptr;
}

void DevToolsDocument::dropBlocks() {
    for (Block &each : m_blocks) {
        each.valid = false;
        each.nextSize = kFirstBlock;
    }
}

std::optional<int> DevToolsDocument::length(Collection collection) {
    dropBlocks();
    // The walk reads on from where it stands (0 at its start, the clicked
    // element after a click), so the length comes with the block from there.
    return fetch(collection, m_lastIndex, kFirstBlock, collection == Collection::Links);
}

std::optional<QString> DevToolsDocument::tagName(Collection collection, int index) {
    const Row *found = row(collection, index, false);
    return found ? found->tag : std::nullopt;
}

std::optional<QString> DevToolsDocument::value(Collection collection, int index) {
    const Row *found = row(collection, index, false);
    return found ? found->value : std::nullopt;
}

std::optional<QString> DevToolsDocument::outerText(Collection collection, int index) {
    const Row *found = row(collection, index, true);
    return found ? found->text : std::nullopt;
}

bool DevToolsDocument::click(Collection collection, int index) {
    dropBlocks();
    if (!alive())
        return false;
    const CdpReply reply = run(clickExpression(collection, index), true);
    // A dialog opened by the page's click handler holds the answer back: the
    // press itself has happened.
    if (reply.failure == CdpFailure::Dialog)
        return true;
    if (reply.failure == CdpFailure::Error)
        m_gone = true;
    return reply.ok() && reply.result.value(u"result").toObject().value(u"value").toBool();
}

} // namespace pressbird
