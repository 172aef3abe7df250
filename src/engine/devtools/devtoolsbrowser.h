#pragma once

#include "browser.h"
#include "cdpconnection.h"
#include "endpoints.h"

#include <QElapsedTimer>
#include <QJsonObject>
#include <QList>

#include <functional>
#include <memory>
#include <optional>

namespace pressbird {

// Chromium-family browsers driven over the DevTools protocol. Every walk
// discovers the endpoints afresh (PRESSBIRD_BROWSERS, else 127.0.0.1:9222 and
// the DevToolsActivePort files of the usual profiles) and lists their targets
// in endpoint order, then the browser's.
//
// One connection per endpoint, kept for the browser's life. A browser may ask
// its user to allow every new connection and hold the handshake until they
// answer: the walk that starts a dial waits for it only briefly, later walks
// pass the endpoint by while it is pending, and none ever dials a second. A
// refusal holds until the endpoint's DevToolsActivePort names another browser
// (a restart) or retry() is called.
class DevToolsBrowser final : public Browser {
public:
    using Discovery = std::function<QList<Endpoint>()>;

    // Without a discovery function, discoverEndpoints() from the environment.
    explicit DevToolsBrowser(DevToolsTimeouts timeouts = {}, Discovery discovery = {});
    ~DevToolsBrowser() override;

    Async<std::unique_ptr<ShellWindows>> createShellWindows() override;
    QList<BrowserState> states() const override;
    // Forgets every refusal: the next walk asks those browsers again.
    void retry() override;

    DevToolsStats stats() const { return *m_stats; }

private:
    struct Link {
        Endpoint endpoint; // as last discovered
        std::shared_ptr<CdpConnection> connection;
        std::optional<Endpoint> refused; // the browser that refused, until it changes
        int tabs = 0;
        std::optional<bool> answered; // its last target list came in time; none asked yet
        // The last target list, taken again by a walk that follows soon
        // while the browser has announced no target made, changed or gone.
        QJsonObject listed;
        std::shared_ptr<CdpConnection> listedBy;
        quint64 listedRevision = 0;
        QElapsedTimer listedAt;
        bool discovering = false; // target events are on
    };
    // How long a target list serves the walks that follow while the browser
    // announces no target made, changed or gone: an idle browser is asked
    // nothing at all in between. One that stops answering is found by the
    // first call that times out, one that goes by its socket closing.
    static constexpr int kListReuseMs = 30000;
    using LinkPtr = std::shared_ptr<Link>;

    Task<std::unique_ptr<ShellWindows>> listTargets();
    QList<LinkPtr> linksFor(const QList<Endpoint> &endpoints);
    bool needsDial(Link &link) const;
    static QString stateOf(const Link &link);

    DevToolsTimeouts m_timeouts;
    Discovery m_discovery;
    std::shared_ptr<DevToolsStats> m_stats;
    QList<LinkPtr> m_links; // in the order of the last walk's discovery
};

} // namespace pressbird
