#pragma once

#include "browser.h"
#include "cdpconnection.h"

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
    Async<std::unique_ptr<Document>> document() override;

private:
    Task<std::unique_ptr<Document>> openDocument();
    Task<CdpSessionPtr> attach();
    Task<std::optional<QString>> isolatedWorld(CdpSessionPtr session, QString frameId,
                                               QString loaderId);

    TargetEntry m_target;
};

} // namespace pressbird
