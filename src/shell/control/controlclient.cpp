#include "controlclient.h"

#include "controlprotocol.h"

namespace pressbird {

namespace {
constexpr int kRedialMs = 50;
}

ControlClient::ControlClient(QString socketName, QObject *parent)
    : QObject(parent)
    , m_name(std::move(socketName)) {
    m_deadline.setSingleShot(true);
    m_redial.setSingleShot(true);
    connect(&m_redial, &QTimer::timeout, this, &ControlClient::dial);
    connect(&m_socket, &QLocalSocket::connected, this,
            [this] { m_socket.write(control::encode(m_request)); });
    connect(&m_socket, &QLocalSocket::readyRead, this, &ControlClient::onReadable);
    connect(&m_socket, &QLocalSocket::errorOccurred, this, [this](QLocalSocket::LocalSocketError) {
        if (m_finished)
            return;
        if (!m_acknowledged && m_deadline.isActive() &&
            m_socket.state() != QLocalSocket::ConnectedState)
            m_redial.start(kRedialMs); // not listening yet, or not at all: the deadline decides
    });
    connect(&m_socket, &QLocalSocket::disconnected, this, [this] {
        if (!m_finished && m_acknowledged)
            fail(Failure::BadAnswer, QStringLiteral("Pressbird closed the connection without an "
                                                    "answer."));
    });
}

void ControlClient::ask(const QJsonObject &request, int connectMs, int resultMs) {
    m_request = request;
    m_resultMs = resultMs;
    connect(&m_deadline, &QTimer::timeout, this, [this] {
        if (!m_acknowledged && m_socket.state() != QLocalSocket::ConnectedState)
            fail(Failure::NotRunning, QStringLiteral("Pressbird is not running."));
        else
            fail(Failure::NoAnswer,
                 m_acknowledged ? QStringLiteral("Pressbird did not finish in time.")
                                : QStringLiteral("Pressbird is running but does not answer."));
    });
    m_deadline.start(std::max(connectMs, control::kAckTimeoutMs));
    dial();
}

void ControlClient::dial() {
    if (m_finished)
        return;
    m_socket.abort();
    m_socket.connectToServer(m_name);
}

void ControlClient::onReadable() {
    m_buffer.append(m_socket.readAll());
    for (qsizetype end; !m_finished && (end = m_buffer.indexOf('\n')) >= 0;) {
        const std::optional<QJsonObject> message = control::decode(m_buffer.first(end));
        m_buffer.remove(0, end + 1);
        if (!message) {
            fail(Failure::BadAnswer, QStringLiteral("Pressbird's answer could not be read."));
            return;
        }
        if (!m_acknowledged && message->value(u"ack").toBool()) {
            m_acknowledged = true;
            m_deadline.start(m_resultMs);
            continue;
        }
        m_finished = true;
        m_deadline.stop();
        Q_EMIT answered(*message);
        return;
    }
    if (m_buffer.size() > control::kMostReplyBytes)
        fail(Failure::BadAnswer, QStringLiteral("Pressbird's answer is too long."));
}

void ControlClient::fail(Failure failure, const QString &why) {
    if (m_finished)
        return;
    m_finished = true;
    m_deadline.stop();
    m_redial.stop();
    m_socket.abort();
    Q_EMIT failed(failure, why);
}

} // namespace pressbird
