// A browser endpoint that misbehaves: garbage on the socket, a socket closed
// in mid-call, a session that is gone, an endpoint that never answers.

#include "devtoolsbrowser.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>
#include <QTimer>
#include <QWebSocket>
#include <QWebSocketServer>

using namespace pressbird;

namespace {

// Answers each command with whatever the test's handler sends back.
class FakeEndpoint : public QObject {
public:
    using Handler = std::function<void(QWebSocket &, const QJsonObject &)>;
    Handler handler;

    FakeEndpoint() {
        QVERIFY(m_server.listen(QHostAddress::LocalHost));
        connect(&m_server, &QWebSocketServer::newConnection, this, [this] {
            QWebSocket *socket = m_server.nextPendingConnection();
            socket->setParent(this);
            connect(socket, &QWebSocket::textMessageReceived, this,
                    [this, socket](const QString &t) {
                        if (handler)
                            handler(*socket, QJsonDocument::fromJson(t.toUtf8()).object());
                    });
        });
    }
    Endpoint endpoint() const {
        return {u"127.0.0.1"_qs, m_server.serverPort(), u"/devtools/browser/fake"_qs, false};
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

private:
    QWebSocketServer m_server{u"fake"_qs, QWebSocketServer::NonSecureMode};
};

const DevToolsTimeouts kShort{200, 300};

} // namespace

class TestDevToolsProtocol : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void garbageAndStrayAnswers_ignoredAndTheRealAnswerTaken() {
        FakeEndpoint fake;
        fake.handler = [](QWebSocket &socket, const QJsonObject &command) {
            socket.sendTextMessage(u"not json {"_qs);
            socket.sendBinaryMessage(QByteArray(100, '\xff'));
            socket.sendTextMessage(u"[1, 2, 3]"_qs);
            socket.sendTextMessage(u"{\"id\": 987654, \"result\": 5}"_qs);
            socket.sendTextMessage(u"{\"method\": 12, \"params\": []}"_qs);
            FakeEndpoint::answer(socket, command, FakeEndpoint::onePage());
        };
        DevToolsBrowser browser(kShort, [&] { return QList<Endpoint>{fake.endpoint()}; });
        auto windows = browser.createShellWindows();
        QCOMPARE(windows->count(), 2);
        QCOMPARE(windows->next()->name(), kBrowserWindowName.toString());
        QCOMPARE(windows->next()->name(), u"service_worker"_qs);
        QVERIFY(!windows->next());
    }

    void answersOfTheWrongShape_readAsFailedCalls() {
        FakeEndpoint fake;
        fake.handler = [](QWebSocket &socket, const QJsonObject &command) {
            const QString method = command.value(u"method").toString();
            if (method == u"Target.getTargets")
                FakeEndpoint::answer(socket, command, FakeEndpoint::onePage());
            else if (method == u"Target.attachToTarget")
                FakeEndpoint::answer(socket, command, {{u"sessionId"_qs, u"S1"_qs}});
            else if (method == u"Page.getFrameTree")
                FakeEndpoint::answer(socket, command, {{u"frameTree"_qs, 42}});
            else
                FakeEndpoint::answer(socket, command, {});
        };
        DevToolsBrowser browser(kShort, [&] { return QList<Endpoint>{fake.endpoint()}; });
        auto windows = browser.createShellWindows();
        QVERIFY(!windows->next()->document());
        QCOMPARE(browser.stats().timeouts, 0);
    }

    void socketClosedInMidCall_failsAtOnce() {
        FakeEndpoint fake;
        fake.handler = [](QWebSocket &socket, const QJsonObject &command) {
            if (command.value(u"method").toString() == u"Target.getTargets")
                FakeEndpoint::answer(socket, command, FakeEndpoint::onePage());
            else
                socket.close(QWebSocketProtocol::CloseCodeAbnormalDisconnection);
        };
        DevToolsBrowser browser({5000, 5000}, [&] { return QList<Endpoint>{fake.endpoint()}; });
        auto windows = browser.createShellWindows();
        QVERIFY(!windows->next()->document());
        QCOMPARE(browser.stats().timeouts, 0);
    }

    void sessionNotFound_failsThePendingCallsAtOnce() {
        FakeEndpoint fake;
        fake.handler = [](QWebSocket &socket, const QJsonObject &command) {
            const QString method = command.value(u"method").toString();
            if (method == u"Target.getTargets") {
                FakeEndpoint::answer(socket, command, FakeEndpoint::onePage());
            } else if (method == u"Target.attachToTarget") {
                FakeEndpoint::answer(socket, command, {{u"sessionId"_qs, u"S1"_qs}});
            } else {
                const QJsonObject error{{u"code"_qs, -32001},
                                        {u"message"_qs, u"Session with given id not found."_qs}};
                const QJsonObject reply{{u"id"_qs, command.value(u"id")}, {u"error"_qs, error}};
                socket.sendTextMessage(QString::fromUtf8(QJsonDocument(reply).toJson()));
            }
        };
        DevToolsBrowser browser({5000, 5000}, [&] { return QList<Endpoint>{fake.endpoint()}; });
        QVERIFY(!browser.createShellWindows()->next()->document());
        QCOMPARE(browser.stats().timeouts, 0);
    }

    void silentEndpoint_oneShortTimeoutPerWalk_eventLoopKeepsRunning() {
        FakeEndpoint fake; // accepts, never answers
        int ticks = 0;
        QTimer heartbeat;
        connect(&heartbeat, &QTimer::timeout, this, [&ticks] { ++ticks; });
        heartbeat.start(10);
        DevToolsBrowser browser(kShort, [&] { return QList<Endpoint>{fake.endpoint()}; });
        QCOMPARE(browser.createShellWindows()->count(), 0);
        QCOMPARE(browser.createShellWindows()->count(), 0);
        QCOMPARE(browser.stats().timeouts, 2);
        QVERIFY(ticks > 5);
    }

    void pageThatStopsAnswering_laterCallsFailWithoutWaiting() {
        FakeEndpoint fake;
        fake.handler = [](QWebSocket &socket, const QJsonObject &command) {
            const QString method = command.value(u"method").toString();
            if (method == u"Target.getTargets")
                FakeEndpoint::answer(socket, command, FakeEndpoint::onePage());
            else if (method == u"Target.attachToTarget")
                FakeEndpoint::answer(socket, command, {{u"sessionId"_qs, u"S1"_qs}});
            // the page itself answers nothing
        };
        DevToolsBrowser browser(kShort, [&] { return QList<Endpoint>{fake.endpoint()}; });
        for (int walk = 0; walk < 3; ++walk) {
            auto windows = browser.createShellWindows();
            QVERIFY(!windows->next()->document());
        }
        QCOMPARE(browser.stats().timeouts, 1);
    }
};

QTEST_GUILESS_MAIN(TestDevToolsProtocol)
#include "tst_devtoolsprotocol.moc"
