#include "connectorserver.h"

#include "runtimefolder.h"

#include <QLocalSocket>

#include <unistd.h>

namespace pressbird {

bool peerAllowed(std::optional<uid_t> peer) {
    return peer && *peer == ::getuid();
}

ConnectorServer::ConnectorServer(ConnectorTimeouts timeouts, QObject *parent)
    : QObject(parent)
    , m_timeouts(timeouts) {
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&m_server, &QLocalServer::newConnection, this, &ConnectorServer::accept);
}

ConnectorServer::~ConnectorServer() {
    for (const std::shared_ptr<ConnectorLink> &link : std::as_const(m_links))
        link->disconnect(this);
}

bool ConnectorServer::listen(const QString &name, QString *why) {
    QLocalServer::removeServer(name);
    if (m_server.listen(name))
        return true;
    if (why)
        *why = m_server.errorString();
    return false;
}

void ConnectorServer::accept() {
    while (QLocalSocket *socket = m_server.nextPendingConnection()) {
        if (!peerAllowed(peerUid(int(socket->socketDescriptor())))) {
            ++m_refused;
            socket->abort();
            socket->deleteLater();
            continue;
        }
        auto link = std::make_shared<ConnectorLink>(socket, m_timeouts);
        ConnectorLink *raw = link.get();
        // Queued: a link closes from inside its own reading.
        connect(
            raw, &ConnectorLink::closed, this,
            [this, raw] {
                m_links.removeIf([raw](const auto &each) { return each.get() == raw; });
                m_changed.notify();
            },
            Qt::QueuedConnection);
        m_links.append(std::move(link));
        m_changed.notify();
    }
}

} // namespace pressbird
