#include "cdpconnection.h"

#include "async/abandonedcalls.h"
#include "pagedocument.h"

#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QWebSocket>

namespace pressbird {

namespace {
constexpr int kSessionNotFound = -32001;

} // namespace

// The ids a wait leaves behind when it ends, or when it is destroyed while
// suspended: answered ones are forgotten, the others are kept as abandoned so
// that their late answers are recognised and dropped.
CdpConnection::CdpConnection(const Endpoint &endpoint, DevToolsTimeouts timeouts,
                             std::shared_ptr<DevToolsStats> stats)
    : m_endpoint(endpoint)
    , m_timeouts(timeouts)
    , m_stats(std::move(stats)) {}

// No coroutine waits here any more: each holds the connection while it waits.
CdpConnection::~CdpConnection() {
    dropLookUp();
    dropSocket();
}

int CdpConnection::send(const QString &method, const QJsonObject &params,
                        const CdpSessionPtr &session) {
    if (!connected() || (session && !session->usable()))
        return -1;
    const int id = m_nextId++;
    QJsonObject message{{u"id"_qs, id}, {u"method"_qs, method}, {u"params"_qs, params}};
    Pending pending;
    if (session) {
        message.insert(u"sessionId"_qs, session->id);
        pending.sessionId = session->id;
    }
    m_pending.insert(id, pending);
    ++m_stats->commands;
    if (method == u"Runtime.evaluate")
        ++m_stats->pageCalls;
    m_socket->sendTextMessage(
        QString::fromUtf8(QJsonDocument(message).toJson(QJsonDocument::Compact)));
    return id;
}

Task<QList<CdpReply>> CdpConnection::waitAll(QList<int> ids, int timeoutMs) {
    const std::shared_ptr<CdpConnection> self = shared_from_this();
    const AbandonedCalls<Pending> leftovers(m_pending, ids);
    ++m_stats->waits;
    co_await m_changed.until(
        [this, &ids] {
            for (int id : std::as_const(ids)) {
                const auto it = m_pending.constFind(id);
                if (it != m_pending.cend() && !it->done)
                    return false;
            }
            return true;
        },
        timeoutMs);
    QList<CdpReply> replies;
    for (int id : std::as_const(ids)) {
        const auto it = m_pending.find(id);
        if (id < 0 || it == m_pending.end()) {
            replies.append(CdpReply{CdpFailure::Closed, {}});
        } else if (it->done) {
            replies.append(it->reply);
        } else {
            ++m_stats->timeouts;
            // Kept, so that its late answer proves the browser or the page alive again.
            if (const CdpSessionPtr session = m_sessions.value(it->sessionId))
                session->hung = true;
            else
                m_hung = true;
            replies.append(CdpReply{CdpFailure::TimedOut, {}});
        }
    }
    co_return replies;
}

Task<CdpReply> CdpConnection::call(QString method, QJsonObject params, CdpSessionPtr session) {
    const std::shared_ptr<CdpConnection> self = shared_from_this();
    const int id = send(method, params, session);
    if (id < 0)
        co_return CdpReply{session && session->dialogOpen ? CdpFailure::Dialog : CdpFailure::Closed,
                           {}};
    QList<int> ids(1, id);
    const QList<CdpReply> replies =
        co_await waitAll(std::move(ids), session ? m_timeouts.callMs : m_timeouts.connectMs);
    co_return replies.constFirst();
}

CdpSessionPtr CdpConnection::sessionForTarget(const QString &targetId) const {
    for (const CdpSessionPtr &session : m_sessions) {
        if (session->targetId == targetId && !session->dead)
            return session;
    }
    return nullptr;
}

void CdpConnection::addSession(const CdpSessionPtr &session) {
    m_sessions.insert(session->id, session);
}

CdpMessage parseCdpMessage(const QString &text) {
    CdpMessage parsed;
    const QJsonObject message = QJsonDocument::fromJson(text.toUtf8()).object();
    if (message.isEmpty())
        return parsed;
    parsed.sessionId = message.value(u"sessionId").toString();
    if (!message.contains(u"id")) {
        parsed.kind = CdpMessage::Kind::Event;
        parsed.method = message.value(u"method").toString();
        parsed.params = message.value(u"params").toObject();
        return parsed;
    }
    parsed.kind = CdpMessage::Kind::Reply;
    parsed.id = message.value(u"id").toInt(-1);
    const QJsonObject error = message.value(u"error").toObject();
    parsed.failed = !error.isEmpty();
    if (parsed.failed)
        parsed.errorCode = error.value(u"code").toInt();
    else
        parsed.result = message.value(u"result").toObject();
    return parsed;
}

void CdpConnection::onMessage(const QString &text) {
    const CdpMessage message = parseCdpMessage(text);
    if (message.kind == CdpMessage::Kind::None)
        return; // not a protocol message: ignored
    m_hung = false;
    const CdpSessionPtr session = m_sessions.value(message.sessionId);
    if (session)
        session->hung = false;

    if (message.kind == CdpMessage::Kind::Event) {
        onEvent(session, message.method, message.params);
        m_changed.notify();
        return;
    }
    auto it = m_pending.find(message.id);
    if (it == m_pending.end())
        return;
    if (it->abandoned) {
        if (const CdpSessionPtr owner = m_sessions.value(it->sessionId))
            owner->hung = false;
        m_pending.erase(it);
        return;
    }
    if (!message.failed) {
        it->reply = CdpReply{CdpFailure::None, message.result};
    } else {
        it->reply = CdpReply{CdpFailure::Error, {}};
        if (message.errorCode == kSessionNotFound)
            markDead(m_sessions.value(it->sessionId));
    }
    it->done = true;
    m_changed.notify();
}

void CdpConnection::onEvent(const CdpSessionPtr &session, const QString &method,
                            const QJsonObject &params) {
    if (method.startsWith(u"Target.target")) // targetCreated, targetInfoChanged, ...
        ++m_targetsRevision;
    if (method == u"Target.targetCreated") {
        const QJsonObject target = params.value(u"targetInfo").toObject();
        if (target.value(u"type").toString() == u"page")
            if (const CdpSessionPtr opener = sessionForTarget(target.value(u"openerId").toString()))
                ++opener->pagesOpened;
    }
    if (method == u"Target.detachedFromTarget") {
        markDead(m_sessions.value(params.value(u"sessionId").toString()));
        return;
    }
    if (!session)
        return;
    if (method == u"Inspector.detached" || method == u"Inspector.targetCrashed") {
        markDead(session);
    } else if (method == u"Page.javascriptDialogOpening") {
        // The page answers nothing until the user closes the dialog.
        session->dialogOpen = true;
        failPending(session->id, CdpFailure::Dialog);
    } else if (method == u"Page.javascriptDialogClosed") {
        session->dialogOpen = false;
    } else if (method == u"Page.frameNavigated") {
        const QJsonObject frame = params.value(u"frame").toObject();
        if (!frame.contains(u"parentId"))
            session->mainLoaderId = frame.value(u"loaderId").toString();
        session->frameLoaderIds.insert(frame.value(u"id").toString(),
                                       frame.value(u"loaderId").toString());
    } else if (method == u"Page.frameDetached") {
        const QString frameId = params.value(u"frameId").toString();
        session->frameLoaderIds.remove(frameId);
        session->frameWorlds.remove(frameId);
    } else if (method == u"Runtime.bindingCalled" &&
               params.value(u"name").toString() == kChangedBinding) {
        // Our world saw its document change since it was last read: a
        // frame's world, or else the page's.
        const int contextId = params.value(u"executionContextId").toInt(-1);
        for (const CdpFrameWorld &world : std::as_const(session->frameWorlds)) {
            if (world.contextId == contextId && world.memory) {
                world.memory->pageChanged();
                return;
            }
        }
        if (session->pageMemory)
            session->pageMemory->pageChanged();
    } else if (method == u"Runtime.executionContextCreated" && session->collectContexts) {
        session->createdContexts.append(params.value(u"context").toObject());
    }
}

void CdpConnection::failPending(const QString &sessionId, CdpFailure failure) {
    for (auto it = m_pending.begin(); it != m_pending.end();) {
        if (sessionId.isNull() || it->sessionId == sessionId) {
            if (it->abandoned) {
                it = m_pending.erase(it);
                continue;
            }
            it->done = true;
            it->reply = CdpReply{failure, {}};
        }
        ++it;
    }
    m_changed.notify();
}

void CdpConnection::markDead(const CdpSessionPtr &session) {
    if (!session || session->dead)
        return;
    session->dead = true;
    m_sessions.remove(session->id);
    failPending(session->id, CdpFailure::SessionGone);
}

void CdpConnection::onClosed() {
    setStatus(CdpStatus::Closed);
    for (const CdpSessionPtr &session : std::as_const(m_sessions))
        session->dead = true;
    m_sessions.clear();
    failPending(QString(), CdpFailure::Closed);
}

} // namespace pressbird
