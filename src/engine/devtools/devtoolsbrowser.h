#pragma once

#include "browser.h"
#include "cdpconnection.h"
#include "endpoints.h"

#include <QList>

#include <functional>
#include <memory>

namespace pressbird {

// Chromium-family browsers driven over the DevTools protocol. Every walk
// discovers the endpoints afresh (PRESSBIRD_BROWSERS, else 127.0.0.1:9222 and
// the DevToolsActivePort files of the usual profiles) and lists their targets
// in endpoint order, then the browser's. Connections that still work are kept
// from one walk to the next.
class DevToolsBrowser final : public Browser {
public:
    using Discovery = std::function<QList<Endpoint>()>;

    // Without a discovery function, discoverEndpoints() from the environment.
    explicit DevToolsBrowser(DevToolsTimeouts timeouts = {}, Discovery discovery = {});
    ~DevToolsBrowser() override;

    Async<std::unique_ptr<ShellWindows>> createShellWindows() override;
    QList<BrowserState> states() const override { return m_states; }

    DevToolsStats stats() const { return *m_stats; }

private:
    Task<std::unique_ptr<ShellWindows>> listTargets();
    Task<std::shared_ptr<CdpConnection>> connectionFor(Endpoint endpoint);

    DevToolsTimeouts m_timeouts;
    Discovery m_discovery;
    std::shared_ptr<DevToolsStats> m_stats;
    QList<std::shared_ptr<CdpConnection>> m_connections;
    QList<BrowserState> m_states;
    bool m_lastDialUnreachable = false;
};

} // namespace pressbird
