#pragma once

#include "bidiconnection.h"
#include "browser.h"

#include <functional>

namespace pressbird {

// Firefox driven over WebDriver BiDi. Every walk finds the endpoints afresh
// (PRESSBIRD_BROWSERS' bidi:// entries, else the WebDriverBiDiServer.json of
// Pressbird's own and the user's Firefox profiles) and lists each one's
// top-level browsing contexts; a session that works is kept for the
// browser's life.
class BidiBrowser final : public Browser {
public:
    using Discovery = std::function<QList<BidiEndpoint>()>;

    explicit BidiBrowser(BidiTimeouts timeouts = {}, Discovery discovery = {});
    ~BidiBrowser() override;

    Async<std::unique_ptr<ShellWindows>> createShellWindows() override;
    QList<BrowserState> states() const override { return m_states; }
    Task<> release() override;
    // The connections of the last walk: Firefox admits one session, so a test
    // speaks for the user through Pressbird's.
    const QList<std::shared_ptr<BidiConnection>> &connections() const { return m_connections; }

private:
    Task<std::unique_ptr<ShellWindows>> walk();

    BidiTimeouts m_timeouts;
    Discovery m_discovery;
    QList<std::shared_ptr<BidiConnection>> m_connections;
    QList<BrowserState> m_states;
};

} // namespace pressbird
