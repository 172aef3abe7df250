// The Connector against a real headless Chromium on its default profile,
// with the extension loaded and the host manifest written by Pressbird's own
// code: what is pressed and left alone, what a stale document does, and the
// browser and Pressbird each going and coming back.

#include "connectorrig.h"
#include "devtoolsbrowser.h"
#include "testpages.h"
#include "todaypage.h"

#include <QTest>
#include <QUrl>

#include <csignal>

using namespace pressbird;
using namespace pressbird::testing;

class TestConnectorChromium : public QObject {
    Q_OBJECT

private:
    TestHome m_home;
    HeadlessChromium m_chromium{connectorChromium(m_home)};
    std::unique_ptr<ConnectorRig> m_rig;
    QString m_tab;

    ConnectorRig &rigOn(const QString &page) {
        m_chromium.closeAllPages();
        m_tab = m_chromium.openTab(pageUrl(page));
        m_rig->listClick = MemoryRuleList();
        m_rig->listPush = MemoryRuleList();
        m_rig->yielder.pausedMs = 0;
        return *m_rig;
    }
    QString clicks() { return m_chromium.evaluate(m_tab, u"window.clicks"_qs); }
    // The browser's pressbird-connector process, from /proc.
    static qint64 hostOf(qint64 browser) {
        const QStringList pids = QDir(u"/proc"_qs).entryList(QDir::Dirs);
        for (const QString &pid : pids) {
            QFile stat(u"/proc/"_qs + pid + u"/stat"_qs);
            if (!stat.open(QIODevice::ReadOnly))
                continue;
            const QByteArray line = stat.readAll();
            const QList<QByteArray> after = line.mid(line.lastIndexOf(')') + 2).split(' ');
            if (line.contains("(pressbird-conne") && after.size() > 1 &&
                after.at(1).toLongLong() == browser)
                return pid.toLongLong();
        }
        return 0;
    }

private Q_SLOTS:
    void initTestCase() {
        PRESSBIRD_REQUIRE_CHROMIUM();
        qputenv("XDG_RUNTIME_DIR", m_home.runtimeDir().toLocal8Bit());
        QVERIFY(m_chromium.start());
        // Pressbird starts once the browser has made its settings folder.
        m_rig = std::make_unique<ConnectorRig>(m_home);
        QVERIFY(m_rig->listening);
        QVERIFY(QFileInfo::exists(m_chromium.profile() +
                                  u"/NativeMessagingHosts/pressbird.connector.json"_qs));
        QVERIFY2(m_rig->waitForBrowsers(1), "the extension's host never connected");
    }

    void linksByTextAndButtonsByValue_clickedOncePerMatchingRule() {
        ConnectorRig &rig = rigOn(u"basic.html"_qs);
        rig.listClick.appendTicked(rule(u"next"_qs, u"Starts With"_qs));
        rig.listClick.appendTicked(rule(u"page"_qs, u"Ends With"_qs));
        rig.listClick.append(rule(u"Other"_qs, u"Exact Match"_qs)); // unticked
        rig.listPush.appendTicked(rule(u"Continue"_qs, u"Exact Match"_qs));
        rig.listPush.appendTicked(rule(u"Exact Text"_qs, u"Exact Match"_qs));
        rig.scan();
        // The BUTTON of the same text is no input element; the image link has no text.
        QCOMPARE(clicks(), u"link:Next Page;link:Next Page;input:Continue;submit;input:text;"_qs);
        const QList<BrowserState> states = rig.browser.states();
        QCOMPARE(states.size(), 1);
        QCOMPARE(states.first().state, u"connected"_qs);
        QCOMPARE(states.first().browser, u"Chromium (Pressbird Connector)"_qs);
        QCOMPARE(states.first().tabs, 1);
    }

    // What a press opens, as a person's click would: a tab for a new-tab
    // link, a named target and a window.open handler, each loading its page;
    // logged so.
    // Today's pages: every kind of control, in shadow roots and in frames of
    // either origin; the classic walk presses none of them, and visible-only
    // leaves the look-alikes no person could see.
    void todaysPages_everyKindEverywhere_andOnlyWhatIsSeen() {
        PageServer server;
        QVERIFY(server.start());
        m_chromium.closeAllPages();
        m_tab = m_chromium.openTab(server.url(u"today.html"_qs));
        ConnectorRig &rig = *m_rig;
        rig.listClick = MemoryRuleList();
        rig.listPush = MemoryRuleList();
        compareTodayPresses(rig);
    }

    void pressesThatOpenTabs_openThemAndAreLoggedSo() {
        ConnectorRig &rig = rigOn(u"opens.html"_qs);
        rig.presses.clear();
        const qsizetype before = m_chromium.pageTargets().size();
        tickOpeningLinks(rig.listClick);
        rig.clickLinks();
        QCOMPARE(rig.outcomes(), openingOutcomes());
        QTRY_COMPARE(m_chromium.pageTargets().size(), before + 3);
        QCOMPARE(m_chromium.pageQueries(),
                 (QStringList{QString(), u"named"_qs, u"popup&tell"_qs, u"tab"_qs}));
    }

    // The extension opens only what the press asked for and the browser held
    // back: one tab for a handler that asks for a hundred, none for a
    // javascript: address (blocked). A dialog a press opened stays for the
    // user: its tab is left alone (one time-out, then none) while the other
    // tab is pressed at every scan, and it is walked again once closed.
    void openingHeldToWhatThePressAsked_andADialogStaysForTheUser() {
        ConnectorRig &rig = rigOn(u"opens.html"_qs);
        rig.presses.clear();
        const qsizetype before = m_chromium.pageTargets().size();
        rig.listClick.appendTicked(rule(u"Pop up script"_qs, u"Exact Match"_qs));
        rig.listClick.appendTicked(rule(u"Pop up many"_qs, u"Exact Match"_qs));
        rig.clickLinks();
        QCOMPARE(rig.outcomes(),
                 (QStringList{u"Pop up script: blocked"_qs, u"Pop up many: opened a tab"_qs}));
        QTest::qWait(500);
        QCOMPARE(m_chromium.pageTargets().size(), before + 1);

        rigOn(u"opens.html"_qs);
        rig.presses.clear();
        const QString plain = m_chromium.openTab(pageUrl(u"plain.html"_qs));
        const CdpSessionPtr user = m_chromium.control().sessionForTarget(m_tab);
        m_chromium.call(u"Page.enable"_qs, {}, user); // to close the dialog as the user
        rig.listClick.appendTicked(rule(u"Alert me"_qs, u"Exact Match"_qs));
        rig.listClick.appendTicked(rule(u"Ask me"_qs, u"Exact Match"_qs));
        rig.scan();
        rig.scan();
        QCOMPARE(m_chromium.evaluate(plain, u"window.clicks"_qs), u"link;link;"_qs);
        QCOMPARE(rig.outcomes(),
                 (QStringList{u"Alert me: opened a dialog"_qs, u"Ask me: "_qs, u"Ask me: "_qs}));
        user->dialogOpen = false; // the test's channel speaks for the user
        QVERIFY(
            m_chromium.call(u"Page.handleJavaScriptDialog"_qs, {{u"accept"_qs, true}}, user).ok());
        QTRY_COMPARE(m_chromium.evaluate(m_tab, u"window.clicks"_qs), u"alert;"_qs);
        // Walked again, once the click's late answer has told that the page lives.
        QVERIFY(rig.scanUntilLogged(u"Alert me: opened a dialog"_qs));
        user->dialogOpen = false;
        QVERIFY(
            m_chromium.call(u"Page.handleJavaScriptDialog"_qs, {{u"accept"_qs, true}}, user).ok());
    }

    void hostilePage_cannotForgeReadsNorHijackClicks() {
        ConnectorRig &rig = rigOn(u"hostile.html"_qs);
        rig.listClick.appendTicked(rule(u"Real link"_qs, u"Exact Match"_qs));
        rig.listClick.appendTicked(rule(u"Forged"_qs, u"Exact Match"_qs));
        rig.listPush.appendTicked(rule(u"Real button"_qs, u"Exact Match"_qs));
        rig.listPush.appendTicked(rule(u"Forged"_qs, u"Exact Match"_qs));
        rig.scan();
        QCOMPARE(clicks(), u"link;button;submit;"_qs);
    }

    void documentTakenBeforeNavigation_failsInsteadOfReadingTheNewPage() {
        ConnectorRig &rig = rigOn(u"basic.html"_qs);
        const std::unique_ptr<Document> document = rig.documentOf(u"basic.html"_qs);
        QVERIFY(document);
        QCOMPARE(awaitOnLoop(document->length(Collection::Links)), std::optional<int>(4));
        m_chromium.evaluate(m_tab, u"location.href = 'second.html'"_qs);
        QTRY_VERIFY(m_chromium.evaluate(m_tab, u"document.title"_qs) == u"second"_qs);
        QCOMPARE(awaitOnLoop(document->length(Collection::Links)), std::nullopt);
        QCOMPARE(awaitOnLoop(document->outerText(Collection::Links, 0)), std::nullopt);
        QVERIFY(!awaitOnLoop(document->click(Collection::Links, 0)));
        // A fresh walk reads the new page.
        const std::unique_ptr<Document> fresh = rig.documentOf(u"second.html"_qs);
        QVERIFY(fresh);
        QVERIFY(awaitOnLoop(fresh->length(Collection::All)).value_or(0) > 0);
    }

    void navigatingClick_endsTheWalkAndTheNextScanWalksTheNewPage() {
        ConnectorRig &rig = rigOn(u"navigate.html"_qs);
        rig.listClick.appendTicked(rule(u"Go on"_qs, u"Exact Match"_qs));
        rig.scan();
        QTRY_VERIFY(m_chromium.evaluate(m_tab, u"document.title"_qs) == u"second"_qs);
        rig.listClick.appendTicked(rule(u"Back"_qs, u"Exact Match"_qs));
        const std::unique_ptr<Document> document = rig.documentOf(u"second.html"_qs);
        QVERIFY(document);
        QVERIFY(awaitOnLoop(document->length(Collection::Links)).has_value());
    }

    // The content script tells of a change at once: the next read, well
    // within the second a block is otherwise trusted, reads the page anew.
    // The bound: the word takes milliseconds; untold, the old text is served
    // until a second after the length read.
    void changeByPageScript_toldAndReadAnew() {
        ConnectorRig &rig = rigOn(u"changes.html"_qs);
        const std::unique_ptr<Document> document = rig.documentOf(u"changes.html"_qs);
        QVERIFY(document);
        QCOMPARE(awaitOnLoop(document->length(Collection::Links)), std::optional<int>(4));
        QCOMPARE(awaitOnLoop(document->outerText(Collection::Links, 0)), u"Wait"_qs);
        m_chromium.evaluate(m_tab, u"text.textContent = 'Changed'; 0"_qs);
        QTRY_COMPARE_WITH_TIMEOUT(
            awaitOnLoop(document->outerText(Collection::Links, 0)).value_or(u"none"_qs),
            u"Changed"_qs, 700);
        // Walked again on an unchanged page, the document keeps what it read.
        const std::unique_ptr<Document> again = rig.documentOf(u"changes.html"_qs);
        QVERIFY(again);
        QCOMPARE(awaitOnLoop(again->length(Collection::Links)), std::optional<int>(4));
        QVERIFY(again->version(Collection::Links).has_value());
        QCOMPARE(again->version(Collection::Links), document->version(Collection::Links));
    }

    void closedTab_failsItsDocument() {
        ConnectorRig &rig = rigOn(u"basic.html"_qs);
        const std::unique_ptr<Document> document = rig.documentOf(u"basic.html"_qs);
        QVERIFY(document);
        m_chromium.closeTab(m_tab);
        QTRY_VERIFY(ConnectorRig::pagesOf(rig.browser).isEmpty());
        QCOMPARE(awaitOnLoop(document->length(Collection::All)), std::nullopt);
        QVERIFY(!awaitOnLoop(document->click(Collection::Links, 0)));
    }

    // The browser is reached over DevTools too: its tabs are walked once,
    // through the Connector. Told by the browser's process where DevTools
    // names its profile folder, else by address and title.
    void tabReachedByDevToolsToo_walkedOnceThroughTheConnector() {
        ConnectorRig &rig = rigOn(u"basic.html"_qs);
        for (const bool named : {true, false}) {
            Endpoint endpoint = m_chromium.endpoint();
            endpoint.profile = named ? m_chromium.profile() : QString();
            DevToolsBrowser devtools({}, [endpoint] { return QList<Endpoint>{endpoint}; });
            const QList<PageInfo> overDevTools = ConnectorRig::pagesOf(devtools);
            QVERIFY(std::any_of(overDevTools.cbegin(), overDevTools.cend(),
                                [](const PageInfo &page) { return page.title == u"basic"; }));
            CompositeBrowser both({&rig.browser, &devtools});
            const QList<PageInfo> pages = ConnectorRig::pagesOf(both);
            const auto basic =
                std::count_if(pages.cbegin(), pages.cend(),
                              [](const PageInfo &page) { return page.title == u"basic"; });
            QCOMPARE(basic, 1);
            QCOMPARE(pages.first().browser, u"Chromium (Pressbird Connector)"_qs);
            // Named by its profile, the browser is known whole: nothing of it is walked twice.
            if (named)
                QCOMPARE(pages.size(), 1);
        }
    }

    // The host ends (it crashed, or was killed): the extension starts another.
    void hostKilled_extensionStartsAnotherAndIsFoundAgain() {
        rigOn(u"basic.html"_qs);
        const qint64 host = hostOf(m_chromium.pid());
        QVERIFY(host > 0);
        ::kill(pid_t(host), SIGKILL);
        QTRY_COMPARE(m_rig->server.links().size(), 0);
        QVERIFY(m_rig->waitForBrowsers(1));
        QVERIFY(hostOf(m_chromium.pid()) != host);
        m_rig->listClick.appendTicked(rule(u"Next Page"_qs, u"Exact Match"_qs));
        m_rig->scan();
        QCOMPARE(clicks(), u"link:Next Page;"_qs);
    }

    void pressbirdRestarted_foundAgainByTheRunningBrowser() {
        rigOn(u"basic.html"_qs);
        m_rig.reset();
        m_rig = std::make_unique<ConnectorRig>(m_home);
        QVERIFY(m_rig->waitForBrowsers(1));
        m_rig->listClick.appendTicked(rule(u"Next Page"_qs, u"Exact Match"_qs));
        m_rig->scan();
        QCOMPARE(clicks(), u"link:Next Page;"_qs);
    }

    // Killed while a scan waits in its pause; the scan ends without a hang,
    // and the browser started again is found by the same Pressbird.
    void browserKilledMidScan_startedAgainAndFoundWithoutRestartingPressbird() {
        ConnectorRig &rig = rigOn(u"basic.html"_qs);
        rig.listClick.appendTicked(rule(u"Next Page"_qs, u"Exact Match"_qs));
        rig.listClick.appendTicked(rule(u"Next"_qs, u"Starts With"_qs));
        bool killed = false;
        rig.yielder.onPause = [&] {
            if (!killed)
                m_chromium.stop();
            killed = true;
        };
        rig.scan();
        rig.yielder.onPause = {};
        QVERIFY(killed);
        QTRY_COMPARE(rig.server.links().size(), 0);
        // What the next walk shows: the scan's own last walk may have met the
        // dying host before its socket closed.
        QVERIFY(ConnectorRig::pagesOf(rig.browser).isEmpty());
        QCOMPARE(rig.browser.states().first().state, u"extension not installed"_qs);
        QVERIFY(m_chromium.start());
        QVERIFY(rig.waitForBrowsers(1));
        m_tab = m_chromium.openTab(pageUrl(u"basic.html"_qs));
        rig.scan();
        QCOMPARE(clicks(), u"link:Next Page;link:Next Page;"_qs);
    }

    void cleanupTestCase() {
        m_rig.reset();
        m_chromium.stop();
    }
};

QTEST_GUILESS_MAIN(TestConnectorChromium)
#include "tst_connectorchromium.moc"
