// A browser endpoint that misbehaves: garbage on the socket, a socket closed
// in mid-call, a session that is gone, an endpoint or a tab that never
// answers, a scan cancelled while it waits.

#include "devtoolsbrowser.h"
#include "scanrig.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>
#include <QWebSocket>
#include <QWebSocketServer>

using namespace pressbird;
using namespace pressbird::testing;

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

private:
    QWebSocketServer m_server{u"fake"_qs, QWebSocketServer::NonSecureMode};
};

// Page targets T1 and T2, each showing the one link "Next", reached through
// the whole page protocol. Evaluations in a tab of holdIn stay unanswered
// until release(); presses are recorded by target.
class FakePages {
public:
    explicit FakePages(FakeEndpoint &fake) {
        fake.handler = [this](QWebSocket &socket, const QJsonObject &command) {
            m_socket = &socket;
            if (onCommand)
                onCommand(command);
            const QString target = command.value(u"sessionId").toString().mid(2);
            if (command.value(u"method").toString() == u"Runtime.evaluate" &&
                holdIn.contains(target))
                held.append(command);
            else
                serve(command);
        };
    }

    QSet<QString> holdIn;
    QList<QJsonObject> held;
    QStringList pressed;
    std::function<void(const QJsonObject &)> onCommand;

    void release() {
        for (const QJsonObject &command : std::exchange(held, {}))
            serve(command);
    }

private:
    void send(QJsonObject message, const QString &sessionId) {
        if (!sessionId.isEmpty())
            message.insert(u"sessionId"_qs, sessionId);
        m_socket->sendTextMessage(QString::fromUtf8(QJsonDocument(message).toJson()));
    }

    void serve(const QJsonObject &command) {
        const QString method = command.value(u"method").toString();
        const QString session = command.value(u"sessionId").toString();
        const QJsonObject params = command.value(u"params").toObject();
        QJsonObject result;
        if (method == u"Target.getTargets") {
            QJsonArray infos;
            for (const QString &id : {u"T1"_qs, u"T2"_qs})
                infos.append(QJsonObject{{u"targetId"_qs, id}, {u"type"_qs, u"page"_qs}});
            result = {{u"targetInfos"_qs, infos}};
        } else if (method == u"Target.attachToTarget") {
            result = {{u"sessionId"_qs, u"S-"_qs + params.value(u"targetId").toString()}};
        } else if (method == u"Page.getFrameTree") {
            const QJsonObject frame{{u"id"_qs, u"F"_qs}, {u"loaderId"_qs, u"L"_qs}};
            result = {{u"frameTree"_qs, QJsonObject{{u"frame"_qs, frame}}}};
        } else if (method == u"Page.createIsolatedWorld") {
            result = {{u"executionContextId"_qs, 7}};
        } else if (method == u"Runtime.enable") {
            const QJsonObject context{{u"id"_qs, 7},
                                      {u"name"_qs, u"pressbird"_qs},
                                      {u"uniqueId"_qs, u"U-"_qs + session},
                                      {u"auxData"_qs, QJsonObject{{u"frameId"_qs, u"F"_qs}}}};
            send({{u"method"_qs, u"Runtime.executionContextCreated"_qs},
                  {u"params"_qs, QJsonObject{{u"context"_qs, context}}}},
                 session);
        } else if (method == u"Runtime.evaluate") {
            result = {{u"result"_qs, QJsonObject{{u"value"_qs, evaluate(session, params)}}}};
        }
        send({{u"id"_qs, command.value(u"id")}, {u"result"_qs, result}}, session);
    }

    QJsonValue evaluate(const QString &session, const QJsonObject &params) {
        if (params.value(u"userGesture").toBool()) {
            pressed.append(session.mid(2));
            return true;
        }
        // The arguments of the rows expression: links, start, count, withText.
        static const QRegularExpression arguments(uR"(\)\((\d), (\d+), \d+, \w+\)$)"_qs);
        const QRegularExpressionMatch match =
            arguments.match(params.value(u"expression").toString());
        QJsonArray rows;
        if (match.captured(2) == u"0") {
            if (match.captured(1) == u"1")
                rows.append(QJsonArray{u"A"_qs, QJsonValue::Null, u"Next"_qs});
            else
                rows.append(u"A"_qs);
        }
        return QString::fromUtf8(QJsonDocument(QJsonArray{1, rows}).toJson(QJsonDocument::Compact));
    }

    QWebSocket *m_socket = nullptr;
};

const DevToolsTimeouts kShort{200, 300};

// The document of the first target of a fresh walk.
std::unique_ptr<Document> firstDocument(DevToolsBrowser &browser) {
    auto windows = awaitOnLoop(browser.createShellWindows());
    return awaitOnLoop(awaitOnLoop(windows->next())->document());
}

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
        auto windows = awaitOnLoop(browser.createShellWindows());
        QCOMPARE(awaitOnLoop(windows->count()), 2);
        QCOMPARE(awaitOnLoop(awaitOnLoop(windows->next())->name()), kBrowserWindowName.toString());
        QCOMPARE(awaitOnLoop(awaitOnLoop(windows->next())->name()), u"service_worker"_qs);
        QVERIFY(!awaitOnLoop(windows->next()));
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
        QVERIFY(!firstDocument(browser));
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
        QVERIFY(!firstDocument(browser));
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
        QVERIFY(!firstDocument(browser));
        QCOMPARE(browser.stats().timeouts, 0);
    }

    void silentEndpoint_oneShortTimeoutPerWalk_eventLoopKeepsRunning() {
        FakeEndpoint fake; // accepts, never answers
        int ticks = 0;
        QTimer heartbeat;
        connect(&heartbeat, &QTimer::timeout, this, [&ticks] { ++ticks; });
        heartbeat.start(10);
        DevToolsBrowser browser(kShort, [&] { return QList<Endpoint>{fake.endpoint()}; });
        QCOMPARE(awaitOnLoop(awaitOnLoop(browser.createShellWindows())->count()), 0);
        QCOMPARE(awaitOnLoop(awaitOnLoop(browser.createShellWindows())->count()), 0);
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
        for (int walk = 0; walk < 3; ++walk)
            QVERIFY(!firstDocument(browser));
        QCOMPARE(browser.stats().timeouts, 1);
    }

    void callTimingOutInOneTab_otherTabStillScannedAndPressedInTheSameScan() {
        FakeEndpoint fake;
        FakePages pages(fake);
        pages.holdIn = {u"T1"_qs};
        // T1's late answer comes in among T2's calls and must be taken for none of them.
        pages.onCommand = [&pages](const QJsonObject &command) {
            if (command.value(u"sessionId").toString() == u"S-T2")
                pages.release();
        };
        ScanRig rig({fake.endpoint()}, kShort);
        rig.listClick.appendTicked(rule(u"Next"_qs, u"Exact Match"_qs));
        rig.clickLinks();
        QCOMPARE(pages.pressed, QStringList{u"T2"_qs});
        QCOMPARE(rig.browser.stats().timeouts, 1);
    }

    void scanDestroyedWhileDialling_connectionClosedAndNothingResumes_data() {
        QTest::addColumn<QString>("browserPath");
        QTest::addColumn<QByteArray>("request");
        QTest::newRow("HTTP look-up") << QString() << QByteArray("GET /json/version ");
        QTest::newRow("WebSocket handshake")
            << u"/devtools/browser/x"_qs << QByteArray("GET /devtools/browser/x ");
    }
    void scanDestroyedWhileDialling_connectionClosedAndNothingResumes() {
        QFETCH(QString, browserPath);
        QFETCH(QByteArray, request);
        QTcpServer silent; // accepts, never answers
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        ScanRig rig({{u"127.0.0.1"_qs, silent.serverPort(), browserPath, false, {}}}, kShort);
        bool ended = false;
        std::optional<Task<>> scan(rig.engine.ClickLinks());
        scan->start([&ended] { ended = true; });
        QTRY_VERIFY(silent.hasPendingConnections());
        QTcpSocket *peer = silent.nextPendingConnection();
        QTRY_VERIFY(peer->bytesAvailable() > 0);
        QVERIFY(peer->readAll().startsWith(request));

        scan.reset();
        QTRY_COMPARE(peer->state(), QAbstractSocket::UnconnectedState);
        QTest::qWait(3 * kShort.connectMs); // past every time-out the scan had running
        QVERIFY(!ended);
        QCOMPARE(rig.browser.stats().timeouts, 0);
    }

    void scanDestroyedWhileAPageCallWaits_lateAnswerIgnoredAndNextScanPressesAll() {
        FakeEndpoint fake;
        FakePages pages(fake);
        pages.holdIn = {u"T1"_qs};
        ScanRig rig({fake.endpoint()}, kShort);
        rig.listClick.appendTicked(rule(u"Next"_qs, u"Exact Match"_qs));
        bool ended = false;
        std::optional<Task<>> scan(rig.engine.ClickLinks());
        scan->start([&ended] { ended = true; });
        QTRY_VERIFY(!pages.held.isEmpty());

        scan.reset();
        pages.holdIn.clear();
        pages.release(); // the answer the destroyed scan waited for
        QTest::qWait(3 * kShort.callMs);
        QVERIFY(!ended);
        QVERIFY(pages.pressed.isEmpty());

        rig.clickLinks();
        QCOMPARE(pages.pressed, (QStringList{u"T1"_qs, u"T2"_qs}));
        QCOMPARE(rig.browser.stats().timeouts, 0);
    }
};

QTEST_GUILESS_MAIN(TestDevToolsProtocol)
#include "tst_devtoolsprotocol.moc"
