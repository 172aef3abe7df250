// pressbird-connector as the browser runs it: frames on standard input and
// output, relayed to Pressbird's socket. Faults on either side get an answer
// or a clean end, never a hang; only this user's processes get in.

#include "awaitonloop.h"
#include "connectorframes.h"
#include "connectorserver.h"
#include "runtimefolder.h"

#include <QJsonArray>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace pressbird;
using namespace pressbird::testing;

namespace {

unsigned modeOf(const QString &path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 0777 : ~0u;
}

// One host process, with the browser's end of its pipes.
class Host {
public:
    explicit Host(const QString &runtime, const QString &caller = u"chrome-extension://test/"_qs) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"XDG_RUNTIME_DIR"_qs, runtime);
        m_process.setProcessEnvironment(environment);
        m_process.start(QStringLiteral(PRESSBIRD_CONNECTOR_HOST), {caller});
    }
    ~Host() {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    void send(const QJsonObject &message) { m_process.write(connector::frame(message)); }
    void sendRaw(const QByteArray &bytes) { m_process.write(bytes); }
    // The next frame the host writes to the browser; empty when none comes.
    QJsonObject next(int ms = 5000) {
        QJsonObject found;
        (void)QTest::qWaitFor(
            [&] {
                m_frames.append(m_process.readAllStandardOutput());
                QByteArray json;
                if (m_frames.next(json) != connector::FrameReader::Status::Frame)
                    return false;
                found = *connector::parseObject(json);
                return true;
            },
            ms);
        return found;
    }
    // Skips the host's news until a frame with this key comes.
    QJsonObject nextWith(const QString &key, int ms = 5000) {
        for (int i = 0; i < 20; ++i) {
            const QJsonObject frame = next(ms);
            if (frame.isEmpty() || frame.contains(key))
                return frame;
        }
        return {};
    }
    // Answers every request from Pressbird as a browser with these tabs would.
    void answerTabs(const QJsonArray &tabs) {
        QObject::connect(&m_process, &QProcess::readyReadStandardOutput, &m_process, [this, tabs] {
            m_frames.append(m_process.readAllStandardOutput());
            QByteArray json;
            while (m_frames.next(json) == connector::FrameReader::Status::Frame) {
                const QJsonObject request = *connector::parseObject(json);
                if (request.value(u"op").toString() == u"tabs")
                    send({{u"id"_qs, request.value(u"id")}, {u"tabs"_qs, tabs}});
            }
        });
    }
    QProcess &process() { return m_process; }

private:
    QProcess m_process;
    connector::FrameReader m_frames{connector::kMostToBrowserBytes};
};

QJsonArray tabList(const QString &title) {
    return {QJsonObject{{u"tab"_qs, 1},
                        {u"window"_qs, 1},
                        {u"title"_qs, title},
                        {u"url"_qs, u"https://example.org/"_qs + title}}};
}

} // namespace

class TestConnectorHost : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_runtime;
    QString m_socket;

    // A Pressbird that only accepts, to see and send raw bytes.
    QLocalSocket *acceptRaw(QLocalServer &server) {
        if (!QTest::qWaitFor([&] { return server.hasPendingConnections(); }, 5000))
            return nullptr;
        return server.nextPendingConnection();
    }

private Q_SLOTS:
    void init() {
        QVERIFY(m_runtime.isValid());
        QFile::setPermissions(m_runtime.path(),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", m_runtime.path().toLocal8Bit());
        m_socket = connector::socketName(*runtimeFolder());
        QLocalServer::removeServer(m_socket);
    }

    void pressbirdAbsent_browserToldAndEveryRequestAnswered() {
        Host host(m_runtime.path());
        QCOMPARE(host.next().value(u"pressbird").toString(), u"not running"_qs);
        host.send({{u"id"_qs, 7}, {u"tabs"_qs, QJsonArray()}});
        const QJsonObject answer = host.nextWith(u"error"_qs);
        QCOMPARE(answer.value(u"id").toInt(), 7);
        QCOMPARE(answer.value(u"error").toString(), u"Pressbird is not running"_qs);
        QCOMPARE(host.process().state(), QProcess::Running);
    }

    // Started after the browser, Pressbird is found; it goes and comes back
    // (a restart), and is found again by the same host.
    void pressbirdStartedLaterAndRestarted_foundAgainAndRelayedBothWays() {
        Host host(m_runtime.path());
        QCOMPARE(host.next().value(u"pressbird").toString(), u"not running"_qs);
        host.send({{u"hello"_qs, u"extension"_qs}, {u"browser"_qs, u"Test"_qs}});
        host.answerTabs(tabList(u"one"_qs));
        for (int start = 0; start < 2; ++start) {
            ConnectorServer server;
            QVERIFY(server.listen(m_socket));
            QTRY_COMPARE_WITH_TIMEOUT(server.links().size(), 1, 5000);
            const QJsonObject request{{u"op"_qs, u"tabs"_qs}};
            const ConnectorReply reply =
                awaitOnLoop(server.links().first()->call(request, -1, 2000));
            QVERIFY(reply.ok());
            QCOMPARE(reply.answer.value(u"tabs").toArray(), tabList(u"one"_qs));
        }
    }

    void twoBrowsersAtOnce_eachAnswersItsOwnCalls() {
        ConnectorServer server;
        QVERIFY(server.listen(m_socket));
        Host first(m_runtime.path());
        Host second(m_runtime.path());
        first.answerTabs(tabList(u"first"_qs));
        second.answerTabs(tabList(u"second"_qs));
        QTRY_COMPARE_WITH_TIMEOUT(server.links().size(), 2, 5000);
        QStringList titles;
        for (const std::shared_ptr<ConnectorLink> &link : server.links()) {
            const QJsonObject request{{u"op"_qs, u"tabs"_qs}};
            const ConnectorReply reply = awaitOnLoop(link->call(request, -1, 2000));
            QVERIFY(reply.ok());
            titles.append(reply.answer.value(u"tabs")[0][u"title"].toString());
        }
        titles.sort();
        QCOMPARE(titles, (QStringList{u"first"_qs, u"second"_qs}));
    }

    void malformedFramesBothWays_answeredAndTheStreamGoesOn() {
        QLocalServer raw;
        QVERIFY(raw.listen(m_socket));
        Host host(m_runtime.path());
        QLocalSocket *pressbird = acceptRaw(raw);
        QVERIFY(pressbird);
        host.sendRaw(connector::frame(QByteArray("{\"id\": 3, broken")));
        QCOMPARE(host.nextWith(u"error"_qs).value(u"error").toString(),
                 u"the message is not a JSON object"_qs);
        pressbird->write(connector::frame(QByteArray("[1, 2]")));
        connector::FrameReader fromHost(connector::kMostFromBrowserBytes);
        QJsonObject said;
        const auto hear = [&](const QString &key) {
            return QTest::qWaitFor(
                [&] {
                    fromHost.append(pressbird->readAll());
                    QByteArray json;
                    while (fromHost.next(json) == connector::FrameReader::Status::Frame) {
                        said = *connector::parseObject(json);
                        if (said.contains(key))
                            return true;
                    }
                    return false;
                },
                5000);
        };
        QVERIFY(hear(u"error"_qs));
        QCOMPARE(said.value(u"error").toString(), u"the message is not a JSON object"_qs);
        // Both ends still relay.
        pressbird->write(connector::frame(QJsonObject{{u"id"_qs, 1}, {u"op"_qs, u"tabs"_qs}}));
        QCOMPARE(host.nextWith(u"op"_qs).value(u"id").toInt(), 1);
        host.send({{u"id"_qs, 1}, {u"tabs"_qs, QJsonArray()}});
        QVERIFY(hear(u"tabs"_qs));
    }

    // A length over the limit cannot be skipped safely: the host says why and
    // ends at once, rather than wait for bytes that may never come.
    void oversizeFrameFromTheBrowser_hostSaysWhyAndEnds() {
        ConnectorServer server;
        QVERIFY(server.listen(m_socket));
        Host host(m_runtime.path());
        QTRY_COMPARE_WITH_TIMEOUT(server.links().size(), 1, 5000);
        const quint32 huge = quint32(connector::kMostFromBrowserBytes + 1);
        host.sendRaw(QByteArray(reinterpret_cast<const char *>(&huge), sizeof huge) + "{}");
        QVERIFY(host.nextWith(u"error"_qs).value(u"error").toString().contains(u"at most"));
        QTRY_COMPARE_WITH_TIMEOUT(host.process().state(), QProcess::NotRunning, 5000);
        QCOMPARE(host.process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(host.process().exitCode(), 1);
        QTRY_COMPARE_WITH_TIMEOUT(server.links().size(), 0, 5000);
    }

    // Over Chromium's 1 MB a message would close the port, and every tab with it.
    void oversizeFrameFromPressbird_refusedAndNeverReachesTheBrowser() {
        QLocalServer raw;
        QVERIFY(raw.listen(m_socket));
        Host host(m_runtime.path());
        QLocalSocket *pressbird = acceptRaw(raw);
        QVERIFY(pressbird);
        QCOMPARE(host.nextWith(u"pressbird"_qs).value(u"pressbird").toString(), u"not running"_qs);
        QCOMPARE(host.nextWith(u"pressbird"_qs).value(u"pressbird").toString(), u"connected"_qs);
        const QByteArray big = QByteArray(connector::kMostToBrowserBytes, 'x');
        pressbird->write(connector::frame(QByteArray("{\"id\":1,\"pad\":\"") + big + "\"}"));
        QTRY_VERIFY_WITH_TIMEOUT(pressbird->state() == QLocalSocket::UnconnectedState, 5000);
        QCOMPARE(host.nextWith(u"pressbird"_qs).value(u"pressbird").toString(), u"not running"_qs);
        QCOMPARE(host.process().state(), QProcess::Running);
    }

    // The folder and the socket keep other users out; where the system lets
    // one in all the same, the peer's user is refused at the door.
    void anotherUsersProcess_refused() {
        ConnectorServer server;
        QVERIFY(server.listen(m_socket));
        QCOMPARE(modeOf(*runtimeFolder()), 0700u);
        QCOMPARE(modeOf(m_socket) & 0077u, 0u);
        QVERIFY(peerAllowed(::getuid()));
        QVERIFY(!peerAllowed(::getuid() + 1));
        QVERIFY(!peerAllowed(std::nullopt));
        const QString setpriv = QStandardPaths::findExecutable(u"setpriv"_qs);
        const QString python =
            QStandardPaths::findExecutable(u"python3"_qs, {u"/usr/bin"_qs, u"/bin"_qs});
        if (::getuid() != 0 || setpriv.isEmpty() || python.isEmpty())
            return;
        const QString connect = u"import socket,sys\n"
                                "s=socket.socket(socket.AF_UNIX); s.settimeout(5)\n"
                                "try:\n s.connect(sys.argv[1]); print('connected', s.recv(1))\n"
                                "except OSError as e: print('refused', e.errno)\n"_qs;
        const auto asNobody = [&] {
            QProcess other;
            other.start(setpriv, {u"--reuid=65534"_qs, u"--regid=65534"_qs, u"--clear-groups"_qs,
                                  python, u"-c"_qs, connect, m_socket});
            // The server refuses from this event loop: it must turn meanwhile.
            (void)QTest::qWaitFor([&] { return other.state() == QProcess::NotRunning; }, 10000);
            return other.readAllStandardOutput() + other.readAllStandardError();
        };
        // Let the other user reach the folder's path: the socket's own mode refuses.
        ::chmod(QFile::encodeName(m_runtime.path()).constData(), 0755);
        ::chmod(QFile::encodeName(*runtimeFolder()).constData(), 0755);
        QByteArray said = asNobody();
        QVERIFY2(said.startsWith("refused"), said.constData());
        // Even with the socket opened to all, the server closes on them unheard.
        ::chmod(QFile::encodeName(m_socket).constData(), 0666);
        said = asNobody();
        QVERIFY2(said.startsWith("connected b''"), said.constData());
        QTRY_COMPARE(server.refused(), 1);
        QCOMPARE(server.links().size(), 0);
        ::chmod(QFile::encodeName(*runtimeFolder()).constData(), 0700);
    }
};

QTEST_GUILESS_MAIN(TestConnectorHost)
#include "tst_connectorhost.moc"
