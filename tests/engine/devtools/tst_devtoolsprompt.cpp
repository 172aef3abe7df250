// A browser whose remote-debugging switch asks its user at every connection:
// one handshake at a time, never waited for by the walks that follow, kept
// once allowed, a refusal remembered; a DevToolsActivePort left behind.

#include "awaitonloop.h"
#include "devtoolsbrowser.h"
#include "fakeendpoints.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

using namespace pressbird;
using namespace pressbird::testing;

namespace {

const DevToolsTimeouts kShort{300, 300};
const QString kWaiting = u"waiting for you to allow remote debugging in the browser"_qs;
const QString kRefused = u"refused in the browser"_qs;

// Windows of one walk, and how long the walk took.
struct Walk {
    int windows = 0;
    qint64 ms = 0;
};
Walk walk(DevToolsBrowser &browser) {
    QElapsedTimer clock;
    clock.start();
    const int windows = *awaitOnLoop(awaitOnLoop(browser.createShellWindows())->count());
    return {windows, clock.elapsed()};
}

QString stateOf(const DevToolsBrowser &browser, int index) {
    return browser.states().value(index).state;
}

} // namespace

class TestDevToolsPrompt : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void heldHandshake_oneHandshakeWhileOtherBrowsersAreWalked_thenAccepted() {
        PromptingBrowser prompting;
        FakeEndpoint other;
        other.answerEverything();
        DevToolsBrowser browser(kShort, [&] {
            return QList<Endpoint>{prompting.endpoint(), other.endpoint()};
        });
        // The user takes their time: the walks go on meanwhile.
        constexpr int kHoldMs = 2000;
        QElapsedTimer held;
        held.start();
        int walks = 0;
        while (held.elapsed() < kHoldMs) {
            const Walk each = walk(browser);
            QCOMPARE(each.windows, 2);
            // Only the walk that dials waits for it, and briefly; the later
            // ones pass it by (generous bound: a loaded machine).
            if (walks++ > 0)
                QVERIFY2(each.ms < kShort.connectMs, qPrintable(QString::number(each.ms)));
            QCOMPARE(stateOf(browser, 0), kWaiting);
            QCOMPARE(stateOf(browser, 1), u"connected"_qs);
            QTest::qWait(50);
        }
        QVERIFY(walks >= 10);
        QCOMPARE(prompting.handshakes, 1);

        prompting.allow();
        QTRY_COMPARE(walk(browser).windows, 4);
        QCOMPARE(stateOf(browser, 0), u"connected"_qs);
        QCOMPARE(browser.states().constFirst().tabs, 1);
        QCOMPARE(prompting.handshakes, 1);
        QCOMPARE(browser.stats().timeouts, 0);
    }

    void acceptedConnection_keptAcross100Walks() {
        PromptingBrowser prompting;
        prompting.allowAtOnce = true;
        DevToolsBrowser browser(kShort, [&] { return QList<Endpoint>{prompting.endpoint()}; });
        for (int each = 0; each < 100; ++each)
            QCOMPARE(walk(browser).windows, 2);
        QCOMPARE(prompting.handshakes, 1);
        QCOMPARE(prompting.connections, 1);
    }

    void refusedHandshake_noNewPromptUntilTheBrowserRestartsOrRetry() {
        PromptingBrowser prompting;
        QString path = u"/devtools/browser/first"_qs;
        DevToolsBrowser browser(kShort, [&] { return QList<Endpoint>{prompting.endpoint(path)}; });
        QCOMPARE(walk(browser).windows, 0);
        prompting.refuse();
        QTRY_COMPARE(stateOf(browser, 0), kRefused);
        for (int each = 0; each < 20; ++each) {
            QCOMPARE(walk(browser).windows, 0);
            QCOMPARE(stateOf(browser, 0), kRefused);
        }
        QCOMPARE(prompting.handshakes, 1);

        // A restart writes DevToolsActivePort anew, with the new browser's path.
        path = u"/devtools/browser/second"_qs;
        QCOMPARE(walk(browser).windows, 0);
        QCOMPARE(prompting.handshakes, 2);
        prompting.refuse();
        QTRY_COMPARE(stateOf(browser, 0), kRefused);
        QCOMPARE(walk(browser).windows, 0);
        QCOMPARE(prompting.handshakes, 2);

        browser.retry();
        prompting.allowAtOnce = true;
        QTRY_COMPARE(walk(browser).windows, 2);
        QCOMPARE(prompting.handshakes, 3);
        QCOMPARE(browser.stats().timeouts, 0);
    }

    void browserDiesWhileItsPromptIsUp_walksFindItGoneWithoutWaiting() {
        PromptingBrowser prompting;
        FakeEndpoint other;
        other.answerEverything();
        DevToolsBrowser browser(kShort, [&] {
            return QList<Endpoint>{prompting.endpoint(), other.endpoint()};
        });
        QCOMPARE(walk(browser).windows, 2);
        QCOMPARE(stateOf(browser, 0), kWaiting);
        prompting.die();
        QTRY_VERIFY(stateOf(browser, 0) != kWaiting);
        for (int each = 0; each < 5; ++each) {
            const Walk after = walk(browser);
            QCOMPARE(after.windows, 2);
            QVERIFY2(after.ms < kShort.connectMs, qPrintable(QString::number(after.ms)));
        }
        QCOMPARE(stateOf(browser, 0), u"not reachable"_qs);
        QCOMPARE(prompting.handshakes, 1);
        QCOMPARE(browser.stats().timeouts, 0);
    }

    // The browser went, or its switch was turned off, and left its file behind.
    // (Files empty, huge or naming another host give no endpoint at all:
    // tst_devtoolsendpoints.)
    void staleActivePortFile_oneRefusedConnectionPerWalk_noPromptNoWait() {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        const QByteArray content = QByteArray::number(probe.serverPort()) + "\n/devtools/browser/x";
        probe.close();
        QTemporaryDir profile;
        QFile file(profile.filePath(u"DevToolsActivePort"_qs));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
        file.close();
        DevToolsBrowser browser(kShort, [&] { return discoveredIn(profile.path()); });
        for (int each = 0; each < 3; ++each) {
            const Walk stale = walk(browser);
            QCOMPARE(stale.windows, 0);
            QVERIFY2(stale.ms < kShort.connectMs, qPrintable(QString::number(stale.ms)));
        }
        QCOMPARE(browser.states().size(), 1);
        QCOMPARE(browser.states().constFirst().state, u"not reachable"_qs);
        QCOMPARE(browser.states().constFirst().browser, profile.path());
        QCOMPARE(browser.stats().timeouts, 0);
    }

private:
    // What discovery takes from one profile folder.
    static QList<Endpoint> discoveredIn(const QString &dir) {
        std::optional<Endpoint> endpoint =
            readActivePortFile(QDir(dir).filePath(u"DevToolsActivePort"_qs));
        if (!endpoint)
            return {};
        endpoint->profile = dir;
        return {*endpoint};
    }
};

QTEST_GUILESS_MAIN(TestDevToolsPrompt)
#include "tst_devtoolsprompt.moc"
