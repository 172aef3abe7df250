// The real scan passes against a real headless Chromium: what is clicked,
// what is left alone, and what a document taken before a navigation reads.

#include "chromium.h"
#include "devtoolsbrowser.h"
#include "scanrig.h"
#include "testpages.h"
#include "todaypage.h"

#include <QTest>
#include <QUrl>

using namespace pressbird;
using namespace pressbird::testing;

class TestDevToolsScan : public QObject {
    Q_OBJECT

private:
    HeadlessChromium m_chromium;
    QString m_tab;

    std::unique_ptr<ScanRig> rigOn(const QString &page) {
        m_chromium.closeAllPages();
        m_tab = m_chromium.openTab(pageUrl(page));
        return std::make_unique<ScanRig>(QList<Endpoint>{m_chromium.endpoint()});
    }
    QString clicks() { return m_chromium.evaluate(m_tab, u"window.clicks"_qs); }
    // Test pages over HTTP, each in a tab of its own, the last one m_tab:
    // today's pages have frames of another origin, which file: pages cannot.
    // A heavy page takes a moment to close: a later test counting pages
    // would count it still.
    void closeHeavyPages() {
        m_chromium.closeAllPages();
        QTRY_VERIFY_WITH_TIMEOUT(m_chromium.pageTargets().isEmpty(), 10000);
    }
    void openOverHttp(PageServer &server, const QStringList &pages) {
        QVERIFY(server.start());
        m_chromium.closeAllPages();
        for (const QString &page : pages)
            m_tab = m_chromium.openTab(server.url(page));
    }

private Q_SLOTS:
    void initTestCase() {
        PRESSBIRD_REQUIRE_CHROMIUM();
        QVERIFY(m_chromium.start());
    }

    void linksByTextAndButtonsByValue_clickedOncePerMatchingRule() {
        auto rig = rigOn(u"basic.html"_qs);
        rig->listClick.appendTicked(rule(u"next"_qs, u"Starts With"_qs));
        rig->listClick.appendTicked(rule(u"page"_qs, u"Ends With"_qs));
        rig->listClick.append(rule(u"Other"_qs, u"Exact Match"_qs)); // unticked
        rig->listPush.appendTicked(rule(u"Continue"_qs, u"Exact Match"_qs));
        rig->listPush.appendTicked(rule(u"Exact Text"_qs, u"Exact Match"_qs));
        rig->scan();
        // The BUTTON element of the same text is no input element; the image
        // link has no text; the submit button submits its form.
        QCOMPARE(clicks(), u"link:Next Page;link:Next Page;input:Continue;submit;input:text;"_qs);
        // Four clicks, four pauses of at least four seconds each.
        QVERIFY(rig->yielder.pausedMs >= 4 * 4000);
    }

    // Today's pages: every kind of control, in shadow roots and in frames of
    // either origin (one out of process); the classic walk presses none of
    // them, and visible-only leaves the look-alikes no person could see.
    void todaysPages_everyKindEverywhere_andOnlyWhatIsSeen() {
        PageServer server;
        openOverHttp(server, {u"today.html"_qs});
        ScanRig rig(QList<Endpoint>{m_chromium.endpoint()});
        compareTodayPresses(rig);
    }

    // Frames that never load, loop or navigate all the time, five thousand
    // of them, a thousand nested shadow roots, one that rebuilds itself and
    // a closed one: the scan ends, presses what it reaches, and goes on to
    // the next tab.
    void todaysHostilePage_theScanGoesOnToTheNextTab() {
        PageServer server;
        openOverHttp(server, {u"today-hostile.html"_qs, u"today.html"_qs});
        ScanRig rig(QList<Endpoint>{m_chromium.endpoint()});
        rig.engine.setPageOptions({.today = true});
        for (const QString &text :
             {u"Still pressed"_qs, u"Deepest"_qs, u"Closed button"_qs, u"Real button"_qs})
            rig.listPush.appendTicked(rule(text, u"Exact Match"_qs));
        const QStringList expected{u"Deepest"_qs, u"Real button"_qs, u"Still pressed"_qs};
        // The five thousand frames take the tab a quarter of a minute to make
        // on an idle machine.
        QCOMPARE(scanUntilPressed(rig, expected, 180000), expected);
        // The frames past the most a walk takes: the tab was cut short, and said so.
        QCOMPARE(rig.engine.cutShortPages().size(), 1);
        QVERIFY(rig.engine.cutShortPages().constFirst().address.endsWith(u"today-hostile.html"));
        closeHeavyPages();
    }

    // A feed longer than the budget: what comes before it is pressed, the
    // rest is not read, and the tab is said to be cut short.
    void todaysEndlessPage_readUpToItsBudget_andSaidToBeCutShort() {
        PageServer server;
        openOverHttp(server, {u"today-endless.html"_qs});
        ScanRig rig(QList<Endpoint>{m_chromium.endpoint()});
        rig.listPush.appendTicked(rule(u"Early"_qs, u"Exact Match"_qs));
        rig.listPush.appendTicked(rule(u"Past the budget"_qs, u"Exact Match"_qs));
        rig.scan();
        // The classic walk pushes no <button>, and is never said to be cut short.
        QCOMPARE(pressesWhere(rig.presses), QStringList{});
        QVERIFY(rig.engine.cutShortPages().isEmpty());
        rig.engine.setPageOptions({.today = true});
        rig.scan();
        QCOMPARE(pressesWhere(rig.presses), QStringList{u"Early"_qs});
        QCOMPARE(rig.engine.cutShortPages().size(), 1);
        closeHeavyPages();
    }

    void targetBlankLink_opensANewWindow() {
        auto rig = rigOn(u"basic.html"_qs);
        const qsizetype before = m_chromium.pageTargets().size();
        rig->listClick.appendTicked(rule(u"Open window"_qs, u"Exact Match"_qs));
        rig->clickLinks();
        QTRY_COMPARE(m_chromium.pageTargets().size(), before + 1);
    }

    void capsOfLinksAndElements_indicesPastTheCapNeverExamined() {
        auto rig = rigOn(u"caps.html"_qs);
        QCOMPARE(m_chromium.evaluate(m_tab, u"document.all.length"_qs), u"15000"_qs);
        rig->listClick.appendTicked(rule(u"Reachable"_qs, u"Exact Match"_qs));
        rig->listClick.appendTicked(rule(u"Unreachable"_qs, u"Exact Match"_qs));
        rig->listPush.appendTicked(rule(u"Reachable"_qs, u"Exact Match"_qs));
        rig->listPush.appendTicked(rule(u"Unreachable"_qs, u"Exact Match"_qs));
        rig->scan();
        QCOMPARE(clicks(), u"link:Reachable;input:Reachable;"_qs);
        // Blocks, not one round trip per read.
        QVERIFY(rig->browser.stats().waits < 200);
    }

    void navigatingClick_endsTheWalkAndTheNextScanWalksTheNewPage() {
        auto rig = rigOn(u"navigate.html"_qs);
        rig->listClick.appendTicked(rule(u"Go on"_qs, u"Starts With"_qs));
        rig->yielder.onPause = [this] {
            (void)QTest::qWaitFor([this] { return m_chromium.url(m_tab).endsWith(u"second.html"); },
                                  10000);
        };
        rig->clickLinks();
        // "Go on too" of the old page was never pressed, nor "Go on" of the new one.
        QVERIFY(m_chromium.url(m_tab).endsWith(u"second.html"));
        // The address changes before the new document has loaded.
        QTRY_COMPARE(m_chromium.evaluate(m_tab, u"document.title"_qs), u"second"_qs);
        rig->yielder.onPause = [this] {
            (void)QTest::qWaitFor([this] { return m_chromium.url(m_tab).endsWith(u"?again"); },
                                  10000);
        };
        rig->clickLinks();
        QVERIFY(m_chromium.url(m_tab).endsWith(u"navigate.html?again"));
    }

    void documentTakenBeforeNavigation_failsInsteadOfReadingTheNewPage() {
        auto rig = rigOn(u"plain.html"_qs);
        auto windows = awaitOnLoop(rig->browser.createShellWindows());
        std::unique_ptr<Document> document;
        while (auto window = awaitOnLoop(windows->next())) {
            if (awaitOnLoop(window->name()) == kBrowserWindowName)
                document = awaitOnLoop(window->document());
        }
        QVERIFY(document);
        QCOMPARE(awaitOnLoop(document->length(Collection::Links)), 2);
        QCOMPARE(awaitOnLoop(document->outerText(Collection::Links, 0)), u"Ask me"_qs);
        // Read from the block the length came with: ready at once, no round trip.
        const qint64 waits = rig->browser.stats().waits;
        QVERIFY(document->outerText(Collection::Links, 1).await_ready());
        QCOMPARE(rig->browser.stats().waits, waits);
        // The same shape on another origin: a numeric context id would read it.
        const QString other = u"data:text/html,<a href=%23>Other page</a><a href=%23>Second</a>"_qs;
        m_chromium.call(u"Page.navigate"_qs, {{u"url"_qs, other}},
                        m_chromium.control().sessionForTarget(m_tab));
        QTRY_VERIFY(m_chromium.url(m_tab).startsWith(u"data:"));
        // Known gone once the browser's word of the navigation is in.
        QTRY_COMPARE(awaitOnLoop(document->length(Collection::Links)), std::nullopt);
        QCOMPARE(awaitOnLoop(document->outerText(Collection::Links, 0)), std::nullopt);
        QVERIFY(!awaitOnLoop(document->click(Collection::Links, 0)));
    }

    void hostilePage_cannotForgeReadsNorHijackClicks() {
        auto rig = rigOn(u"hostile.html"_qs);
        rig->listClick.appendTicked(rule(u"Real link"_qs, u"Exact Match"_qs));
        rig->listClick.appendTicked(rule(u"Forged"_qs, u"Contains"_qs));
        rig->listPush.appendTicked(rule(u"Real button"_qs, u"Exact Match"_qs));
        rig->listPush.appendTicked(rule(u"Forged"_qs, u"Contains"_qs));
        rig->scan();
        QCOMPARE(clicks(), u"link;button;submit;"_qs);
    }

    void dialogOpenedByAClick_tabSkippedWithoutTimeouts() {
        auto rig = rigOn(u"dialog.html"_qs);
        const QString plain = m_chromium.openTab(pageUrl(u"plain.html"_qs));
        rig->listClick.appendTicked(rule(u"Ask me"_qs, u"Starts With"_qs));
        rig->scan();
        rig->scan();
        // The dialog stays for the user; the other tab is walked in both scans.
        QCOMPARE(m_chromium.evaluate(plain, u"window.clicks"_qs), u"link;second;link;second;"_qs);
        QCOMPARE(rig->browser.stats().timeouts, 0);
        m_chromium.closeTab(m_tab);
    }

    // What a press opens, as a person's click would: a tab for a new-tab
    // link, a named target and a window.open handler, each loading its page;
    // a handler that throws is a plain press. Logged so.
    void pressesThatOpenTabs_openThemAndAreLoggedSo() {
        auto rig = rigOn(u"opens.html"_qs);
        const qsizetype before = m_chromium.pageTargets().size();
        tickOpeningLinks(rig->listClick);
        rig->clickLinks();
        QCOMPARE(rig->outcomes(), openingOutcomes());
        QTRY_COMPARE(m_chromium.pageTargets().size(), before + 3);
        QCOMPARE(m_chromium.pageQueries(),
                 (QStringList{QString(), u"named"_qs, u"popup&tell"_qs, u"tab"_qs}));
    }

    // A dialog a press opened stays for the user: its tab is left alone
    // while it stands (no time-out), the other tab is pressed at every scan,
    // and once the user has closed it the tab is walked again.
    void dialogFromAPress_staysForTheUser_andTheOtherTabGoesOn() {
        auto rig = rigOn(u"opens.html"_qs);
        const QString plain = m_chromium.openTab(pageUrl(u"plain.html"_qs));
        const CdpSessionPtr user = m_chromium.control().sessionForTarget(m_tab);
        m_chromium.call(u"Page.enable"_qs, {}, user); // to close the dialog as the user
        rig->listClick.appendTicked(rule(u"Alert me"_qs, u"Exact Match"_qs));
        rig->listClick.appendTicked(rule(u"Ask me"_qs, u"Exact Match"_qs));
        rig->scan();
        rig->scan();
        QCOMPARE(m_chromium.evaluate(plain, u"window.clicks"_qs), u"link;link;"_qs);
        // The browser lists its tabs in an order of its own.
        const auto sorted = [](QStringList list) {
            list.sort();
            return list;
        };
        QCOMPARE(sorted(rig->outcomes()),
                 (QStringList{u"Alert me: opened a dialog"_qs, u"Ask me: "_qs, u"Ask me: "_qs}));
        QCOMPARE(rig->browser.stats().timeouts, 0);

        const auto closeTheDialog = [&] {
            user->dialogOpen = false; // the test's channel speaks for the user
            return m_chromium.call(u"Page.handleJavaScriptDialog"_qs, {{u"accept"_qs, true}}, user)
                .ok();
        };
        QVERIFY(closeTheDialog());
        rig->scan();
        QCOMPARE(sorted(rig->outcomes().mid(3)),
                 (QStringList{u"Alert me: opened a dialog"_qs, u"Ask me: "_qs}));
        QVERIFY(closeTheDialog());
        QCOMPARE(clicks(), u"alert;alert;"_qs);
        QCOMPARE(rig->browser.stats().timeouts, 0);
    }
};

QTEST_GUILESS_MAIN(TestDevToolsScan)
#include "tst_devtoolsscan.moc"
