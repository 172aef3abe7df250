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

// Only awaited from openDocument() and openFrames(), whose frames hold the connection.
Task<CdpSessionPtr> DevToolsWindow::attach(QString targetId) {
    CdpConnection &connection = *m_target.connection;
    if (CdpSessionPtr known = connection.sessionForTarget(targetId))
        co_return known;
    // Braced lists stay out of co_await expressions: GCC 12 rejects them there.
    const QJsonObject target{{u"targetId"_qs, targetId}, {u"flatten"_qs, true}};
    const CdpReply reply = co_await connection.call(u"Target.attachToTarget"_qs, target);
    const QString sessionId = reply.result.value(u"sessionId").toString();
    if (!reply.ok() || sessionId.isEmpty())
        co_return nullptr;
    auto session = std::make_shared<CdpSession>();
    session->id = sessionId;
    session->targetId = targetId;
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
    const std::optional<World> world = co_await createWorld(session, frameId);
    if (!world || session->mainLoaderId != loaderId)
        co_return std::nullopt;
    session->worldLoaderId = loaderId;
    session->worldUniqueId = world->uniqueId;
    session->pageMemory = std::make_shared<PageMemory>();
    co_return session->worldUniqueId;
}

Task<std::optional<DevToolsWindow::World>> DevToolsWindow::createWorld(CdpSessionPtr session,
                                                                       QString frameId) {
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
    if (!replies.at(0).ok() || !replies.at(1).ok())
        co_return std::nullopt;
    const int contextId = replies.at(0).result.value(u"executionContextId").toInt(-1);
    for (const QJsonObject &context : contexts) {
        const QJsonObject aux = context.value(u"auxData").toObject();
        const QString uniqueId = context.value(u"uniqueId").toString();
        if (context.value(u"id").toInt() == contextId && context.value(u"name") == kWorldName &&
            aux.value(u"frameId") == frameId && !uniqueId.isEmpty())
            co_return World{uniqueId, contextId};
    }
    co_return std::nullopt;
}

namespace {
// A frame tree's frames, in tree order, up to the most a walk takes (the
// main frame besides, and one more so the walk knows it was left).
void flattenTree(const QJsonObject &tree, QList<QJsonObject> &frames) {
    if (frames.size() >= BrowserWindow::kMostFrames + 2)
        return;
    frames.append(tree.value(u"frame").toObject());
    for (const QJsonValue child : tree.value(u"childFrames").toArray())
        flattenTree(child.toObject(), frames);
}
} // namespace

// The page's frames, depth first: the frames of a session's process in tree
// order, each followed by those out of process within it, which are attached
// only when the walk reaches them.
class DevToolsFrames final : public FrameDocuments {
public:
    DevToolsFrames(DevToolsWindow &window, CdpSessionPtr page,
                   DevToolsWindow::FramesOutOfProcess outOfProcess)
        : m_window(window)
        , m_connection(window.m_target.connection)
        , m_page(std::move(page))
        , m_outOfProcess(std::move(outOfProcess)) {}

    // A session's frames, its main frame left out when it is the page's own.
    void enter(CdpSessionPtr session, QList<QJsonObject> frames, bool skipMain, int depth) {
        m_levels.push_back({std::move(session), {}, std::move(frames), 0, depth, skipMain});
    }

    Async<std::optional<FrameDocument>> next(QDeadlineTimer until) override {
        return nextOf(until);
    }
    bool more() const override { return !m_levels.empty(); }

private:
    struct Level {
        CdpSessionPtr session; // none: the frame out of process named, not attached yet
        QString targetId;
        QList<QJsonObject> frames;
        qsizetype next = 0;
        int depth = 0;
        bool skipMain = false;
    };

    Task<std::optional<FrameDocument>> nextOf(QDeadlineTimer until) {
        const std::shared_ptr<CdpConnection> connection = m_connection;
        while (!m_levels.empty() && m_page->usable() && !until.hasExpired()) {
            Level &level = m_levels.back();
            if (!level.session) {
                const QString targetId = level.targetId;
                const int depth = level.depth;
                m_levels.pop_back();
                if (const CdpSessionPtr own = co_await m_window.attach(targetId))
                    enter(own, co_await m_window.frameTree(own), false, depth);
                continue;
            }
            if (level.next >= level.frames.size()) {
                m_levels.pop_back();
                continue;
            }
            const bool isMain = level.next == 0 && level.skipMain;
            const QJsonObject json = level.frames.at(level.next++);
            const CdpSessionPtr session = level.session;
            const int depth = level.depth;
            const DevToolsWindow::FrameEntry frame{json.value(u"id").toString(),
                                                   json.value(u"loaderId").toString(),
                                                   json.value(u"url").toString()};
            if (frame.id.isEmpty())
                continue;
            session->frameLoaderIds.insert(frame.id, frame.loaderId);
            // A frame loop ends where the browser's nesting does; ours ends sooner.
            if (depth < 16) {
                const QList<QJsonObject> inside = m_outOfProcess.value(frame.id);
                for (auto target = inside.crbegin(); target != inside.crend(); ++target)
                    m_levels.push_back(
                        {nullptr, target->value(u"targetId").toString(), {}, 0, depth + 1, false});
            }
            if (isMain)
                continue;
            if (std::unique_ptr<Document> document =
                    co_await m_window.frameDocument(m_page, session, frame)) {
                dropFinished();
                co_return FrameDocument{frame.url, std::move(document)};
            }
        }
        co_return std::nullopt;
    }

    void dropFinished() {
        while (!m_levels.empty() && m_levels.back().session &&
               m_levels.back().next >= m_levels.back().frames.size())
            m_levels.pop_back();
    }

    DevToolsWindow &m_window;
    std::shared_ptr<CdpConnection> m_connection;
    CdpSessionPtr m_page;
    DevToolsWindow::FramesOutOfProcess m_outOfProcess;
    std::vector<Level> m_levels; // the innermost last
};

Async<std::unique_ptr<FrameDocuments>> DevToolsWindow::frames() {
    if (!m_target.connection->usable())
        return std::unique_ptr<FrameDocuments>();
    return openFrames();
}

// The frames of the page's process come with its frame tree; each one out
// of process is a target of its own, which names the frame it is in.
Task<std::unique_ptr<FrameDocuments>> DevToolsWindow::openFrames() {
    const std::shared_ptr<CdpConnection> connection = m_target.connection;
    const CdpSessionPtr page = co_await attach(m_target.targetId);
    if (!page || !page->usable())
        co_return nullptr;
    const CdpReply targets = co_await connection->call(u"Target.getTargets"_qs);
    FramesOutOfProcess outOfProcess;
    for (const QJsonValue value : targets.result.value(u"targetInfos").toArray()) {
        const QJsonObject target = value.toObject();
        const QString parent = target.value(u"parentFrameId").toString();
        if (target.value(u"type").toString() == u"iframe" && !parent.isEmpty())
            outOfProcess[parent].append(target);
    }
    auto frames = std::make_unique<DevToolsFrames>(*this, page, std::move(outOfProcess));
    frames->enter(page, co_await frameTree(page), true, 0);
    co_return frames;
}

Task<QList<QJsonObject>> DevToolsWindow::frameTree(CdpSessionPtr session) {
    const CdpReply tree = co_await m_target.connection->call(u"Page.getFrameTree"_qs, {}, session);
    QList<QJsonObject> frames;
    if (tree.ok())
        flattenTree(tree.result.value(u"frameTree").toObject(), frames);
    co_return frames;
}

Task<std::unique_ptr<Document>>
DevToolsWindow::frameDocument(CdpSessionPtr page, CdpSessionPtr session, FrameEntry frame) {
    const std::shared_ptr<CdpConnection> connection = m_target.connection;
    const DevToolsDocument::Frame where{page == session ? CdpSessionPtr() : page, frame.id};
    if (const auto kept = session->frameWorlds.constFind(frame.id);
        kept != session->frameWorlds.cend() && kept->loaderId == frame.loaderId && kept->memory)
        co_return std::make_unique<DevToolsDocument>(connection, session, kept->uniqueId,
                                                     frame.loaderId, kept->memory, where);
    const std::optional<World> world = co_await createWorld(session, frame.id);
    if (!world || session->frameLoaderIds.value(frame.id) != frame.loaderId)
        co_return nullptr;
    const auto memory = std::make_shared<PageMemory>();
    session->frameWorlds.insert(
        frame.id, CdpFrameWorld{frame.loaderId, world->uniqueId, world->contextId, memory});
    co_return std::make_unique<DevToolsDocument>(connection, session, world->uniqueId,
                                                 frame.loaderId, memory, where);
}

Async<std::unique_ptr<Document>> DevToolsWindow::document() {
    if (!m_target.connection->usable())
        return std::unique_ptr<Document>();
    return openDocument();
}

Task<std::unique_ptr<Document>> DevToolsWindow::openDocument() {
    const std::shared_ptr<CdpConnection> connection = m_target.connection;
    const CdpSessionPtr session = co_await attach(m_target.targetId);
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
