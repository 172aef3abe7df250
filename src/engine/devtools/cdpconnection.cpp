#include "cdpconnection.h"

#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QTimer>
#include <QWebSocket>

namespace pressbird {

namespace {
constexpr int kSessionNotFound = -32001;
constexpr quint64 kMaxMessageBytes = 64ull * 1024 * 1024;

// An IPv6 address goes in brackets inside a URL.
QString urlHost(const QString &host) {
    return host.contains(u':') ? u"["_qs + host + u"]"_qs : host;
}
} // namespace

CdpConnection::CdpConnection(const Endpoint &endpoint, DevToolsTimeouts timeouts,
                             std::shared_ptr<DevToolsStats> stats)
    : m_endpoint(endpoint)
    , m_timeouts(timeouts)
    , m_stats(std::move(stats)) {}

CdpConnection::~CdpConnection() {
    wake();
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
    }
}

bool CdpConnection::open() {
    if (m_connected)
        return true;
    Dial result = dial(m_endpoint.host);
    if (result == Dial::Refused && m_endpoint.tryIpv6Too)
        result = dial(u"::1"_qs);
    return result == Dial::Connected;
}

std::optional<QString> CdpConnection::lookUpBrowserPath(const QString &host) {
    if (!m_network) {
        m_network = new QNetworkAccessManager(this);
        m_network->setProxy(QNetworkProxy::NoProxy);
    }
    QNetworkRequest request(
        QUrl(u"http://%1:%2/json/version"_qs.arg(urlHost(host)).arg(m_endpoint.port)));
    request.setTransferTimeout(m_timeouts.connectMs);
    QPointer<QNetworkReply> reply = m_network->get(request);
    bool finished = false;
    connect(reply, &QNetworkReply::finished, this, [&finished, this] {
        finished = true;
        wake();
    });
    waitUntil([&finished] { return finished; }, m_timeouts.connectMs);
    m_refused = false;
    if (!reply)
        return std::nullopt;
    reply->deleteLater();
    m_refused = reply->error() == QNetworkReply::ConnectionRefusedError;
    if (!finished) {
        reply->disconnect(this);
        reply->abort();
        return std::nullopt;
    }
    const QJsonObject version = QJsonDocument::fromJson(reply->readAll()).object();
    const QUrl url(version.value(u"webSocketDebuggerUrl").toString());
    if (!url.isValid() || !url.path().startsWith(u"/devtools/browser/"))
        return std::nullopt;
    // Only the path is taken: the host stays the loopback one we chose.
    return url.path();
}

CdpConnection::Dial CdpConnection::dial(const QString &host) {
    QString path = m_endpoint.browserPath;
    if (path.isEmpty()) {
        const std::optional<QString> found = lookUpBrowserPath(host);
        if (!found)
            return m_refused ? Dial::Refused : Dial::Failed;
        path = *found;
    }
    delete m_socket;
    // An empty origin sends no Origin header; Chromium refuses any it was not told to allow.
    m_socket = new QWebSocket(QString(), QWebSocketProtocol::VersionLatest, this);
    m_socket->setProxy(QNetworkProxy::NoProxy);
    m_socket->setMaxAllowedIncomingMessageSize(kMaxMessageBytes);
    m_refused = false;
    m_dialFinished = false;
    connect(m_socket, &QWebSocket::connected, this, [this] {
        m_connected = true;
        m_dialFinished = true;
        wake();
    });
    connect(m_socket, qOverload<QAbstractSocket::SocketError>(&QWebSocket::error), this,
            [this](QAbstractSocket::SocketError e) {
                if (!m_dialFinished)
                    m_refused = e == QAbstractSocket::ConnectionRefusedError;
                m_dialFinished = true;
                onClosed();
            });
    connect(m_socket, &QWebSocket::disconnected, this, [this] {
        m_dialFinished = true;
        onClosed();
    });
    connect(m_socket, &QWebSocket::textMessageReceived, this, &CdpConnection::onMessage);
    m_socket->open(QUrl(u"ws://%1:%2%3"_qs.arg(urlHost(host)).arg(m_endpoint.port).arg(path)));
    waitUntil([this] { return m_dialFinished; }, m_timeouts.connectMs);
    if (m_connected)
        return Dial::Connected;
    m_socket->disconnect(this);
    m_socket->abort();
    return m_refused ? Dial::Refused : Dial::Failed;
}

int CdpConnection::send(const QString &method, const QJsonObject &params,
                        const CdpSessionPtr &session) {
    if (!m_connected || (session && !session->usable()))
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
    m_socket->sendTextMessage(
        QString::fromUtf8(QJsonDocument(message).toJson(QJsonDocument::Compact)));
    return id;
}

QList<CdpReply> CdpConnection::waitAll(const QList<int> &ids, int timeoutMs) {
    ++m_stats->waits;
    const QPointer<CdpConnection> self(this);
    const auto allDone = [this, &ids] {
        for (int id : ids) {
            if (id >= 0 && m_pending.contains(id) && !m_pending.value(id).done)
                return false;
        }
        return true;
    };
    waitUntil(allDone, timeoutMs);
    QList<CdpReply> replies;
    for (int id : ids) {
        auto it = m_pending.find(id);
        if (id < 0 || it == m_pending.end()) {
            replies.append(CdpReply{CdpFailure::Closed, {}, {}});
            continue;
        }
        if (it->done) {
            replies.append(it->reply);
            m_pending.erase(it);
            continue;
        }
        ++m_stats->timeouts;
        // Kept, so that its late answer proves the browser or the page alive again.
        it->abandoned = true;
        if (const CdpSessionPtr session = m_sessions.value(it->sessionId))
            session->hung = true;
        else
            m_hung = true;
        replies.append(CdpReply{CdpFailure::TimedOut, {}, {}});
    }
    return replies;
}

CdpReply CdpConnection::call(const QString &method, const QJsonObject &params,
                             const CdpSessionPtr &session) {
    const int id = send(method, params, session);
    if (id < 0)
        return CdpReply{
            session && session->dialogOpen ? CdpFailure::Dialog : CdpFailure::Closed, {}, {}};
    return waitAll({id}, session ? m_timeouts.callMs : m_timeouts.connectMs).constFirst();
}

bool CdpConnection::waitUntil(const std::function<bool()> &done, int timeoutMs) {
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    timer.start(timeoutMs);
    m_loops.append(&loop);
    // Once the application is quitting a nested loop returns -1 at once and
    // handles nothing, so no answer can come: give up instead of spinning.
    while (!done() && timer.isActive()) {
        if (loop.exec() < 0)
            break;
    }
    m_loops.removeAll(&loop);
    return done();
}

void CdpConnection::wake() {
    for (const QPointer<QEventLoop> &loop : std::as_const(m_loops)) {
        if (loop)
            loop->quit();
    }
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

void CdpConnection::onMessage(const QString &text) {
    const QJsonObject message = QJsonDocument::fromJson(text.toUtf8()).object();
    if (message.isEmpty())
        return; // not a protocol message: ignored
    m_hung = false;
    const CdpSessionPtr session = m_sessions.value(message.value(u"sessionId").toString());
    if (session)
        session->hung = false;

    if (!message.contains(u"id")) {
        onEvent(session, message.value(u"method").toString(), message.value(u"params").toObject());
        wake();
        return;
    }
    auto it = m_pending.find(message.value(u"id").toInt(-1));
    if (it == m_pending.end())
        return;
    if (it->abandoned) {
        if (const CdpSessionPtr owner = m_sessions.value(it->sessionId))
            owner->hung = false;
        m_pending.erase(it);
        return;
    }
    const QJsonObject error = message.value(u"error").toObject();
    if (error.isEmpty()) {
        it->reply = CdpReply{CdpFailure::None, message.value(u"result").toObject(), {}};
    } else {
        it->reply = CdpReply{CdpFailure::Error, {}, error.value(u"message").toString()};
        if (error.value(u"code").toInt() == kSessionNotFound)
            markDead(m_sessions.value(it->sessionId));
    }
    it->done = true;
    wake();
}

void CdpConnection::onEvent(const CdpSessionPtr &session, const QString &method,
                            const QJsonObject &params) {
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
            it->reply = CdpReply{failure, {}, {}};
        }
        ++it;
    }
    wake();
}

void CdpConnection::markDead(const CdpSessionPtr &session) {
    if (!session || session->dead)
        return;
    session->dead = true;
    m_sessions.remove(session->id);
    failPending(session->id, CdpFailure::SessionGone);
}

void CdpConnection::onClosed() {
    m_connected = false;
    for (const CdpSessionPtr &session : std::as_const(m_sessions))
        session->dead = true;
    m_sessions.clear();
    failPending(QString(), CdpFailure::Closed);
}

} // namespace pressbird
