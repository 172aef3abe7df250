#include "bidiconnection.h"

#include "async/abandonedcalls.h"
#include "loopback.h"
#include "pagedocument.h"

#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkProxy>
#include <QWebSocket>

namespace pressbird {

namespace {
constexpr quint64 kMaxMessageBytes = 64ull * 1024 * 1024;
} // namespace

// Answered ids are forgotten when the wait ends; the others, when it is
// destroyed while suspended, are kept as abandoned so their answers are dropped.
BidiConnection::BidiConnection(BidiEndpoint endpoint, BidiTimeouts timeouts)
    : m_endpoint(std::move(endpoint))
    , m_timeouts(timeouts) {}

// The session is ended by endSession(), awaited: Firefox drops a command that
// is still in flight when its socket closes, and keeps the session then.
BidiConnection::~BidiConnection() {
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
    }
}

Task<> BidiConnection::endSession() {
    const std::shared_ptr<BidiConnection> self = shared_from_this();
    if (!m_session || !m_connected)
        co_return;
    co_await call(u"session.end"_qs, QJsonObject(), QString(), m_timeouts.connectMs);
    m_trees.clear(); // no word of a change comes any more
    m_session = false;
    m_subscribed = false;
    m_sessionAsked = false;
}

Task<bool> BidiConnection::open() {
    const std::shared_ptr<BidiConnection> self = shared_from_this();
    if (m_session && m_subscribed)
        co_return true;
    if (!m_connected) {
        const bool dialled = co_await dial();
        if (!dialled)
            co_return false;
    }
    // Prompts are left to the user: never dismissed or accepted for them.
    const QJsonObject capabilities{
        {u"alwaysMatch"_qs,
         QJsonObject{{u"unhandledPromptBehavior"_qs, QJsonObject{{u"default"_qs, u"ignore"_qs}}}}}};
    // Asked once per connection: a session Firefox starts late is taken when
    // its answer comes, never asked for twice (the second would be refused).
    if (!m_sessionAsked) {
        m_sessionAsked = true;
        m_busy = false;
        const QJsonObject newSession{{u"capabilities"_qs, capabilities}};
        const QJsonObject message{{u"id"_qs, m_sessionCall = m_nextId++},
                                  {u"method"_qs, u"session.new"_qs},
                                  {u"params"_qs, newSession}};
        m_socket->sendTextMessage(
            QString::fromUtf8(QJsonDocument(message).toJson(QJsonDocument::Compact)));
    }
    co_await m_changed.until([this] { return m_session || !m_sessionAsked || !m_connected; },
                             m_timeouts.callMs);
    if (!m_session)
        co_return false;
    const QJsonArray events{u"browsingContext.userPromptOpened"_qs,
                            u"browsingContext.userPromptClosed"_qs,
                            u"browsingContext.contextCreated"_qs,
                            u"browsingContext.contextDestroyed"_qs,
                            u"script.message"_qs,
                            u"script.realmDestroyed"_qs};
    const QJsonObject subscription{{u"events"_qs, events}};
    const BidiReply subscribed = co_await call(u"session.subscribe"_qs, subscription);
    m_subscribed = subscribed.ok();
    if (!m_subscribed)
        co_return false;
    // Asked apart: a Firefox without one of them refuses the whole list, and
    // then a tree is read again every second instead.
    const QJsonArray navigations{u"browsingContext.navigationStarted"_qs,
                                 u"browsingContext.fragmentNavigated"_qs,
                                 u"browsingContext.historyUpdated"_qs};
    const QJsonObject navigationSubscription{{u"events"_qs, navigations}};
    m_tellsNavigation = (co_await call(u"session.subscribe"_qs, navigationSubscription)).ok();
    co_return true;
}

std::optional<QJsonArray> BidiConnection::keptTree(const QString &root) const {
    const auto kept = m_trees.constFind(root);
    if (kept == m_trees.cend() || kept->revision != m_treeRevision || kept->fresh.hasExpired())
        return std::nullopt;
    return kept->contexts;
}

void BidiConnection::keepTree(const QString &root, const QJsonArray &contexts) {
    m_trees.insert(
        root, {m_treeRevision, QDeadlineTimer(m_tellsNavigation ? kTreeReuseMs : 1000), contexts});
}

std::shared_ptr<PageMemory> BidiConnection::pageMemory(const QString &context,
                                                       const QString &realm) {
    KeptReads &kept = m_kept[context];
    if (kept.realm != realm || !kept.memory)
        kept = {realm, std::make_shared<PageMemory>()};
    return kept.memory;
}

void BidiConnection::forgetRealm(const QString &context, const QString &realm) {
    const auto kept = m_kept.constFind(context);
    if (kept != m_kept.cend() && kept->realm == realm)
        m_kept.erase(kept);
}

// Our sandbox saw its page change since it was last read.
void BidiConnection::onScriptMessage(const QJsonObject &params) {
    const QJsonObject source = params.value(u"source").toObject();
    const auto kept = m_kept.constFind(source.value(u"context").toString());
    if (params.value(u"channel").toString() == kChangedChannel && kept != m_kept.cend() &&
        kept->realm == source.value(u"realm").toString())
        kept->memory->pageChanged();
}

Task<bool> BidiConnection::dial() {
    const std::shared_ptr<BidiConnection> self = shared_from_this();
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
        m_socket->deleteLater();
    }
    // No Origin header: Firefox never answers a handshake that sends one.
    m_socket = new QWebSocket(QString(), QWebSocketProtocol::VersionLatest, this);
    m_socket->setProxy(QNetworkProxy::NoProxy);
    m_socket->setMaxAllowedIncomingMessageSize(kMaxMessageBytes);
    m_dialFinished = false;
    connect(m_socket, &QWebSocket::connected, this, [this] {
        m_connected = true;
        m_dialFinished = true;
        m_changed.notify();
    });
    connect(m_socket, &QWebSocket::disconnected, this, [this] {
        m_dialFinished = true;
        onClosed();
    });
    connect(m_socket, qOverload<QAbstractSocket::SocketError>(&QWebSocket::error), this, [this] {
        m_dialFinished = true;
        onClosed();
    });
    connect(m_socket, &QWebSocket::textMessageReceived, this, &BidiConnection::onMessage);
    m_socket->open(
        QUrl(u"ws://%1:%2/session"_qs.arg(urlHost(m_endpoint.host)).arg(m_endpoint.port)));
    co_await m_changed.until([this] { return m_dialFinished; }, m_timeouts.connectMs);
    if (!m_connected) {
        m_socket->disconnect(this);
        m_socket->abort();
    }
    co_return m_connected;
}

Task<BidiReply> BidiConnection::call(QString method, QJsonObject params, QString context,
                                     int timeoutMs) {
    const std::shared_ptr<BidiConnection> self = shared_from_this();
    if (!m_connected || m_hung || m_hungContexts.contains(context))
        co_return BidiReply{BidiFailure::Closed, {}, {}};
    const int id = m_nextId++;
    ++m_calls;
    Pending pending;
    pending.context = context;
    m_pending.insert(id, pending);
    const AbandonedCalls<Pending> abandon(m_pending, {id});
    const QJsonObject message{{u"id"_qs, id}, {u"method"_qs, method}, {u"params"_qs, params}};
    m_socket->sendTextMessage(
        QString::fromUtf8(QJsonDocument(message).toJson(QJsonDocument::Compact)));
    const bool answered = co_await m_changed.until(
        [this, id] {
            const auto it = m_pending.constFind(id);
            return it == m_pending.cend() || it->done;
        },
        timeoutMs < 0 ? m_timeouts.callMs : timeoutMs);
    const auto it = m_pending.constFind(id);
    if (it == m_pending.cend())
        co_return BidiReply{BidiFailure::Closed, {}, {}};
    if (!answered) {
        // A page that does not answer is skipped until its late answer comes;
        // a browser that does not, until anything is heard from it again.
        if (context.isEmpty())
            m_hung = true;
        else
            m_hungContexts.insert(context);
        co_return BidiReply{BidiFailure::TimedOut, {}, {}};
    }
    co_return it->reply;
}

void BidiConnection::onMessage(const QString &text) {
    const QJsonObject message = QJsonDocument::fromJson(text.toUtf8()).object();
    if (message.isEmpty())
        return; // not a protocol message: ignored
    m_hung = false;
    const QString type = message.value(u"type").toString();
    if (m_sessionAsked && message.value(u"id").toInt(-1) == m_sessionCall) {
        m_session = type == u"success";
        // Held by another client: asked again at the next walk, no sooner.
        m_busy = message.value(u"error").toString() == u"session not created";
        m_sessionAsked = m_session;
        m_changed.notify();
        return;
    }
    if (type == u"event") {
        const QString method = message.value(u"method").toString();
        if (method.startsWith(u"browsingContext.") && !method.startsWith(u"browsingContext.user"))
            ++m_treeRevision; // a context made, gone or navigated
        const QString context = message.value(u"params").toObject().value(u"context").toString();
        if (method == u"browsingContext.userPromptOpened") {
            m_prompts.insert(context);
            for (Pending &pending : m_pending) {
                if (pending.context == context && !pending.done && !pending.abandoned) {
                    pending.done = true;
                    pending.reply = BidiReply{BidiFailure::Prompt, {}, {}};
                }
            }
        } else if (method == u"browsingContext.userPromptClosed")
            m_prompts.remove(context);
        else if (method == u"browsingContext.contextCreated") {
            const QString opener =
                message.value(u"params").toObject().value(u"originalOpener").toString();
            if (!opener.isEmpty())
                ++m_opened[opener];
        } else if (method == u"browsingContext.contextDestroyed")
            m_prompts.remove(context), m_hungContexts.remove(context), m_kept.remove(context),
                m_opened.remove(context);
        else if (method == u"script.message")
            onScriptMessage(message.value(u"params").toObject());
        else if (method == u"script.realmDestroyed")
            m_kept.removeIf(
                [gone = message.value(u"params").toObject().value(u"realm").toString()](
                    QHash<QString, KeptReads>::iterator kept) { return kept->realm == gone; });
        m_changed.notify();
        return;
    }
    const auto it = m_pending.find(message.value(u"id").toInt(-1));
    if (it == m_pending.end())
        return;
    if (it->abandoned) {
        m_hungContexts.remove(it->context);
        m_pending.erase(it);
        return;
    }
    if (type == u"success")
        it->reply = BidiReply{BidiFailure::None, message.value(u"result").toObject(), {}};
    else {
        it->reply = BidiReply{BidiFailure::Error, {}, message.value(u"error").toString()};
    }
    it->done = true;
    m_changed.notify();
}

void BidiConnection::onClosed() {
    m_connected = false;
    m_trees.clear();
    m_session = false;
    m_sessionAsked = false;
    m_subscribed = false;
    m_prompts.clear();
    m_hungContexts.clear();
    for (auto it = m_pending.begin(); it != m_pending.end();) {
        if (it->abandoned) {
            it = m_pending.erase(it);
            continue;
        }
        it->done = true;
        it->reply = BidiReply{BidiFailure::Closed, {}, {}};
        ++it;
    }
    m_changed.notify();
}

} // namespace pressbird
