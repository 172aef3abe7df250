// A browser that goes away, hangs or closes a tab in the middle of a scan:
// the scan ends, the window keeps running its event loop, and the next scan
// finds what is there.

#include "chromium.h"
#include "devtoolsbrowser.h"
#include "scanrig.h"

#include <QTest>
#include <QTimer>

using namespace pressbird;
using namespace pressbird::testing;

class TestDevToolsFailures : public QObject {
    Q_OBJECT

private:
    // A page with two matching links in each browser; the first pause runs `disturb`.
    struct TwoBrowsers {
        HeadlessChromium first;
        HeadlessChromium second;
        QString firstTab;
        QString secondTab;
        std::unique_ptr<ScanRig> rig;

        bool start() {
            if (!first.start() || !second.start())
                return false;
            firstTab = first.openTab(pageUrl(u"plain.html"_qs));
            secondTab = second.openTab(pageUrl(u"plain.html"_qs));
            rig = std::make_unique<ScanRig>(QList<Endpoint>{first.endpoint(), second.endpoint()});
            rig->listClick.appendTicked(rule(u"Ask me"_qs, u"Starts With"_qs));
            return true;
        }
        void onFirstPause(std::function<void()> disturb) {
            rig->yielder.onPause = [disturb, done = false]() mutable {
                if (!std::exchange(done, true))
                    disturb();
            };
        }
    };

private Q_SLOTS:
    void init() { PRESSBIRD_REQUIRE_CHROMIUM(); }

    void twoBrowsers_bothWalkedInEndpointOrder() {
        TwoBrowsers browsers;
        QVERIFY(browsers.start());
        browsers.rig->clickLinks();
        QCOMPARE(browsers.first.evaluate(browsers.firstTab, u"window.clicks"_qs),
                 u"link;second;"_qs);
        QCOMPARE(browsers.second.evaluate(browsers.secondTab, u"window.clicks"_qs),
                 u"link;second;"_qs);
    }

    void tabClosedDuringThePause_walkGoesOnWithTheNextWindow() {
        TwoBrowsers browsers;
        QVERIFY(browsers.start());
        browsers.onFirstPause([&] { browsers.first.closeTab(browsers.firstTab); });
        browsers.rig->scan();
        QCOMPARE(browsers.second.evaluate(browsers.secondTab, u"window.clicks"_qs),
                 u"link;second;"_qs);
        QCOMPARE(browsers.rig->browser.stats().timeouts, 0);
    }

    void browserKilledMidScan_otherBrowserStillWalkedAndNextScanFindsNothingDead() {
        TwoBrowsers browsers;
        QVERIFY(browsers.start());
        browsers.onFirstPause([&] { browsers.first.kill(); });
        browsers.rig->scan();
        QCOMPARE(browsers.second.evaluate(browsers.secondTab, u"window.clicks"_qs),
                 u"link;second;"_qs);
        browsers.rig->scan();
        QCOMPARE(browsers.second.evaluate(browsers.secondTab, u"window.clicks"_qs),
                 u"link;second;link;second;"_qs);
        auto windows = awaitOnLoop(browsers.rig->browser.createShellWindows());
        int pages = 0;
        while (auto window = awaitOnLoop(windows->next()))
            pages += awaitOnLoop(window->name()) == kBrowserWindowName ? 1 : 0;
        QCOMPARE(pages, static_cast<int>(browsers.second.pageTargets().size()));
        QCOMPARE(browsers.rig->browser.stats().timeouts, 0);
    }

    void browserStoppedMidScan_scanEndsEventLoopRunsAndResumedBrowserIsWalkedAgain() {
        TwoBrowsers browsers;
        QVERIFY(browsers.start());
        int ticks = 0;
        QTimer heartbeat;
        connect(&heartbeat, &QTimer::timeout, this, [&ticks] { ++ticks; });
        heartbeat.start(20);
        browsers.onFirstPause([&] { browsers.first.pause(); });
        browsers.rig->scan();
        browsers.rig->scan();
        // The window's timers fired while the calls waited on the stopped browser.
        QVERIFY(ticks > 10);
        QVERIFY(browsers.rig->browser.stats().timeouts >= 1);
        // A stopped browser costs one short time-out per walk, not one per call.
        QVERIFY(browsers.rig->browser.stats().timeouts <= 4);
        QCOMPARE(browsers.second.evaluate(browsers.secondTab, u"window.clicks"_qs),
                 u"link;second;link;second;"_qs);

        browsers.first.resume();
        const QString before = browsers.first.evaluate(browsers.firstTab, u"window.clicks"_qs);
        QCOMPARE(before, u"link;"_qs);
        browsers.rig->scan();
        QCOMPARE(browsers.first.evaluate(browsers.firstTab, u"window.clicks"_qs),
                 u"link;link;second;"_qs);
    }

    void launcher_startsABrowserFoundThroughItsProfileWithoutSettings() {
        QTemporaryDir home;
        const QByteArray oldData = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", home.path().toLocal8Bit());
        qunsetenv("PRESSBIRD_BROWSERS");
        QProcess launcher;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"PRESSBIRD_BROWSER_FLAGS"_qs, headlessFlags().join(u' '));
        launcher.setProcessEnvironment(env);
        launcher.setStandardErrorFile(QProcess::nullDevice());
        launcher.start(QStringLiteral(PRESSBIRD_LAUNCHER), {pageUrl(u"plain.html"_qs)});
        const QString portFile = home.path() + u"/Pressbird/browser-profile/DevToolsActivePort"_qs;
        const bool started =
            QTest::qWaitFor([&] { return readActivePortFile(portFile).has_value(); }, 30000);

        DevToolsBrowser browser; // the default discovery
        bool found = false;
        if (started) {
            (void)QTest::qWaitFor(
                [&] {
                    auto windows = awaitOnLoop(browser.createShellWindows());
                    while (auto window = awaitOnLoop(windows->next())) {
                        auto document = awaitOnLoop(window->document());
                        if (document &&
                            awaitOnLoop(document->outerText(Collection::Links, 0)) == u"Ask me")
                            found = true;
                    }
                    return found;
                },
                20000);
        }
        launcher.kill();
        launcher.waitForFinished(10000);
        qputenv("XDG_DATA_HOME", oldData);
        QVERIFY(started);
        QVERIFY(found);
    }
};

QTEST_GUILESS_MAIN(TestDevToolsFailures)
#include "tst_devtoolsfailures.moc"
