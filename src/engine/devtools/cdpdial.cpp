// Dialling an endpoint: the look-up of the browser target's path, then the
// WebSocket handshake, each step driven by the signals of its socket or reply.

#include "cdpconnection.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QTimer>
#include <QWebSocket>

namespace pressbird {

namespace {
constexpr quint64 kMaxMessageBytes = 64ull * 1024 * 1024;
constexpr qint64 kMaxVersionBytes = 64 * 1024; // a /json/version answer is a few hundred
} // namespace

void CdpConnection::start() {
    if (dialling() || connected())
        return;
    m_hostsLeft = {m_endpoint.host};
    if (m_endpoint.tryIpv6Too && m_endpoint.host != u"::1")
        m_hostsLeft.append(u"::1"_qs);
    dialNext();
}

Task<bool> CdpConnection::waitDialled(int ms) {
    const std::shared_ptr<CdpConnection> self = shared_from_this();
    co_await m_changed.until([this] { return !dialling(); }, ms);
    co_return connected();
}

Task<bool> CdpConnection::open() {
    start();
    return waitDialled(m_timeouts.connectMs);
}

void CdpConnection::dialNext() {
    const QString host = m_hostsLeft.takeFirst();
    if (m_endpoint.browserPath.isEmpty())
        lookUp(host);
    else
        handshake(host, m_endpoint.browserPath);
}

void CdpConnection::lookUp(const QString &host) {
    setStatus(CdpStatus::LookingUp);
    if (!m_network) {
        m_network = new QNetworkAccessManager(this);
        m_network->setProxy(QNetworkProxy::NoProxy);
    }
    QNetworkRequest request(endpointUrl(u"http"_qs, host, m_endpoint.port, u"/json/version"_qs));
    // A listener that never answers ends the look-up here, with nobody waiting on it.
    request.setTransferTimeout(m_timeouts.connectMs);
    dropLookUp();
    QNetworkReply *reply = m_network->get(request);
    m_lookUp = reply;
    connect(reply, &QNetworkReply::downloadProgress, this, [reply](qint64 received, qint64) {
        if (received > kMaxVersionBytes)
            reply->abort();
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply, host] { lookedUp(reply, host); });
}

void CdpConnection::lookedUp(QNetworkReply *reply, const QString &host) {
    if (reply != m_lookUp)
        return;
    m_lookUp = nullptr;
    reply->deleteLater(); // never inside its own signal
    switch (reply->error()) {
    case QNetworkReply::NoError:
        break;
    case QNetworkReply::ConnectionRefusedError:
        dialFailed(CdpStatus::Unreachable);
        return;
    case QNetworkReply::OperationCanceledError: // too long an answer, or the time-out
    case QNetworkReply::TimeoutError:
    case QNetworkReply::RemoteHostClosedError:
        dialFailed(CdpStatus::NoAnswer);
        return;
    default: // an HTTP error: 404 where a browser serves only its WebSocket
        dialFailed(CdpStatus::NotDevTools);
        return;
    }
    const QJsonObject version = QJsonDocument::fromJson(reply->read(kMaxVersionBytes)).object();
    const QUrl url(version.value(u"webSocketDebuggerUrl").toString());
    // Only the path is taken: the host stays the loopback one we chose.
    if (!url.isValid() || !isBrowserPath(url.path())) {
        dialFailed(CdpStatus::NotDevTools);
        return;
    }
    handshake(host, url.path());
}

void CdpConnection::handshake(const QString &host, const QString &path) {
    setStatus(CdpStatus::Handshaking);
    dropSocket();
    // An empty origin sends no Origin header; Chromium refuses any it was not told to allow.
    auto *socket = new QWebSocket(QString(), QWebSocketProtocol::VersionLatest, this);
    m_socket = socket;
    socket->setProxy(QNetworkProxy::NoProxy);
    socket->setMaxAllowedIncomingMessageSize(kMaxMessageBytes);
    connect(socket, &QWebSocket::connected, this, [this] { setStatus(CdpStatus::Connected); });
    connect(socket, qOverload<QAbstractSocket::SocketError>(&QWebSocket::error), this,
            [this, socket](QAbstractSocket::SocketError error) { onSocketError(socket, error); });
    connect(socket, &QWebSocket::disconnected, this, [this, socket] { onSocketClosed(socket); });
    connect(socket, &QWebSocket::textMessageReceived, this, &CdpConnection::onMessage);
    socket->open(endpointUrl(u"ws"_qs, host, m_endpoint.port, path));
}

void CdpConnection::onSocketError(QWebSocket *socket, int error) {
    if (socket != m_socket)
        return;
    if (connected()) {
        onClosed();
        return;
    }
    if (m_status != CdpStatus::Handshaking)
        return;
    // Both a refused TCP connection and a refused handshake come as
    // ConnectionRefusedError; only the handshake ever had a local port.
    const bool refused = error == QAbstractSocket::ConnectionRefusedError;
    const bool handshakeRefused = refused && socket->localPort() != 0;
    dropSocket();
    if (handshakeRefused)
        setStatus(CdpStatus::Refused);
    else if (refused)
        dialFailed(CdpStatus::Unreachable);
    else
        setStatus(CdpStatus::Closed); // the browser went while its user was asked
}

// In a handshake the error, which follows, tells what happened; should none
// come, the handshake is over all the same.
void CdpConnection::onSocketClosed(QWebSocket *socket) {
    if (socket != m_socket)
        return;
    if (connected()) {
        onClosed();
        return;
    }
    QTimer::singleShot(0, this, [this, socket] {
        if (socket == m_socket && m_status == CdpStatus::Handshaking) {
            dropSocket();
            setStatus(CdpStatus::Closed);
        }
    });
}

void CdpConnection::dialFailed(CdpStatus status) {
    // Chromium listens on [::1] when 127.0.0.1 is taken.
    if (status == CdpStatus::Unreachable && !m_hostsLeft.isEmpty()) {
        dialNext();
        return;
    }
    setStatus(status);
}

void CdpConnection::dropSocket() {
    if (!m_socket)
        return;
    QWebSocket *socket = std::exchange(m_socket, nullptr);
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater(); // this may run inside one of its signals
}

void CdpConnection::dropLookUp() {
    if (!m_lookUp)
        return;
    QNetworkReply *reply = std::exchange(m_lookUp, nullptr);
    reply->disconnect(this);
    reply->abort();
    reply->deleteLater();
}

void CdpConnection::setStatus(CdpStatus status) {
    m_status = status;
    m_changed.notify();
}

} // namespace pressbird
