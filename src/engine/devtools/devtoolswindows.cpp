#include "devtoolswindows.h"

#include "devtoolsdocument.h"

#include <QJsonArray>

namespace pressbird {

namespace {
const QString kWorldName = u"pressbird"_qs;

// Gathers a session's context-creation events while it lives; a cancelled
// wait stops the gathering too.
class ContextCollection final {
public:
    explicit ContextCollection(CdpSession &session)
        : m_session(session) {
        m_session.createdContexts.clear();
        m_session.collectContexts = true;
    }
    ContextCollection(const ContextCollection &) = delete;
    ContextCollection &operator=(const ContextCollection &) = delete;
    ~ContextCollection() { take(); }
    QList<QJsonObject> take() {
        m_session.collectContexts = false;
        return std::exchange(m_session.createdContexts, {});
    }

private:
    CdpSession &m_session;
};
} // namespace

DevToolsWindows::DevToolsWindows(QList<TargetEntry> targets)
    : m_targets(std::move(targets)) {}

Async<std::optional<int>> DevToolsWindows::count() {
    return std::optional<int>(static_cast<int>(m_targets.size()));
}

Async<std::unique_ptr<BrowserWindow>> DevToolsWindows::next() {
    if (m_next >= m_targets.size())
        return std::unique_ptr<BrowserWindow>();
    return std::unique_ptr<BrowserWindow>(std::make_unique<DevToolsWindow>(m_targets.at(m_next++)));
}

DevToolsWindow::DevToolsWindow(TargetEntry target)
    : m_target(std::move(target)) {}

Async<std::optional<QString>> DevToolsWindow::name() {
    return std::optional<QString>(m_target.name);
}

// Only awaited from openDocument(), whose frame holds the connection.
Task<CdpSessionPtr> DevToolsWindow::attach() {
    CdpConnection &connection = *m_target.connection;
    if (CdpSessionPtr known = connection.sessionForTarget(m_target.targetId))
        co_return known;
    // Braced lists stay out of co_await expressions: GCC 12 rejects them there.
    const QJsonObject target{{u"targetId"_qs, m_target.targetId}, {u"flatten"_qs, true}};
    const CdpReply reply = co_await connection.call(u"Target.attachToTarget"_qs, target);
    const QString sessionId = reply.result.value(u"sessionId").toString();
    if (!reply.ok() || sessionId.isEmpty())
        co_return nullptr;
    auto session = std::make_shared<CdpSession>();
    session->id = sessionId;
    session->targetId = m_target.targetId;
    connection.addSession(session);
    // Without the Page domain a dialog would leave every later call unanswered;
    // with it, its opening is announced and the tab can be skipped at once.
    const CdpReply enabled = co_await connection.call(u"Page.enable"_qs, {}, session);
    co_return enabled.ok() ? session : nullptr;
}

Task<std::optional<QString>> DevToolsWindow::isolatedWorld(CdpSessionPtr session, QString frameId,
                                                           QString loaderId) {
    if (session->worldLoaderId == loaderId && !session->worldUniqueId.isEmpty())
        co_return session->worldUniqueId;
    CdpConnection &connection = *m_target.connection;
    // createIsolatedWorld names only the numeric id, which another document
    // may reuse; the unique id comes with the context's creation event, which
    // Runtime.enable replays for every live context.
    ContextCollection collection(*session);
    // The page tells of a change through a binding, added to our world once
    // the world exists.
    const QJsonObject binding{{u"name"_qs, kChangedBinding.toString()},
                              {u"executionContextName"_qs, kWorldName}};
    const QList<int> ids{connection.send(u"Page.createIsolatedWorld"_qs,
                                         {{u"frameId"_qs, frameId}, {u"worldName"_qs, kWorldName}},
                                         session),
                         connection.send(u"Runtime.enable"_qs, {}, session),
                         connection.send(u"Runtime.addBinding"_qs, binding, session),
                         connection.send(u"Runtime.disable"_qs, {}, session)};
    const QList<CdpReply> replies = co_await connection.waitAll(ids, connection.timeouts().callMs);
    const QList<QJsonObject> contexts = collection.take();
    if (!replies.at(0).ok() || !replies.at(1).ok() || session->mainLoaderId != loaderId)
        co_return std::nullopt;
    const int contextId = replies.at(0).result.value(u"executionContextId").toInt(-1);
    for (const QJsonObject &context : contexts) {
        const QJsonObject aux = context.value(u"auxData").toObject();
        if (context.value(u"id").toInt() == contextId && context.value(u"name") == kWorldName &&
            aux.value(u"frameId") == frameId) {
            session->worldLoaderId = loaderId;
            session->worldUniqueId = context.value(u"uniqueId").toString();
            session->pageMemory = std::make_shared<PageMemory>();
            co_return session->worldUniqueId;
        }
    }
    co_return std::nullopt;
}

Async<std::unique_ptr<Document>> DevToolsWindow::document() {
    if (!m_target.connection->usable())
        return std::unique_ptr<Document>();
    return openDocument();
}

Task<std::unique_ptr<Document>> DevToolsWindow::openDocument() {
    const std::shared_ptr<CdpConnection> connection = m_target.connection;
    const CdpSessionPtr session = co_await attach();
    if (!session || !session->usable())
        co_return nullptr;
    // The world of the document shown now serves walk after walk, with what
    // its reads keep: every navigation moves the loader id on
    // (Page.frameNavigated), and a world found gone is forgotten.
    if (!session->worldUniqueId.isEmpty() && session->pageMemory &&
        session->worldLoaderId == session->mainLoaderId)
        co_return std::make_unique<DevToolsDocument>(connection, session, session->worldUniqueId,
                                                     session->worldLoaderId, session->pageMemory);
    const CdpReply tree = co_await connection->call(u"Page.getFrameTree"_qs, {}, session);
    const QJsonObject frame = tree.result.value(u"frameTree").toObject().value(u"frame").toObject();
    const QString frameId = frame.value(u"id").toString();
    const QString loaderId = frame.value(u"loaderId").toString();
    if (!tree.ok() || frameId.isEmpty())
        co_return nullptr;
    session->mainLoaderId = loaderId;
    const std::optional<QString> world = co_await isolatedWorld(session, frameId, loaderId);
    if (!world || world->isEmpty())
        co_return nullptr;
    co_return std::make_unique<DevToolsDocument>(connection, session, *world, loaderId,
                                                 session->pageMemory);
}

} // namespace pressbird
