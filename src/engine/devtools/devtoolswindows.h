#pragma once

#include "browser.h"
#include "cdpconnection.h"

#include <QHash>
#include <QList>

namespace pressbird {

struct TargetEntry {
    std::shared_ptr<CdpConnection> connection;
    QString targetId;
    QString name;
    PageInfo page;
};

// One walk's snapshot of the targets of every endpoint; answered at once.
class DevToolsWindows final : public ShellWindows {
public:
    explicit DevToolsWindows(QList<TargetEntry> targets);

    Async<std::optional<int>> count() override;
    Async<std::unique_ptr<BrowserWindow>> next() override;

private:
    QList<TargetEntry> m_targets;
    qsizetype m_next = 0;
};

// A page target. Its document is reached through a flat session attached on
// first use and kept by the connection for later walks.
class DevToolsWindow final : public BrowserWindow {
public:
    explicit DevToolsWindow(TargetEntry target);

    PageInfo page() const override { return m_target.page; }
    Async<std::optional<QString>> name() override;
    bool readsAhead() const override { return true; }
    Async<std::unique_ptr<Document>> document() override;
    Async<std::unique_ptr<FrameDocuments>> frames() override;

private:
    friend class DevToolsFrames;

    struct World {
        QString uniqueId;
        int contextId = -1;
    };
    // A frame of a session's frame tree.
    struct FrameEntry {
        QString id;
        QString loaderId;
        QString url;
    };
    // Frames out of process, by the frame they are in.
    using FramesOutOfProcess = QHash<QString, QList<QJsonObject>>;

    Task<std::unique_ptr<Document>> openDocument();
    // The flat session of a target: the page's, or a frame's out of process.
    Task<CdpSessionPtr> attach(QString targetId);
    Task<std::optional<QString>> isolatedWorld(CdpSessionPtr session, QString frameId,
                                               QString loaderId);
    // Makes our world in a frame of the session's process.
    Task<std::optional<World>> createWorld(CdpSessionPtr session, QString frameId);
    Task<std::unique_ptr<FrameDocuments>> openFrames();
    // The frames of one session's frame tree, in tree order.
    Task<QList<QJsonObject>> frameTree(CdpSessionPtr session);
    Task<std::unique_ptr<Document>> frameDocument(CdpSessionPtr page, CdpSessionPtr session,
                                                  FrameEntry frame);

    TargetEntry m_target;
};

} // namespace pressbird
