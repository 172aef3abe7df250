#pragma once

#include "async/notifier.h"
#include "async/task.h"
#include "connectorframes.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QObject>
#include <QSet>

#include <memory>
#include <optional>

class QLocalSocket;

namespace pressbird {

class PageMemory;

struct ConnectorTimeouts {
    int listMs = 1000; // the list of tabs, a document's name
    int callMs = 2000; // every call into a page
    // How long a list of tabs serves later walks while the extension tells
    // of no change to them.
    int listReuseMs = 30000;
};

// Gone: the tab is closed or shows another document now; it never comes back.
enum class ConnectorFailure { None, TimedOut, Closed, Error, Gone };

struct ConnectorReply {
    ConnectorFailure failure = ConnectorFailure::TimedOut;
    QJsonObject answer;
    QString error;
    bool ok() const { return failure == ConnectorFailure::None; }
};

// One browser reached through its pressbird-connector host: the socket the
// host opened to us, the calls waiting for the extension's answers, and what
// the host and the extension said they are. Every wait is a coroutine
// suspension with its time-out; a wait destroyed while suspended leaves its
// call abandoned and its late answer dropped. Whatever comes over the socket
// is checked: a frame over the size limit closes the link, anything else
// that is not an answer we wait for is ignored.
class ConnectorLink final : public QObject, public std::enable_shared_from_this<ConnectorLink> {
    Q_OBJECT

public:
    // Takes the socket of an accepted connection.
    ConnectorLink(QLocalSocket *socket, ConnectorTimeouts timeouts);
    ~ConnectorLink() override;

    const ConnectorTimeouts &timeouts() const { return m_timeouts; }
    bool usable() const { return m_open && !m_hung; }
    bool tabUsable(qint64 tab) const { return usable() && !m_hungTabs.contains(tab); }
    bool open() const { return m_open; }
    // The browser's process: the host's parent, as the system tells it.
    qint64 browserPid() const { return m_browserPid; }
    // What the user knows the browser by: "Chromium", "Firefox" ...
    QString browserName() const { return m_browserName; }
    // The extension tells of every change to the tabs and of every tab that
    // may show another document: a listing and a document's name hold until
    // it does. Moves on with every change told.
    bool announcesTabs() const { return m_announcesTabs; }
    quint64 tabsRevision() const { return m_tabsRevision; }
    // The content script's name for the document a tab showed when last
    // asked, while no navigation, gone document or closed tab was told
    // since; none from an extension that does not tell of them.
    std::optional<QString> knownDocument(qint64 tab) const;
    // The tab's frames as last listed, while no frame came, went or
    // navigated since and no navigation of the tab was told; none from an
    // extension that does not tell of frames.
    std::optional<QJsonArray> knownFrames(qint64 tab) const;
    void keepFrames(qint64 tab, quint64 revision, const QJsonArray &frames);
    // Moves on with every change to the tab's frames told.
    quint64 framesRevision(qint64 tab) const { return m_framesRevisions.value(tab); }

    // A request; tab: the tab it concerns (-1 for the whole browser), skipped
    // after a time-out until its late answer comes.
    Task<ConnectorReply> call(QJsonObject request, qint64 tab, int timeoutMs);
    // Sent now, answered later: several browsers asked at once cost one time-out.
    int send(QJsonObject request, qint64 tab);
    Task<ConnectorReply> wait(int id, int timeoutMs);

    // What the reads of a tab's document keep from walk to walk, while the
    // content script names the same document.
    std::shared_ptr<PageMemory> memoryFor(qint64 tab, const QString &document);
    // The same for the document of one of the tab's frames (the extension's frame id).
    std::shared_ptr<PageMemory> memoryForFrame(qint64 tab, qint64 frame, const QString &document);
    // Forgets the tabs no longer listed.
    void keepOnly(const QSet<qint64> &tabs);

Q_SIGNALS:
    void closed();

private:
    struct Pending {
        qint64 tab = -1;
        qint64 frame = 0; // of the tab, for a page call
        bool done = false;
        bool abandoned = false;
        ConnectorReply reply;
    };

    void readFrames();
    void onFrame(const QJsonObject &message);
    void onClosed();

    QLocalSocket *m_socket;
    ConnectorTimeouts m_timeouts;
    connector::FrameReader m_frames{connector::kMostFromBrowserBytes};
    Notifier m_changed;
    QHash<int, Pending> m_pending;
    QSet<qint64> m_hungTabs;
    struct World {
        QString document;
        std::shared_ptr<PageMemory> memory;
    };
    QHash<qint64, World> m_worlds;
    QHash<qint64, QHash<qint64, World>> m_frameWorlds; // by tab, then frame
    struct FrameListing {
        quint64 revision = 0;
        QJsonArray frames;
    };
    QHash<qint64, FrameListing> m_frameListings;
    QHash<qint64, quint64> m_framesRevisions;
    bool m_announcesFrames = false;
    int m_nextId = 1;
    qint64 m_browserPid = 0;
    QString m_browserName;
    bool m_open = true;
    bool m_hung = false;
    bool m_announcesTabs = false;
    quint64 m_tabsRevision = 0;
};

// What the user knows a browser by, from its program's path.
QString browserNameOfProgram(const QString &program);

} // namespace pressbird
