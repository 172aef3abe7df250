#pragma once

#include "async/notifier.h"
#include "async/task.h"
#include "bidiendpoints.h"

#include <QDeadlineTimer>
#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QObject>
#include <QSet>

#include <memory>
#include <optional>

class QWebSocket;

namespace pressbird {

class PageMemory;

// The channel our sandbox tells of a change through.
inline constexpr QStringView kChangedChannel = u"pressbird-changed";

struct BidiTimeouts {
    int connectMs = 1000; // the handshake and session.new
    int callMs = 2000;    // every command
};

// Prompt: the page opened a dialog meanwhile; it answers nothing until the user closes it.
enum class BidiFailure { None, TimedOut, Closed, Error, Prompt };

struct BidiReply {
    BidiFailure failure = BidiFailure::TimedOut;
    QJsonObject result;
    QString error; // the protocol's error code, e.g. "no such frame"
    bool ok() const { return failure == BidiFailure::None; }
};

// One WebDriver BiDi session with one Firefox, kept for the browser's life.
// Firefox allows one session at a time: when another client holds it, the
// session is refused and open() says so (busy()); the next walk asks again.
// Every wait is a coroutine suspension with its time-out; a wait destroyed
// while suspended leaves its command abandoned, its late answer dropped.
class BidiConnection final : public QObject, public std::enable_shared_from_this<BidiConnection> {
    Q_OBJECT

public:
    BidiConnection(BidiEndpoint endpoint, BidiTimeouts timeouts);
    ~BidiConnection() override;

    const BidiEndpoint &endpoint() const { return m_endpoint; }
    const BidiTimeouts &timeouts() const { return m_timeouts; }
    bool usable() const { return m_session && !m_hung; }
    // A context whose command timed out is skipped until that command's late
    // answer proves its page alive again; the other contexts go on.
    bool contextUsable(const QString &context) const {
        return usable() && !m_hungContexts.contains(context) && !m_prompts.contains(context);
    }
    bool busy() const { return m_busy; }
    // Asked for a session that has not answered yet.
    bool starting() const { return m_sessionAsked && !m_session && m_connected; }

    // Dials and starts the session; true once it has one.
    Task<bool> open();
    // Firefox admits one session and keeps it after a socket merely closes:
    // ended here, answer awaited, so the next client (a Pressbird started
    // again included) is admitted.
    Task<> endSession();
    // What the reads of our sandbox in a context keep from walk to walk: kept
    // while the realm stays (a navigation brings another), dropped with the
    // context.
    std::shared_ptr<PageMemory> pageMemory(const QString &context, const QString &realm);
    // Our sandbox's realm in the context, while it lives (Firefox tells when
    // a realm goes); empty when none is known.
    QString keptRealm(const QString &context) const { return m_kept.value(context).realm; }
    // A call found the realm gone before its word came: made again next walk.
    void forgetRealm(const QString &context, const QString &realm);

    // A tree of contexts (the top-level ones for an empty root) read before,
    // while Firefox has announced no context made, gone or navigated since,
    // for at most kTreeReuseMs (a second where Firefox does not announce
    // navigations).
    static constexpr int kTreeReuseMs = 30000;
    std::optional<QJsonArray> keptTree(const QString &root) const;
    void keepTree(const QString &root, const QJsonArray &contexts);

    // Top-level contexts Firefox announced with this one as their opener.
    int contextsOpenedBy(const QString &context) const { return m_opened.value(context); }
    // Notified at every message from Firefox.
    Notifier &changes() { return m_changed; }

    // Commands sent so far.
    qint64 calls() const { return m_calls; }
    // A command; `context` names the page it runs in, if any.
    Task<BidiReply> call(QString method, QJsonObject params, QString context = {},
                         int timeoutMs = -1);

private:
    struct Pending {
        QString context;
        bool done = false;
        bool abandoned = false;
        BidiReply reply;
    };

    Task<bool> dial();
    void onMessage(const QString &text);
    void onScriptMessage(const QJsonObject &params);
    void onClosed();

    BidiEndpoint m_endpoint;
    BidiTimeouts m_timeouts;
    QWebSocket *m_socket = nullptr;
    Notifier m_changed;
    QHash<int, Pending> m_pending;
    // Contexts showing a user prompt: their scripts answer nothing until the
    // user closes it, so they are skipped, never answered for the user.
    QSet<QString> m_prompts;
    QSet<QString> m_hungContexts;
    struct KeptReads {
        QString realm;
        std::shared_ptr<PageMemory> memory;
    };
    QHash<QString, KeptReads> m_kept; // by context
    QHash<QString, int> m_opened;     // by opener context
    struct KeptTree {
        quint64 revision = 0;
        QDeadlineTimer fresh;
        QJsonArray contexts;
    };
    QHash<QString, KeptTree> m_trees; // by root
    quint64 m_treeRevision = 0;       // moves with every context made, gone or navigated
    bool m_tellsNavigation = false;
    int m_nextId = 1;
    qint64 m_calls = 0;
    bool m_connected = false;
    bool m_dialFinished = false;
    bool m_session = false;
    bool m_sessionAsked = false;
    int m_sessionCall = -1;
    bool m_subscribed = false;
    bool m_busy = false;
    bool m_hung = false;
};

} // namespace pressbird
