#pragma once

#include "browser.h"
#include "connectorserver.h"
#include "hostmanifests.h"

#include <QDeadlineTimer>
#include <QSet>

#include <functional>

namespace pressbird {

// The browsers that run the Pressbird Connector extension: each one's host
// connects to the server, and every walk lists each browser's tabs afresh, in
// the browser's order. Nothing to allow in the browser, no start flag.
class ConnectorBrowser final : public Browser {
public:
    // Writes the hosts' manifests where the browsers look; run at
    // construction and again at walks that find no browser connected.
    using Registration = std::function<QList<HostManifest>()>;

    ConnectorBrowser(ConnectorServer &server, Registration registration);

    Async<std::unique_ptr<ShellWindows>> createShellWindows() override;
    QList<BrowserState> states() const override { return m_states; }
    bool reaches(const PageInfo &page) const override;

private:
    Task<std::unique_ptr<ShellWindows>> walk();
    QList<BrowserState> statesWithoutBrowsers() const;

    ConnectorServer &m_server;
    Registration m_registration;
    QList<HostManifest> m_manifests;
    // Hosts that were running when we started find us within this time.
    QDeadlineTimer m_arrivals;
    QList<BrowserState> m_states;
    // What the last walk reached, for the other backends to leave alone.
    QSet<qint64> m_browserPids;
    QSet<QString> m_pages; // address and title
};

// The process of the browser that runs a profile, from the lock it holds in
// the profile folder; 0 when it cannot be told.
qint64 browserPidOfProfile(const QString &folder);

} // namespace pressbird
