#include "devtoolswindows.h"

#include "devtoolsdocument.h"

#include <QJsonArray>

namespace pressbird {

namespace {
const QString kWorldName = u"pressbird"_qs;
}

DevToolsWindows::DevToolsWindows(QList<TargetEntry> targets)
    : m_targets(std::move(targets)) {}

std::optional<int> DevToolsWindows::count() {
    return static_cast<int>(m_targets.size());
}

std::unique_ptr<BrowserWindow> DevToolsWindows::next() {
    if (m_next >= m_targets.size())
        return nullptr;
    return std::make_unique<DevToolsWindow>(m_targets.at(m_next++));
}

DevToolsWindow::DevToolsWindow(TargetEntry target)
    : m_target(std::move(target)) {}

std::optional<QString> DevToolsWindow::name() {
    return m_target.name;
}

CdpSessionPtr DevToolsWindow::attach() {
    CdpConnection &connection = *m_target.connection;
    if (CdpSessionPtr known = connection.sessionForTarget(m_target.targetId))
        return known;
    const CdpReply reply = connection.call(
        u"Target.attachToTarget"_qs, {{u"targetId"_qs, m_target.targetId}, {u"flatten"_qs, true}});
    const QString sessionId = reply.result.value(u"sessionId").toString();
    if (!reply.ok() || sessionId.isEmpty())
        return nullptr;
    auto session = std::make_shared<CdpSession>();
    session->id = sessionId;
    session->targetId = m_target.targetId;
    connection.addSession(session);
    // Without the Page domain a dialog would leave every later call unanswered;
    // with it, its opening is announced and the tab can be skipped at once.
    const QList<CdpReply> replies = connection.waitAll(
        {connection.send(u"Page.enable"_qs, {}, session)}, connection.timeouts().callMs);
    return replies.constFirst().ok() ? session : nullptr;
}

std::optional<QString> DevToolsWindow::isolatedWorld(const CdpSessionPtr &session,
                                                     const QString &frameId,
                                                     const QString &loaderId) {
    if (session->worldLoaderId == loaderId && !session->worldUniqueId.isEmpty())
        return session->worldUniqueId;
    CdpConnection &connection = *m_target.connection;
    // createIsolatedWorld names only the numeric id, which another document
    // may reuse; the unique id comes with the context's creation event, which
    // Runtime.enable replays for every live context.
    session->createdContexts.clear();
    session->collectContexts = true;
    const QList<int> ids{connection.send(u"Page.createIsolatedWorld"_qs,
                                         {{u"frameId"_qs, frameId}, {u"worldName"_qs, kWorldName}},
                                         session),
                         connection.send(u"Runtime.enable"_qs, {}, session),
                         connection.send(u"Runtime.disable"_qs, {}, session)};
    const QList<CdpReply> replies = connection.waitAll(ids, connection.timeouts().callMs);
    session->collectContexts = false;
    if (!replies.at(0).ok() || !replies.at(1).ok() || session->mainLoaderId != loaderId)
        return std::nullopt;
    const int contextId = replies.at(0).result.value(u"executionContextId").toInt(-1);
    for (const QJsonObject &context : std::as_const(session->createdContexts)) {
        const QJsonObject aux = context.value(u"auxData").toObject();
        if (context.value(u"id").toInt() == contextId && context.value(u"name") == kWorldName &&
            aux.value(u"frameId") == frameId) {
            session->worldLoaderId = loaderId;
            session->worldUniqueId = context.value(u"uniqueId").toString();
            session->createdContexts.clear();
            return session->worldUniqueId;
        }
    }
    session->createdContexts.clear();
    return std::nullopt;
}

std::unique_ptr<Document> DevToolsWindow::document() {
    if (!m_target.connection->usable())
        return nullptr;
    const CdpSessionPtr session = attach();
    if (!session || !session->usable())
        return nullptr;
    const CdpReply tree = m_target.connection->call(u"Page.getFrameTree"_qs, {}, session);
    const QJsonObject frame = tree.result.value(u"frameTree").toObject().value(u"frame").toObject();
    const QString frameId = frame.value(u"id").toString();
    const QString loaderId = frame.value(u"loaderId").toString();
    if (!tree.ok() || frameId.isEmpty())
        return nullptr;
    session->mainLoaderId = loaderId;
    const std::optional<QString> world = isolatedWorld(session, frameId, loaderId);
    if (!world || world->isEmpty())
        return nullptr;
    return std::make_unique<DevToolsDocument>(m_target.connection, session, *world, loaderId);
}

} // namespace pressbird
