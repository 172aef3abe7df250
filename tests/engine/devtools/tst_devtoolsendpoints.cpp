// Which endpoints are contacted: loopback only, the override replacing the
// defaults, and DevToolsActivePort files read as the browser writes them.

#include "awaitonloop.h"
#include "devtoolsbrowser.h"
#include "endpoints.h"

#include <QNetworkInterface>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace pressbird;
using namespace pressbird::testing;

class TestDevToolsEndpoints : public QObject {
    Q_OBJECT

    static void writeFile(const QString &path, const QByteArray &content) {
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }

private Q_SLOTS:
    void parseEndpoint_acceptsOnlyLoopback_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("host"); // as it will be dialled
        QTest::newRow("ipv4") << u"127.0.0.1:9222"_qs << true << u"127.0.0.1"_qs;
        QTest::newRow("whole 127/8") << u"127.3.4.5:1"_qs << true << u"127.3.4.5"_qs;
        QTest::newRow("ipv6") << u"[::1]:9222"_qs << true << u"::1"_qs;
        QTest::newRow("localhost") << u" LOCALHOST:9222 "_qs << true << u"127.0.0.1"_qs;
        // Short and long spellings reach the URL in their one canonical form.
        QTest::newRow("short ipv4") << u"127.1:9222"_qs << true << u"127.0.0.1"_qs;
        QTest::newRow("long ipv6") << u"[0:0::0:1]:9222"_qs << true << u"::1"_qs;
        QTest::newRow("lan") << u"10.0.0.1:9222"_qs << false << QString();
        QTest::newRow("any") << u"0.0.0.0:9222"_qs << false << QString();
        QTest::newRow("any6") << u"[::]:9222"_qs << false << QString();
        QTest::newRow("lookalike name") << u"localhost.example.com:9222"_qs << false << QString();
        QTest::newRow("lookalike numbers")
            << u"127.0.0.1.example.com:9222"_qs << false << QString();
        QTest::newRow("port 0") << u"127.0.0.1:0"_qs << false << QString();
        QTest::newRow("port too big") << u"127.0.0.1:70000"_qs << false << QString();
        QTest::newRow("no port") << u"127.0.0.1"_qs << false << QString();
        QTest::newRow("bare ipv6") << u"::1:9222"_qs << false << QString();
    }
    void parseEndpoint_acceptsOnlyLoopback() {
        QFETCH(QString, text);
        QFETCH(bool, accepted);
        QFETCH(QString, host);
        const std::optional<Endpoint> endpoint = parseEndpoint(text);
        QCOMPARE(endpoint.has_value(), accepted);
        if (endpoint) {
            QCOMPARE(endpoint->host, host);
            QCOMPARE(endpointUrl(u"ws"_qs, endpoint->host, endpoint->port, u"/x"_qs).host(), host);
        }
    }

    void activePortFile_readAsChromiumWritesIt_garbageRefused() {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"DevToolsActivePort"_qs);
        writeFile(path, "41234\n/devtools/browser/4f1c-aa");
        const std::optional<Endpoint> endpoint = readActivePortFile(path);
        QVERIFY(endpoint);
        QCOMPARE(endpoint->host, u"127.0.0.1"_qs);
        QCOMPARE(endpoint->port, 41234);
        QCOMPARE(endpoint->browserPath, u"/devtools/browser/4f1c-aa"_qs);
        writeFile(path, "41234\n");
        QVERIFY(!readActivePortFile(path));
        writeFile(path, "garbage\n/devtools/browser/x");
        QVERIFY(!readActivePortFile(path));
        writeFile(path, "41234\n/elsewhere");
        QVERIFY(!readActivePortFile(path));
        QVERIFY(!readActivePortFile(dir.filePath(u"missing"_qs)));
    }

    void activePortFile_untrustedContent_refusedWithoutHangingOrReadingMuch_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("path"); // null: refused
        QTest::newRow("empty") << QByteArray() << QString();
        QTest::newRow("port only") << QByteArray("9222") << QString();
        // Only the port and the path are taken: the host is always 127.0.0.1.
        QTest::newRow("another host")
            << QByteArray("9222\nws://10.0.0.1:9222/devtools/browser/x") << QString();
        QTest::newRow("authority in the path")
            << QByteArray("9222\n/devtools/browser/x@10.0.0.1/") << QString();
        QTest::newRow("dots in the path")
            << QByteArray("9222\n/devtools/browser/../../x") << QString();
        QTest::newRow("header after the path")
            << QByteArray("9222\n/devtools/browser/x\r\nHost: 10.0.0.1")
            << u"/devtools/browser/x"_qs;
        QTest::newRow("huge, the two lines first")
            << QByteArray("9222\n/devtools/browser/ab-12\n") + QByteArray(2 << 20, 'x')
            << u"/devtools/browser/ab-12"_qs;
        QTest::newRow("huge, one line")
            << QByteArray(2 << 20, '9') + "\n/devtools/browser/a" << QString();
    }
    void activePortFile_untrustedContent_refusedWithoutHangingOrReadingMuch() {
        QFETCH(QByteArray, content);
        QFETCH(QString, path);
        QTemporaryDir dir;
        const QString file = dir.filePath(u"DevToolsActivePort"_qs);
        writeFile(file, content);
        const std::optional<Endpoint> endpoint = readActivePortFile(file);
        QCOMPARE(endpoint.has_value(), !path.isNull());
        if (endpoint) {
            QCOMPARE(endpoint->host, u"127.0.0.1"_qs);
            QCOMPARE(endpoint->browserPath, path);
        }
    }

    void activePortFile_fifoOrDevice_refusedAtOnce() {
        QTemporaryDir dir;
        const QString fifo = dir.filePath(u"DevToolsActivePort"_qs);
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QVERIFY(!readActivePortFile(fifo)); // opening it would wait for a writer
        const QString zero = dir.filePath(u"zero"_qs);
        QVERIFY(QFile::link(u"/dev/zero"_qs, zero));
        QVERIFY(!readActivePortFile(zero)); // reading it would never end
    }

    void discovery_overrideReplacesDefaults_refusedEntriesDropped() {
        QTemporaryDir dir;
        writeFile(dir.filePath(u"DevToolsActivePort"_qs), "5000\n/devtools/browser/a");
        const QList<Endpoint> found =
            discoverEndpoints(u"10.1.1.1:9222,127.0.0.1:9333,,[::1]:9444"_qs, {dir.path()});
        QCOMPARE(found.size(), 2);
        QCOMPARE(found.at(0).port, 9333);
        QCOMPARE(found.at(1).host, u"::1"_qs);
    }

    void discovery_defaultsInOrderWithoutDuplicates() {
        QTemporaryDir own;
        QTemporaryDir chromium;
        QTemporaryDir chrome;
        writeFile(own.filePath(u"DevToolsActivePort"_qs), "5000\n/devtools/browser/a");
        writeFile(chromium.filePath(u"DevToolsActivePort"_qs), "9222\n/devtools/browser/b");
        writeFile(chrome.filePath(u"DevToolsActivePort"_qs), "5000\n/devtools/browser/c");
        const QList<Endpoint> found = discoverEndpoints(
            std::nullopt, {own.path(), chromium.path(), chrome.path(), u"/nonexistent"_qs});
        QCOMPARE(found.size(), 2);
        QCOMPARE(found.at(0).port, 9222);
        QCOMPARE(found.at(0).browserPath, u"/devtools/browser/b"_qs);
        QCOMPARE(found.at(1).port, 5000);
        QCOMPARE(found.at(1).browserPath, u"/devtools/browser/a"_qs);
        QVERIFY(defaultProfileDirs().constFirst().endsWith(u"/Pressbird/browser-profile"));
    }

    void staleActivePortFile_deadEndpointCostsNoTimeout() {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        const quint16 deadPort = probe.serverPort();
        probe.close();
        Endpoint stale{u"127.0.0.1"_qs, deadPort, u"/devtools/browser/gone"_qs, true, {}};
        DevToolsBrowser browser({}, [&] { return QList<Endpoint>{stale}; });
        QCOMPARE(awaitOnLoop(awaitOnLoop(browser.createShellWindows())->count()), 0);
        QCOMPARE(browser.stats().timeouts, 0);
    }

    void nonLoopbackEndpoint_neverContacted() {
        QTcpServer listener;
        QVERIFY(listener.listen(QHostAddress::Any));
        QStringList refused{u"0.0.0.0:%1"_qs.arg(listener.serverPort())};
        for (const QHostAddress &address : QNetworkInterface::allAddresses()) {
            if (!address.isLoopback() && address.protocol() == QAbstractSocket::IPv4Protocol)
                refused.append(u"%1:%2"_qs.arg(address.toString()).arg(listener.serverPort()));
        }
        qputenv("PRESSBIRD_BROWSERS", refused.join(u',').toUtf8());
        QVERIFY(discoverEndpoints().isEmpty());
        DevToolsBrowser browser;
        QCOMPARE(awaitOnLoop(awaitOnLoop(browser.createShellWindows())->count()), 0);
        QTest::qWait(50);
        QVERIFY(!listener.hasPendingConnections());
        qunsetenv("PRESSBIRD_BROWSERS");
    }
};

QTEST_GUILESS_MAIN(TestDevToolsEndpoints)
#include "tst_devtoolsendpoints.moc"
