#pragma once

#include "async/notifier.h"
#include "async/task.h"
#include "endpoints.h"

#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QObject>

#include <functional>
#include <memory>
#include <optional>

class QNetworkAccessManager;
class QWebSocket;

namespace pressbird {

struct DevToolsTimeouts {
    int connectMs = 1000; // dialling and browser-wide calls: a dead endpoint costs this once
    int callMs = 2000;    // every call into a page
};

struct DevToolsStats {
    qint64 commands = 0; // messages sent
    qint64 waits = 0;    // times a caller waited for answers: the round trips
    qint64 timeouts = 0; // waits that ended without every answer
};

enum class CdpFailure { None, TimedOut, Closed, SessionGone, Dialog, Error };

struct CdpReply {
    CdpFailure failure = CdpFailure::TimedOut;
    QJsonObject result;
    bool ok() const { return failure == CdpFailure::None; }
};

// One message from the browser, taken apart. Anything that is not a JSON
// object reads as None and is ignored; an object without an id is an event.
struct CdpMessage {
    enum class Kind { None, Reply, Event };
    Kind kind = Kind::None;
    int id = -1; // of a reply; -1 when it names none we could have sent
    QString sessionId;
    QString method;      // of an event
    QJsonObject params;  // of an event
    QJsonObject result;  // of a reply that succeeded
    bool failed = false; // a reply with an error
    int errorCode = 0;
};
CdpMessage parseCdpMessage(const QString &text);

// One attached page target, as the connection learns about it from events.
struct CdpSession {
    QString id;
    QString targetId;
    bool dead = false;
    bool dialogOpen = false;
    // A call timed out and nothing has been heard from the page since.
    bool hung = false;
    QString mainLoaderId; // of the main frame's current document
    QString worldLoaderId;
    QString worldUniqueId;              // our isolated world in that document
    QList<QJsonObject> createdContexts; // Runtime.executionContextCreated, while wanted
    bool collectContexts = false;
    bool usable() const { return !dead && !dialogOpen && !hung; }
};
using CdpSessionPtr = std::shared_ptr<CdpSession>;

// The browser-wide WebSocket of one endpoint, with flat sessions for pages.
// Every wait suspends the calling coroutine until the socket brings what it
// waits for or its time is up; the event loop runs meanwhile. Always owned
// through a shared_ptr: each wait holds the connection in its own frame, so
// it outlives whatever waits on it.
class CdpConnection final : public QObject, public std::enable_shared_from_this<CdpConnection> {
    Q_OBJECT

public:
    CdpConnection(const Endpoint &endpoint, DevToolsTimeouts timeouts,
                  std::shared_ptr<DevToolsStats> stats);
    ~CdpConnection() override;

    const Endpoint &endpoint() const { return m_endpoint; }
    const DevToolsTimeouts &timeouts() const { return m_timeouts; }
    Task<bool> open();
    bool usable() const { return m_connected && !m_hung; }
    // The last open() found nothing listening.
    bool unreachable() const { return m_unreachable; }

    int send(const QString &method, const QJsonObject &params, const CdpSessionPtr &session = {});
    // Waits for every id at once; an id of -1 reads as failed. A wait that is
    // cancelled leaves its ids to be dropped when their answers come.
    Task<QList<CdpReply>> waitAll(QList<int> ids, int timeoutMs);
    Task<CdpReply> call(QString method, QJsonObject params = {}, CdpSessionPtr session = {});

    CdpSessionPtr sessionForTarget(const QString &targetId) const;
    void addSession(const CdpSessionPtr &session);

private:
    struct Pending {
        QString sessionId;
        bool done = false;
        bool abandoned = false;
        CdpReply reply;
    };
    enum class Dial { Connected, Refused, Failed };
    struct LookUp {
        std::optional<QString> path;
        bool refused = false;
    };
    class Abandon;

    Task<Dial> dial(QString host);
    Task<LookUp> lookUpBrowserPath(QString host);
    Task<bool> waitUntil(std::function<bool()> done, int timeoutMs);
    void onMessage(const QString &text);
    void onEvent(const CdpSessionPtr &session, const QString &method, const QJsonObject &params);
    void failPending(const QString &sessionId, CdpFailure failure);
    void markDead(const CdpSessionPtr &session);
    void onClosed();

    Endpoint m_endpoint;
    DevToolsTimeouts m_timeouts;
    std::shared_ptr<DevToolsStats> m_stats;
    QWebSocket *m_socket = nullptr;
    QNetworkAccessManager *m_network = nullptr;
    bool m_connected = false;
    bool m_hung = false;
    bool m_dialFinished = false;
    bool m_refused = false;
    bool m_unreachable = false;
    int m_nextId = 1;
    QHash<int, Pending> m_pending;
    QHash<QString, CdpSessionPtr> m_sessions; // by session id
    Notifier m_changed;                       // an answer, an event, or the socket's state
};

} // namespace pressbird
