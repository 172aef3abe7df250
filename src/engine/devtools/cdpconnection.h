#pragma once

#include "async/notifier.h"
#include "async/task.h"
#include "endpoints.h"

#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

class QNetworkAccessManager;
class QNetworkReply;
class QWebSocket;

namespace pressbird {

class PageMemory;

// The function our isolated world calls when the page changes after a read.
inline constexpr QStringView kChangedBinding = u"pressbirdChanged";

struct DevToolsTimeouts {
    int connectMs = 1000; // dialling and browser-wide calls: a dead endpoint costs this once
    int callMs = 2000;    // every call into a page
};

struct DevToolsStats {
    qint64 commands = 0;  // messages sent
    qint64 pageCalls = 0; // of them, evaluations in a page
    qint64 waits = 0;     // times a caller waited for answers: the round trips
    qint64 timeouts = 0;  // waits that ended without every answer
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

// Our isolated world in one frame below a session's main frame.
struct CdpFrameWorld {
    QString loaderId; // of the frame's document it lives in
    QString uniqueId;
    int contextId = -1;
    std::shared_ptr<PageMemory> memory;
};

// One attached page target (or a frame's own, out of process), as the
// connection learns about it from events.
struct CdpSession {
    QString id;
    QString targetId;
    bool dead = false;
    bool dialogOpen = false;
    // A call timed out and nothing has been heard from the page since.
    bool hung = false;
    QString mainLoaderId; // of the main frame's current document
    QString worldLoaderId;
    QString worldUniqueId;                  // our isolated world in that document
    std::shared_ptr<PageMemory> pageMemory; // what reads keep in that world
    // Every frame's current document, as the Page domain tells, and our
    // world in each frame but the main one.
    QHash<QString, QString> frameLoaderIds;
    QHash<QString, CdpFrameWorld> frameWorlds;
    QList<QJsonObject> createdContexts; // Runtime.executionContextCreated, while wanted
    bool collectContexts = false;
    int pagesOpened = 0; // pages the browser announced with this one as their opener
    bool usable() const { return !dead && !dialogOpen && !hung; }
};
using CdpSessionPtr = std::shared_ptr<CdpSession>;

// How far dialling an endpoint has come.
enum class CdpStatus {
    Idle,        // not dialled
    LookingUp,   // asking /json/version for the browser target's path
    Handshaking, // the WebSocket handshake is out: a browser may be asking its user
    Connected,
    Refused,     // the handshake was answered with an HTTP error (the user said no)
    Unreachable, // nothing listens
    NoAnswer,    // the look-up was not answered in time
    NotDevTools, // the look-up was answered, but by no DevTools endpoint
    Closed,      // the connection, or the handshake, was closed by the other end
};

// The browser-wide WebSocket of one endpoint, with flat sessions for pages.
// Dialling runs on the socket's signals: the handshake may wait for a user's
// answer for as long as the browser keeps it open, and nobody waits for it
// but a walk that chooses to, for a bounded time. Every call suspends the
// calling coroutine until the socket brings what it waits for or its time is
// up. Always owned through a shared_ptr: each wait holds the connection in
// its own frame, so it outlives whatever waits on it.
class CdpConnection final : public QObject, public std::enable_shared_from_this<CdpConnection> {
    Q_OBJECT

public:
    CdpConnection(const Endpoint &endpoint, DevToolsTimeouts timeouts,
                  std::shared_ptr<DevToolsStats> stats);
    ~CdpConnection() override;

    const Endpoint &endpoint() const { return m_endpoint; }
    const DevToolsTimeouts &timeouts() const { return m_timeouts; }
    CdpStatus status() const { return m_status; }
    bool dialling() const {
        return m_status == CdpStatus::LookingUp || m_status == CdpStatus::Handshaking;
    }
    // Dials unless dialling or connected already: at most one handshake at a time.
    void start();
    // Waits up to ms for the dial to end; true when connected. The dial goes
    // on after a wait that ends first.
    Task<bool> waitDialled(int ms);
    // start(), then waits up to the connect time-out.
    Task<bool> open();
    bool connected() const { return m_status == CdpStatus::Connected; }
    bool usable() const { return connected() && !m_hung; }
    // Moves on with every target the browser announces as made, changed or
    // gone (once Target.setDiscoverTargets is on).
    quint64 targetsRevision() const { return m_targetsRevision; }

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

    // Dialling, in cdpdial.cpp.
    void dialNext();
    void lookUp(const QString &host);
    void lookedUp(QNetworkReply *reply, const QString &host);
    void handshake(const QString &host, const QString &path);
    void onSocketError(QWebSocket *socket, int error);
    void onSocketClosed(QWebSocket *socket);
    void dialFailed(CdpStatus status);
    void dropSocket();
    void dropLookUp();
    void setStatus(CdpStatus status);
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
    QNetworkReply *m_lookUp = nullptr;
    QStringList m_hostsLeft; // to dial after this one, if nothing listens here
    CdpStatus m_status = CdpStatus::Idle;
    bool m_hung = false;
    quint64 m_targetsRevision = 0;
    int m_nextId = 1;
    QHash<int, Pending> m_pending;
    QHash<QString, CdpSessionPtr> m_sessions; // by session id
    Notifier m_changed;                       // an answer, an event, or the socket's state
};

} // namespace pressbird
