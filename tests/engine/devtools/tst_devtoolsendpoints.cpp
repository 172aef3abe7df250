// Which endpoints are contacted: loopback only, the override replacing the
// defaults, and DevToolsActivePort files read as the browser writes them.

#include "awaitonloop.h"
#include "devtoolsbrowser.h"
#include "endpoints.h"

#include <QNetworkInterface>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

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
        QTest::newRow("ipv4") << u"127.0.0.1:9222"_qs << true;
        QTest::newRow("whole 127/8") << u"127.3.4.5:1"_qs << true;
        QTest::newRow("ipv6") << u"[::1]:9222"_qs << true;
        QTest::newRow("localhost") << u" LOCALHOST:9222 "_qs << true;
        QTest::newRow("lan") << u"10.0.0.1:9222"_qs << false;
        QTest::newRow("any") << u"0.0.0.0:9222"_qs << false;
        QTest::newRow("any6") << u"[::]:9222"_qs << false;
        QTest::newRow("lookalike name") << u"localhost.example.com:9222"_qs << false;
        QTest::newRow("lookalike numbers") << u"127.0.0.1.example.com:9222"_qs << false;
        QTest::newRow("port 0") << u"127.0.0.1:0"_qs << false;
        QTest::newRow("port too big") << u"127.0.0.1:70000"_qs << false;
        QTest::newRow("no port") << u"127.0.0.1"_qs << false;
        QTest::newRow("bare ipv6") << u"::1:9222"_qs << false;
    }
    void parseEndpoint_acceptsOnlyLoopback() {
        QFETCH(QString, text);
        QFETCH(bool, accepted);
        QCOMPARE(parseEndpoint(text).has_value(), accepted);
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
