// The Connector against a real headless Firefox ESR with the .xpi sideloaded
// and the host manifest written by Pressbird's own code.

#include "connectorrig.h"
#include "todaypage.h"

#include <QJsonArray>
#include <QTest>
#include <QUrl>

using namespace pressbird;
using namespace pressbird::testing;

class TestConnectorFirefox : public QObject {
    Q_OBJECT

private:
    TestHome m_home;
    HeadlessFirefox m_firefox{connectorFirefox(m_home)};
    PageServer m_pages;
    std::unique_ptr<ConnectorRig> m_rig;
    QString m_tab;

    ConnectorRig &rigOn(const QString &page) {
        m_firefox.closeAllTabs();
        m_tab = m_firefox.openTab(m_pages.url(page));
        m_rig->listClick = MemoryRuleList();
        m_rig->listPush = MemoryRuleList();
        return *m_rig;
    }
    QString clicks() { return m_firefox.evaluate(m_tab, u"window.clicks"_qs); }

private Q_SLOTS:
    void initTestCase() {
        PRESSBIRD_REQUIRE_FIREFOX();
        qputenv("XDG_RUNTIME_DIR", m_home.runtimeDir().toLocal8Bit());
        QVERIFY(m_pages.start());
        m_rig = std::make_unique<ConnectorRig>(m_home);
        QVERIFY(m_rig->listening);
        QVERIFY(QFileInfo::exists(m_home.path() +
                                  u"/.mozilla/native-messaging-hosts/pressbird.connector.json"_qs));
        QVERIFY(m_firefox.start());
        QVERIFY2(m_rig->waitForBrowsers(1), "the extension's host never connected");
    }

    void linksByTextAndButtonsByValue_clickedOncePerMatchingRule() {
        ConnectorRig &rig = rigOn(u"basic.html"_qs);
        rig.listClick.appendTicked(rule(u"next"_qs, u"Starts With"_qs));
        rig.listClick.appendTicked(rule(u"page"_qs, u"Ends With"_qs));
        rig.listPush.appendTicked(rule(u"Continue"_qs, u"Exact Match"_qs));
        rig.listPush.appendTicked(rule(u"Exact Text"_qs, u"Exact Match"_qs));
        rig.scan();
        QCOMPARE(clicks(), u"link:Next Page;link:Next Page;input:Continue;submit;input:text;"_qs);
        QCOMPARE(rig.browser.states().first().browser, u"Firefox (Pressbird Connector)"_qs);
    }

    // What a press opens, as a person's click would (the window a handler
    // asks for through the extension, where the pop-up blocker holds it
    // back), logged so; then a dialog a press opened stays for the user while
    // the other tab is pressed, and its tab is walked again once closed.
    // Today's pages: every kind of control, in shadow roots and in frames of
    // either origin; the classic walk presses none of them, and visible-only
    // leaves the look-alikes no person could see.
    void todaysPages_everyKindEverywhere_andOnlyWhatIsSeen() {
        compareTodayPresses(rigOn(u"today.html"_qs));
    }

    void pressesThatOpenTabsOrADialog_asAPersonsClick() {
        ConnectorRig &rig = rigOn(u"opens.html"_qs);
        rig.presses.clear();
        tickOpeningLinks(rig.listClick);
        rig.clickLinks();
        QCOMPARE(rig.outcomes(), openingOutcomes());
        const auto loaded = [&] {
            QStringList queries;
            const QJsonArray tabs =
                m_firefox.call(u"browsingContext.getTree"_qs, {{u"maxDepth"_qs, 0}})
                    .result.value(u"contexts")
                    .toArray();
            for (const QJsonValue &tab : tabs)
                queries.append(QUrl(tab[u"url"].toString()).query());
            queries.sort();
            return queries;
        };
        QTRY_COMPARE(loaded(),
                     (QStringList{QString(), QString(), u"named"_qs, u"popup&tell"_qs, u"tab"_qs}));

        rigOn(u"opens.html"_qs);
        rig.presses.clear();
        const QString plain = m_firefox.openTab(m_pages.url(u"plain.html"_qs));
        rig.listClick.appendTicked(rule(u"Alert me"_qs, u"Exact Match"_qs));
        rig.listClick.appendTicked(rule(u"Ask me"_qs, u"Exact Match"_qs));
        rig.scan();
        rig.scan();
        QCOMPARE(m_firefox.evaluate(plain, u"window.clicks"_qs), u"link;link;"_qs);
        QCOMPARE(rig.outcomes(),
                 (QStringList{u"Alert me: opened a dialog"_qs, u"Ask me: "_qs, u"Ask me: "_qs}));
        QVERIFY(m_firefox
                    .call(u"browsingContext.handleUserPrompt"_qs,
                          {{u"context"_qs, m_tab}, {u"accept"_qs, true}})
                    .ok());
        QVERIFY(rig.scanUntilLogged(u"Alert me: opened a dialog"_qs));
        m_firefox.call(u"browsingContext.handleUserPrompt"_qs,
                       {{u"context"_qs, m_tab}, {u"accept"_qs, true}});
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

    void documentTakenBeforeNavigation_failsAndTheNewPageIsWalkedAfresh() {
        ConnectorRig &rig = rigOn(u"navigate.html"_qs);
        const std::unique_ptr<Document> document = rig.documentOf(u"navigate.html"_qs);
        QVERIFY(document);
        QCOMPARE(awaitOnLoop(document->length(Collection::Links)), std::optional<int>(2));
        rig.listClick.appendTicked(rule(u"Go on"_qs, u"Exact Match"_qs));
        rig.scan(); // the click navigates
        QTRY_COMPARE(m_firefox.evaluate(m_tab, u"document.title"_qs), u"second"_qs);
        QCOMPARE(awaitOnLoop(document->length(Collection::Links)), std::nullopt);
        const std::unique_ptr<Document> fresh = rig.documentOf(u"second.html"_qs);
        QVERIFY(fresh);
        QCOMPARE(awaitOnLoop(fresh->outerText(Collection::Links, 0)), u"Go on"_qs);
    }

    void closedTab_failsItsDocument() {
        ConnectorRig &rig = rigOn(u"basic.html"_qs);
        const std::unique_ptr<Document> document = rig.documentOf(u"basic.html"_qs);
        QVERIFY(document);
        m_firefox.closeTab(m_tab);
        QCOMPARE(awaitOnLoop(document->length(Collection::All)), std::nullopt);
        QVERIFY(!awaitOnLoop(document->click(Collection::Links, 0)));
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

    void browserKilledMidScan_startedAgainAndFoundWithoutRestartingPressbird() {
        ConnectorRig &rig = rigOn(u"basic.html"_qs);
        rig.listClick.appendTicked(rule(u"Next Page"_qs, u"Exact Match"_qs));
        rig.listClick.appendTicked(rule(u"Next"_qs, u"Starts With"_qs));
        bool killed = false;
        rig.yielder.onPause = [&] {
            if (!killed)
                m_firefox.stop();
            killed = true;
        };
        rig.scan();
        rig.yielder.onPause = {};
        QVERIFY(killed);
        QTRY_COMPARE(rig.server.links().size(), 0);
        QVERIFY(m_firefox.start());
        QVERIFY(rig.waitForBrowsers(1));
        m_firefox.closeAllTabs();
        m_tab = m_firefox.openTab(m_pages.url(u"basic.html"_qs));
        rig.scan();
        QCOMPARE(clicks(), u"link:Next Page;link:Next Page;"_qs);
    }

    void cleanupTestCase() {
        m_rig.reset();
        m_firefox.stop();
    }
};

QTEST_GUILESS_MAIN(TestConnectorFirefox)
#include "tst_connectorfirefox.moc"
