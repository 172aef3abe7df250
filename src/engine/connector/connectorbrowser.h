#pragma once

#include "browser.h"
#include "connectorserver.h"
#include "hostmanifests.h"

#include <QDeadlineTimer>
#include <QHash>
#include <QSet>

#include <functional>

namespace pressbird {

// One tab of a listing, with the browser it was listed by.
struct ConnectorTab {
    std::shared_ptr<ConnectorLink> link;
    qint64 tab = -1;
    PageInfo page;
};

// The browsers that run the Pressbird Connector extension: each one's host
// connects to the server, and a walk lists each browser's tabs in the
// browser's order: afresh, unless the extension told of no change to them
// since a listing less than its listReuseMs old. Nothing to allow in the
// browser, no start flag.
class ConnectorBrowser final : public Browser {
public:
    // Writes the hosts' manifests where the browsers look; run at
    // construction and again at walks that find no browser connected.
    using Registration = std::function<QList<HostManifest>()>;

    ConnectorBrowser(ConnectorServer &server, Registration registration);

    Async<std::unique_ptr<ShellWindows>> createShellWindows() override;
    QList<BrowserState> states() const override { return m_states; }
    bool reaches(const PageInfo &page) const override;
    // The browsers ("Chromium", "Firefox", ...) connected at the last walk.
    QStringList connectedBrowsers() const { return m_connected; }

private:
    struct Listing {
        std::weak_ptr<ConnectorLink> link;
        QList<ConnectorTab> entries;
        quint64 tabsRevision = 0; // the link's, when the list was asked for
        QDeadlineTimer fresh;
    };

    Task<std::unique_ptr<ShellWindows>> walk();
    QList<BrowserState> statesWithoutBrowsers() const;

    ConnectorServer &m_server;
    Registration m_registration;
    QList<HostManifest> m_manifests;
    // Hosts that were running when we started find us within this time.
    QDeadlineTimer m_arrivals;
    QList<BrowserState> m_states;
    QStringList m_connected;
    // What the last walk reached, for the other backends to leave alone.
    QSet<qint64> m_browserPids;
    QSet<QString> m_pages;                            // address and title
    QHash<const ConnectorLink *, Listing> m_listings; // the last walk's, by browser
};

// The process of the browser that runs a profile, from the lock it holds in
// the profile folder; 0 when it cannot be told.
qint64 browserPidOfProfile(const QString &folder);

} // namespace pressbird
