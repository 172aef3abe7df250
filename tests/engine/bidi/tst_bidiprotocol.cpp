// Finding Firefox, and a BiDi endpoint that misbehaves: files that are stale,
// empty, huge or point off this computer; garbage, wrong shapes and silence
// on the socket. Each gives a clear state, never a hang or a crash.

#include "awaitonloop.h"
#include "bidibrowser.h"
#include "bidiendpoints.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWebSocket>
#include <QWebSocketServer>

using namespace pressbird;
using namespace pressbird::testing;

namespace {

// Answers each command with what the test's handler sends back.
class FakeFirefox : public QObject {
public:
    std::function<void(QWebSocket &, const QJsonObject &)> handler;

    FakeFirefox() {
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
    BidiEndpoint endpoint() const { return {u"127.0.0.1"_qs, m_server.serverPort(), u"test"_qs}; }
    static void reply(QWebSocket &socket, const QJsonObject &command, const QJsonObject &result) {
        const QJsonObject message{
            {u"type"_qs, u"success"_qs}, {u"id"_qs, command.value(u"id")}, {u"result"_qs, result}};
        socket.sendTextMessage(QString::fromUtf8(QJsonDocument(message).toJson()));
    }

private:
    QWebSocketServer m_server{u"fake"_qs, QWebSocketServer::NonSecureMode};
};

QString stateAfterAWalk(FakeFirefox &fake, int *windows = nullptr) {
    BidiBrowser browser({300, 300}, [&fake] { return QList<BidiEndpoint>{fake.endpoint()}; });
    std::unique_ptr<ShellWindows> found = awaitOnLoop(browser.createShellWindows(), 10000);
    if (windows)
        *windows = found ? awaitOnLoop(found->count(), 10000).value_or(-1) : -1;
    return browser.states().value(0).state;
}

} // namespace

class TestBidiProtocol : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void endpointsFromTheEnvironment_onlyBidiOnTheLoopback() {
        QCOMPARE(parseBidiEndpoint(u"bidi://127.0.0.1:9222").value().port, 9222);
        QCOMPARE(parseBidiEndpoint(u"BIDI://[::1]:1").value().host, u"::1"_qs);
        QVERIFY(parseBidiEndpoint(u"bidi://localhost:4444"));
        for (const char *refused :
             {"127.0.0.1:9222", "bidi://10.0.0.1:9222", "bidi://example.org:1",
              "bidi://127.0.0.1:0", "bidi://127.0.0.1:70000", "bidi://", ""})
            QVERIFY2(!parseBidiEndpoint(QString::fromLatin1(refused)), refused);
        const QList<BidiEndpoint> found = discoverBidiEndpoints(
            u"127.0.0.1:9222,bidi://127.0.0.1:5000,bidi://127.0.0.1:5000"_qs, {});
        QCOMPARE(found.size(), 1);
    }

    void serverFiles_staleEmptyHugeOrOffTheLoopback_areNotUsed() {
        QTemporaryDir dir;
        const auto write = [&](const QString &name, const QByteArray &bytes) {
            QDir().mkpath(dir.filePath(name));
            QFile file(dir.filePath(name + u"/WebDriverBiDiServer.json"_qs));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(bytes);
        };
        write(u"good"_qs, R"({"ws_host": "127.0.0.1", "ws_port": 41234})");
        write(u"empty"_qs, "");
        write(u"huge"_qs,
              QByteArray(2 * 1024 * 1024, ' ') + R"({"ws_host": "127.0.0.1", "ws_port": 1})");
        write(u"far"_qs, R"({"ws_host": "192.168.1.5", "ws_port": 41234})");
        write(u"named"_qs, R"({"ws_host": "example.org", "ws_port": 41234})");
        write(u"shape"_qs, R"({"ws_host": ["127.0.0.1"], "ws_port": "41234"})");
        write(u"garbage"_qs, "\x01\x02 not json");
        QStringList dirs;
        for (const char *name :
             {"good", "empty", "huge", "far", "named", "shape", "garbage", "missing"})
            dirs << dir.filePath(QString::fromLatin1(name));
        const QList<BidiEndpoint> found = discoverBidiEndpoints(std::nullopt, dirs);
        QCOMPARE(found.size(), 1);
        QCOMPARE(found.constFirst().port, 41234);
    }

    void nothingListening_isNotReachable_quickly() {
        FakeFirefox fake;
        const BidiEndpoint gone = fake.endpoint();
        BidiBrowser browser({300, 300}, [&] {
            return QList<BidiEndpoint>{{gone.host, 1, u"x"_qs}};
        });
        QElapsedTimer clock;
        clock.start();
        awaitOnLoop(browser.createShellWindows(), 10000);
        QCOMPARE(browser.states().value(0).state, u"not reachable"_qs);
        QVERIFY(clock.elapsed() < 3000);
    }

    void garbageWrongShapesAndSilence_giveAState_neverAHang_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("state");
        QTest::newRow("garbage") << u"garbage"_qs << u"starting its session"_qs;
        QTest::newRow("silence") << u"silence"_qs << u"starting its session"_qs;
        QTest::newRow("session refused")
            << u"refused"_qs << u"busy: another program holds its session"_qs;
        QTest::newRow("tree of the wrong shape") << u"shape"_qs << u"connected"_qs;
        QTest::newRow("tree never answered") << u"no tree"_qs << u"did not answer"_qs;
    }
    void garbageWrongShapesAndSilence_giveAState_neverAHang() {
        QFETCH(QString, kind);
        QFETCH(QString, state);
        FakeFirefox fake;
        fake.handler = [&](QWebSocket &socket, const QJsonObject &command) {
            const QString method = command.value(u"method").toString();
            if (kind == u"garbage") {
                socket.sendTextMessage(u"{{{ not json"_qs);
                socket.sendBinaryMessage(QByteArray(100, '\0'));
            } else if (kind == u"refused" && method == u"session.new") {
                socket.sendTextMessage(QString::fromUtf8(
                    QJsonDocument(QJsonObject{{u"type"_qs, u"error"_qs},
                                              {u"id"_qs, command.value(u"id")},
                                              {u"error"_qs, u"session not created"_qs}})
                        .toJson()));
            } else if (kind == u"shape" || kind == u"no tree") {
                if (method == u"browsingContext.getTree") {
                    if (kind == u"shape")
                        FakeFirefox::reply(socket, command, {{u"contexts"_qs, u"not a list"_qs}});
                } else {
                    FakeFirefox::reply(socket, command, {});
                }
            }
        };
        int windows = -1;
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(stateAfterAWalk(fake, &windows), state);
        QCOMPARE(windows, 0);
        QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
    }

    // Firefox busy for a moment (a page laying out megabytes) answers one tree
    // late: the next walk goes on in the same session. Firefox keeps a
    // session whose socket closed, so a new connection would be refused as
    // busy until the browser restarts.
    void treeUnansweredOnce_nextWalkKeepsTheSession() {
        FakeFirefox fake;
        int sessions = 0;
        int trees = 0;
        fake.handler = [&](QWebSocket &socket, const QJsonObject &command) {
            const QString method = command.value(u"method").toString();
            if (method == u"session.new" && sessions++ > 0) {
                socket.sendTextMessage(QString::fromUtf8(
                    QJsonDocument(QJsonObject{{u"type"_qs, u"error"_qs},
                                              {u"id"_qs, command.value(u"id")},
                                              {u"error"_qs, u"session not created"_qs}})
                        .toJson()));
            } else if (method == u"browsingContext.getTree") {
                QTimer::singleShot(trees++ == 0 ? 500 : 0, &socket, [&socket, command] {
                    FakeFirefox::reply(socket, command, {{u"contexts"_qs, QJsonArray()}});
                });
            } else {
                FakeFirefox::reply(socket, command, {});
            }
        };
        BidiBrowser browser({300, 300}, [&fake] { return QList<BidiEndpoint>{fake.endpoint()}; });
        for (const char *state : {"did not answer", "connected"}) {
            awaitOnLoop(browser.createShellWindows(), 10000);
            QCOMPARE(browser.states().value(0).state, QString::fromLatin1(state));
            QTest::qWait(400); // the late answer comes
        }
        QCOMPARE(sessions, 1);
    }
};

QTEST_GUILESS_MAIN(TestBidiProtocol)
#include "tst_bidiprotocol.moc"
