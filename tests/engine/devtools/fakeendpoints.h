#pragma once

#include "endpoints.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QWebSocket>
#include <QWebSocketServer>

#include <functional>

namespace pressbird::testing {

// Answers each command with whatever the test's handler sends back.
class FakeEndpoint : public QObject {
public:
    using Handler = std::function<void(QWebSocket &, const QJsonObject &)>;
    Handler handler;
    int connections = 0;

    FakeEndpoint() {
        QVERIFY(m_server.listen(QHostAddress::LocalHost));
        connect(&m_server, &QWebSocketServer::newConnection, this, [this] {
            ++connections;
            QWebSocket *socket = m_server.nextPendingConnection();
            socket->setParent(this);
            connect(socket, &QWebSocket::textMessageReceived, this,
                    [this, socket](const QString &t) {
                        const QJsonObject command = QJsonDocument::fromJson(t.toUtf8()).object();
                        // Target events are turned on as a browser turns them
                        // on; the fake then never sends any.
                        if (command.value(u"method") == u"Target.setDiscoverTargets"_qs)
                            answer(*socket, command, {});
                        else if (handler)
                            handler(*socket, command);
                    });
        });
    }
    Endpoint endpoint() const {
        return {u"127.0.0.1"_qs, m_server.serverPort(), u"/devtools/browser/fake"_qs, false, {}};
    }
    static void answer(QWebSocket &socket, const QJsonObject &command, const QJsonObject &result) {
        const QJsonObject reply{{u"id"_qs, command.value(u"id")}, {u"result"_qs, result}};
        socket.sendTextMessage(QString::fromUtf8(QJsonDocument(reply).toJson()));
    }
    static QJsonObject onePage() {
        QJsonArray infos;
        infos.append(QJsonObject{{u"targetId"_qs, u"T1"_qs}, {u"type"_qs, u"page"_qs}});
        infos.append(QJsonObject{{u"targetId"_qs, u"W1"_qs}, {u"type"_qs, u"service_worker"_qs}});
        return {{u"targetInfos"_qs, infos}};
    }
    // Every command answered as if by a browser with one page.
    void answerEverything() {
        handler = [](QWebSocket &socket, const QJsonObject &command) {
            const bool targets = command.value(u"method").toString() == u"Target.getTargets";
            answer(socket, command, targets ? onePage() : QJsonObject());
        };
    }

protected:
    QWebSocketServer m_server{u"fake"_qs, QWebSocketServer::NonSecureMode};
};

// A browser with its remote-debugging switch on: it serves only the browser
// WebSocket, and holds each handshake until its user answers: allow() lets it
// through, refuse() answers 403, die() drops everything.
class PromptingBrowser : public FakeEndpoint {
public:
    int handshakes = 0;
    bool allowAtOnce = false;

    PromptingBrowser() {
        answerEverything();
        QVERIFY(m_prompts.listen(QHostAddress::LocalHost));
        connect(&m_prompts, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = m_prompts.nextPendingConnection()) {
                ++handshakes;
                m_held.append(socket);
            }
            if (allowAtOnce)
                allow();
        });
    }
    Endpoint endpoint(const QString &path = u"/devtools/browser/first"_qs) const {
        return {u"127.0.0.1"_qs, m_prompts.serverPort(), path, false, {}};
    }
    qsizetype waiting() const { return m_held.size(); }

    void allow() {
        for (QTcpSocket *socket : std::exchange(m_held, {}))
            m_server.handleConnection(socket);
    }
    void refuse() {
        for (QTcpSocket *socket : std::exchange(m_held, {})) {
            socket->write("HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\n\r\n");
            socket->disconnectFromHost();
        }
    }
    void die() {
        for (QTcpSocket *socket : std::exchange(m_held, {}))
            socket->abort();
        m_prompts.close();
    }

private:
    QTcpServer m_prompts;
    QList<QTcpSocket *> m_held;
};

} // namespace pressbird::testing
