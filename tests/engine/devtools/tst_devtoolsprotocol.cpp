// A browser endpoint that misbehaves: garbage on the socket, a socket closed
// in mid-call, a session that is gone, an endpoint or a tab that never
// answers, a scan cancelled while it waits.

#include "devtoolsbrowser.h"
#include "fakeendpoints.h"
#include "scanrig.h"

#include <QElapsedTimer>
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
        // The arguments of the rows call: links, start, count, withText.
        static const QRegularExpression call(uR"(\.rows\((\{.*\})\); \}\)\(\)$)"_qs);
        const QJsonObject args =
            QJsonDocument::fromJson(
                call.match(params.value(u"expression").toString()).captured(1).toUtf8())
                .object();
        QJsonArray rows;
        if (args.value(u"start") == 0) {
            if (args.value(u"links").toBool())
                rows.append(QJsonArray{0, QJsonValue::Null, u"Next"_qs});
            else
                rows.append(0);
        }
        const QJsonArray answer{1, rows, 0, QJsonArray{u"A"_qs}};
        return QString::fromUtf8(QJsonDocument(answer).toJson(QJsonDocument::Compact));
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

    // Kept, never dialled again: a browser may ask its user at every new
    // connection. Once heard from (its late answer), it is walked again.
    void silentEndpoint_oneShortTimeoutThenPassedByUntilHeardFrom_eventLoopKeepsRunning() {
        FakeEndpoint fake; // accepts, answers nothing until told
        QList<std::pair<QWebSocket *, QJsonObject>> unanswered;
        fake.handler = [&unanswered](QWebSocket &socket, const QJsonObject &command) {
            unanswered.append({&socket, command});
        };
        int ticks = 0;
        QTimer heartbeat;
        connect(&heartbeat, &QTimer::timeout, this, [&ticks] { ++ticks; });
        heartbeat.start(10);
        DevToolsBrowser browser(kShort, [&] { return QList<Endpoint>{fake.endpoint()}; });
        QElapsedTimer passedBy;
        for (int walk = 0; walk < 3; ++walk) {
            if (walk == 1)
                passedBy.start();
            QCOMPARE(awaitOnLoop(awaitOnLoop(browser.createShellWindows())->count()), 0);
        }
        // Generous: the two later walks wait for nothing.
        QVERIFY(passedBy.elapsed() < kShort.connectMs);
        QCOMPARE(browser.stats().timeouts, 1);
        QCOMPARE(browser.states().constFirst().state, u"not answering"_qs);
        QVERIFY(ticks > 5);

        for (const auto &[socket, command] : std::exchange(unanswered, {}))
            FakeEndpoint::answer(*socket, command, FakeEndpoint::onePage());
        fake.handler = [](QWebSocket &socket, const QJsonObject &command) {
            FakeEndpoint::answer(socket, command, FakeEndpoint::onePage());
        };
        QTRY_VERIFY(awaitOnLoop(awaitOnLoop(browser.createShellWindows())->count()) == 2);
        QCOMPARE(browser.states().constFirst().state, u"connected"_qs);
        QCOMPARE(fake.connections, 1);
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

    // The dial belongs to the browser, not to the scan: a look-up ends by its
    // own time-out, a handshake stays out (its browser may be asking its
    // user), and both go with the browser.
    void scanDestroyedWhileDialling_nothingResumes_dialEndsByItsTimeOutOrWithTheBrowser_data() {
        QTest::addColumn<QString>("browserPath");
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<bool>("endsOnItsOwn");
        QTest::newRow("HTTP look-up") << QString() << QByteArray("GET /json/version ") << true;
        QTest::newRow("WebSocket handshake")
            << u"/devtools/browser/x"_qs << QByteArray("GET /devtools/browser/x ") << false;
    }
    void scanDestroyedWhileDialling_nothingResumes_dialEndsByItsTimeOutOrWithTheBrowser() {
        QFETCH(QString, browserPath);
        QFETCH(QByteArray, request);
        QFETCH(bool, endsOnItsOwn);
        QTcpServer silent; // accepts, never answers
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        std::optional<ScanRig> rig;
        rig.emplace(QList<Endpoint>{{u"127.0.0.1"_qs, silent.serverPort(), browserPath, false, {}}},
                    kShort);
        bool ended = false;
        std::optional<Task<>> scan(rig->engine.ClickLinks());
        scan->start([&ended] { ended = true; });
        QTRY_VERIFY(silent.hasPendingConnections());
        QTcpSocket *peer = silent.nextPendingConnection();
        QTRY_VERIFY(peer->bytesAvailable() > 0);
        QVERIFY(peer->readAll().startsWith(request));

        scan.reset();
        QTest::qWait(3 * kShort.connectMs); // past every time-out the scan had running
        QVERIFY(!ended);
        QCOMPARE(rig->browser.stats().timeouts, 0);
        if (endsOnItsOwn)
            QCOMPARE(peer->state(), QAbstractSocket::UnconnectedState);
        else
            QCOMPARE(peer->state(), QAbstractSocket::ConnectedState);
        rig.reset();
        QTRY_COMPARE(peer->state(), QAbstractSocket::UnconnectedState);
        QVERIFY(!silent.hasPendingConnections()); // never dialled twice
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
