#pragma once

#include "connectorlink.h"

#include <QList>
#include <QLocalServer>

#include <memory>
#include <optional>

namespace pressbird {

// Whether a process of that user may talk to us: only our own user.
bool peerAllowed(std::optional<uid_t> peer);

// Where the browsers' hosts reach Pressbird: a local socket only this user
// may open (its folder 0700, itself 0600, and the peer's user checked at
// every connection), one link per browser.
class ConnectorServer final : public QObject {
    Q_OBJECT

public:
    explicit ConnectorServer(ConnectorTimeouts timeouts = {}, QObject *parent = nullptr);
    ~ConnectorServer() override;

    // Takes over a socket left by a Pressbird that crashed.
    bool listen(const QString &name, QString *why = nullptr);
    bool listening() const { return m_server.isListening(); }
    QString socketPath() const { return m_server.fullServerName(); }

    // The hosts connected now, in the order they came.
    QList<std::shared_ptr<ConnectorLink>> links() const { return m_links; }
    // Notified whenever a host comes or goes.
    Notifier &changed() { return m_changed; }
    // How many connections were refused for their user.
    int refused() const { return m_refused; }

private:
    void accept();

    QLocalServer m_server;
    ConnectorTimeouts m_timeouts;
    QList<std::shared_ptr<ConnectorLink>> m_links;
    Notifier m_changed;
    int m_refused = 0;
};

} // namespace pressbird
