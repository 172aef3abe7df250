#include "async/notifier.h"
#include "controlclient.h"
#include "controlprotocol.h"
#include "controlserver.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace pressbird;

// The socket pressbird-ctl talks through: only its user gets in, every
// request is acknowledged or refused with a reason, and a client never waits
// longer than its time-outs for an instance that hangs.
class TestControlSocket : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void folderAndSocket_areTheUsersAlone();
    void request_isAcknowledgedThenAnswered();
    void malformedAndOversizeRequests_getAReason();
    void instanceThatHangs_failsTheClientWithinTheAckTimeOut();
    void nothingListening_isNotRunning();
    void staleSocketFile_isTakenOver();
    void clientGone_cancelsTheWorkWhereItWaits();
    void anotherUser_cannotConnect();

private:
    struct Outcome {
        std::optional<QJsonObject> reply;
        std::optional<ControlClient::Failure> failure;
        QString why;
    };
    Outcome ask(const QJsonObject &request, int resultMs = 2000);
    QByteArray rawExchange(const QByteArray &bytes);

    QTemporaryDir m_runtime;
    QString m_folder;
};

namespace {
Task<QJsonObject> echo(QJsonObject request) {
    co_return control::success(request.value(u"verb").toString());
}
unsigned modeOf(const QString &path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 0777 : ~0u;
}
} // namespace

void TestControlSocket::init() {
    qputenv("XDG_RUNTIME_DIR", m_runtime.path().toLocal8Bit());
    QString why;
    const std::optional<QString> folder = runtimeFolder(&why);
    QVERIFY2(folder, qPrintable(why));
    m_folder = *folder;
}

TestControlSocket::Outcome TestControlSocket::ask(const QJsonObject &request, int resultMs) {
    Outcome outcome;
    ControlClient client(control::socketName(m_folder));
    connect(&client, &ControlClient::answered, this,
            [&](const QJsonObject &reply) { outcome.reply = reply; });
    connect(&client, &ControlClient::failed, this,
            [&](ControlClient::Failure failure, const QString &why) {
                outcome.failure = failure;
                outcome.why = why;
            });
    client.ask(request, 300, resultMs);
    if (!QTest::qWaitFor([&] { return outcome.reply || outcome.failure; }, 10000))
        qFatal("the client neither answered nor failed");
    return outcome;
}

// The server lives on this thread: the client waits in the loop, never blocks it.
QByteArray TestControlSocket::rawExchange(const QByteArray &bytes) {
    QLocalSocket socket;
    QByteArray answer;
    connect(&socket, &QLocalSocket::readyRead, this, [&] { answer += socket.readAll(); });
    socket.connectToServer(control::socketName(m_folder));
    if (!QTest::qWaitFor([&] { return socket.state() == QLocalSocket::ConnectedState; }, 2000))
        return "no connection";
    socket.write(bytes);
    (void)QTest::qWaitFor([&] { return socket.state() == QLocalSocket::UnconnectedState; }, 3000);
    return answer;
}

void TestControlSocket::folderAndSocket_areTheUsersAlone() {
    ControlServer server(echo);
    QVERIFY(server.listen(control::socketName(m_folder)));
    QCOMPARE(modeOf(m_folder), 0700u);
    QCOMPARE(modeOf(control::socketName(m_folder)) & 077, 0u);

    // A folder open to others is never used.
    QVERIFY(::chmod(QFile::encodeName(m_folder).constData(), 0777) == 0);
    const std::optional<QString> again = runtimeFolder();
    QVERIFY(again);
    QCOMPARE(modeOf(*again), 0700u); // made private again, it is ours
}

void TestControlSocket::request_isAcknowledgedThenAnswered() {
    ControlServer server(echo);
    QVERIFY(server.listen(control::socketName(m_folder)));
    const QByteArray answer = rawExchange(control::encode(control::request(u"status"_qs)));
    QCOMPARE(answer, QByteArray(R"({"ack":true})"
                                "\n"
                                R"({"ok":true,"text":"status"})"
                                "\n"));
    const Outcome outcome = ask(control::request(u"pause"_qs));
    QVERIFY(outcome.reply);
    QCOMPARE(outcome.reply->value(u"text").toString(), u"pause"_qs);
}

void TestControlSocket::malformedAndOversizeRequests_getAReason() {
    ControlServer server(echo);
    QVERIFY(server.listen(control::socketName(m_folder)));
    QVERIFY(rawExchange("not json\n").contains(R"("ok":false)"));
    QVERIFY(rawExchange("{\"no\": \"verb\"}\n").contains("with a verb"));
    const QByteArray huge(control::kMostRequestBytes + 10, 'x');
    QVERIFY(rawExchange(huge).contains("too long"));
    // The server took all that and still answers.
    QVERIFY(ask(control::request(u"status"_qs)).reply);
}

void TestControlSocket::instanceThatHangs_failsTheClientWithinTheAckTimeOut() {
    QLocalServer hung; // accepts, then never reads nor answers
    QVERIFY(hung.listen(control::socketName(m_folder)));
    QElapsedTimer clock;
    clock.start();
    const Outcome outcome = ask(control::request(u"status"_qs), 60000);
    QCOMPARE(outcome.failure, std::optional(ControlClient::Failure::NoAnswer));
    QVERIFY2(outcome.why.contains(u"does not answer"_qs), qPrintable(outcome.why));
    QVERIFY(clock.elapsed() < control::kAckTimeoutMs + 1500);
}

void TestControlSocket::nothingListening_isNotRunning() {
    const Outcome outcome = ask(control::request(u"status"_qs));
    QCOMPARE(outcome.failure, std::optional(ControlClient::Failure::NotRunning));
    QCOMPARE(outcome.why, u"Pressbird is not running."_qs);
}

void TestControlSocket::staleSocketFile_isTakenOver() {
    // What a crashed run leaves: a socket file bound once, listened on by no one.
    const QByteArray path = QFile::encodeName(control::socketName(m_folder));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    const int crashed = ::socket(AF_UNIX, SOCK_STREAM, 0);
    QCOMPARE(::bind(crashed, reinterpret_cast<const sockaddr *>(&address), sizeof address), 0);
    ::close(crashed);
    QVERIFY(QFileInfo::exists(control::socketName(m_folder)));
    QCOMPARE(ask(control::request(u"status"_qs)).failure,
             std::optional(ControlClient::Failure::NotRunning));
    ControlServer server(echo);
    QVERIFY(server.listen(control::socketName(m_folder)));
    QVERIFY(ask(control::request(u"status"_qs)).reply);
}

void TestControlSocket::clientGone_cancelsTheWorkWhereItWaits() {
    bool resumed = false;
    Notifier never;
    ControlServer server([&](QJsonObject) -> Task<QJsonObject> {
        co_await never.wait(60000);
        resumed = true;
        co_return control::success();
    });
    QVERIFY(server.listen(control::socketName(m_folder)));
    {
        QLocalSocket socket;
        socket.connectToServer(control::socketName(m_folder));
        QTRY_COMPARE(socket.state(), QLocalSocket::ConnectedState);
        socket.write(control::encode(control::request(u"preview"_qs)));
        QTRY_VERIFY(socket.bytesAvailable() > 0); // the ack
        QTRY_VERIFY(never.hasWaiters());
    }
    QTRY_VERIFY(!never.hasWaiters()); // the frame went with its client
    never.notify();
    QTest::qWait(50);
    QVERIFY(!resumed);
}

// The folder's mode and the socket's keep everyone else out; a process of
// another user is refused at connect.
void TestControlSocket::anotherUser_cannotConnect() {
    ControlServer server(echo);
    QVERIFY(server.listen(control::socketName(m_folder)));
    const QString setpriv = QStandardPaths::findExecutable(u"setpriv"_qs);
    // The system one: a per-user interpreter may sit where the other user cannot read.
    const QString python =
        QStandardPaths::findExecutable(u"python3"_qs, {u"/usr/bin"_qs, u"/bin"_qs});
    if (::getuid() != 0 || setpriv.isEmpty() || python.isEmpty()) {
        QCOMPARE(modeOf(m_folder), 0700u); // what keeps them out, where we cannot be them
        return;
    }
    // The temporary folder above is root's own; let the other user reach the socket's
    // folder path at least, so the refusal comes from the socket's folder itself.
    ::chmod(QFile::encodeName(m_runtime.path()).constData(), 0755);
    QProcess other;
    other.start(setpriv,
                {u"--reuid=65534"_qs, u"--regid=65534"_qs, u"--clear-groups"_qs, python, u"-c"_qs,
                 u"import socket,sys\n"
                 "s=socket.socket(socket.AF_UNIX)\n"
                 "try:\n s.connect(sys.argv[1]); print('connected')\n"
                 "except OSError as e: print('refused', e.errno)\n"_qs,
                 control::socketName(m_folder)});
    QVERIFY(other.waitForFinished(10000));
    const QByteArray said = other.readAllStandardOutput() + other.readAllStandardError();
    QVERIFY2(said.startsWith("refused"), said.constData());
}

QTEST_GUILESS_MAIN(TestControlSocket)
#include "tst_controlsocket.moc"
