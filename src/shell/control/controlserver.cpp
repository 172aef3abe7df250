#include "controlserver.h"

#include "controlprotocol.h"
#include "runtimefolder.h"

#include <QLocalSocket>

#include <unistd.h>

namespace pressbird {

namespace {

// The folder's mode keeps others out already; this also holds where a
// folder's permissions are not what they seem.
bool peerIsThisUser(const QLocalSocket &socket) {
    const std::optional<uid_t> peer = peerUid(int(socket.socketDescriptor()));
    return peer && *peer == ::getuid();
}

} // namespace

ControlServer::ControlServer(Handler handler, QObject *parent)
    : QObject(parent)
    , m_handler(std::move(handler)) {
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&m_server, &QLocalServer::newConnection, this, &ControlServer::accept);
}

// Work still under way is destroyed with the clients, before the sockets.
ControlServer::~ControlServer() {
    for (auto &[socket, client] : m_clients)
        client->work.reset();
    m_clients.clear();
}

bool ControlServer::listen(const QString &name, QString *why) {
    QLocalServer::removeServer(name);
    if (m_server.listen(name))
        return true;
    if (why)
        *why = m_server.errorString();
    return false;
}

void ControlServer::accept() {
    while (QLocalSocket *socket = m_server.nextPendingConnection()) {
        socket->setParent(this);
        if (!peerIsThisUser(*socket)) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        auto client = std::make_unique<Client>();
        client->socket = socket;
        m_clients.emplace(socket, std::move(client));
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readFrom(socket); });
        // Queued: the socket may say so from inside a handler's own frame.
        connect(
            socket, &QLocalSocket::disconnected, this, [this, socket] { forget(socket); },
            Qt::QueuedConnection);
        readFrom(socket);
    }
}

void ControlServer::readFrom(QLocalSocket *socket) {
    const auto found = m_clients.find(socket);
    if (found == m_clients.end() || found->second->work)
        return; // one request per connection
    Client &client = *found->second;
    client.buffer.append(socket->read(control::kMostRequestBytes + 1 - client.buffer.size()));
    const qsizetype end = client.buffer.indexOf('\n');
    if (end < 0) {
        if (client.buffer.size() > control::kMostRequestBytes)
            finish(socket, control::failure(QStringLiteral("the request is too long")));
        return;
    }
    const std::optional<QJsonObject> request = control::decode(client.buffer.first(end));
    if (!request || !request->value(u"verb").isString()) {
        finish(socket, control::failure(QStringLiteral("the request is not a JSON object "
                                                       "with a verb")));
        return;
    }
    socket->write(control::encode(control::ack()));
    client.work.emplace(answer(socket, *request));
    client.work->start();
}

Task<> ControlServer::answer(QLocalSocket *socket, QJsonObject request) {
    const QJsonObject reply = co_await m_handler(std::move(request));
    finish(socket, reply);
}

void ControlServer::finish(QLocalSocket *socket, const QJsonObject &reply) {
    QByteArray bytes = control::encode(reply);
    if (bytes.size() > control::kMostReplyBytes)
        bytes = control::encode(control::failure(QStringLiteral("the answer is too long to send")));
    socket->write(bytes);
    socket->disconnectFromServer();
}

void ControlServer::forget(QLocalSocket *socket) {
    m_clients.erase(socket);
    socket->deleteLater();
}

} // namespace pressbird
