// Firefox ESR, headless, started as a user starts it for Pressbird: the engine's
// real passes over WebDriver BiDi press what the rules name and nothing else,
// through page script that lies, across a navigation, a killed browser and a
// session another program holds.

#include "bidibrowser.h"
#include "enginerig.h"
#include "firefox.h"
#include "pagedocument.h"
#include "testpages.h"
#include "todaypage.h"

#include <QJsonArray>
#include <QNetworkProxy>
#include <QTest>
#include <QUrl>
#include <QWebSocket>

using namespace pressbird;
using namespace pressbird::testing;

namespace {

struct BidiRig : EngineRig<BidiBrowser> {
    // Without a discovery: where pressbird itself looks.
    explicit BidiRig(BidiBrowser::Discovery discovery)
        : EngineRig(BidiTimeouts{}, std::move(discovery)) {}
    explicit BidiRig(const HeadlessFirefox &firefox)
        : BidiRig([&firefox] { return QList<BidiEndpoint>{firefox.endpoint()}; }) {}
    // Firefox writes its server file before its first page has loaded: wait
    // until the page shows links, as a user would before relying on it.
    void waitForPage() {
        for (int tries = 0; tries < 100; ++tries) {
            std::unique_ptr<ShellWindows> windows = awaitOnLoop(browser.createShellWindows());
            std::unique_ptr<BrowserWindow> first = windows ? awaitOnLoop(windows->next()) : nullptr;
            std::unique_ptr<Document> document = first ? awaitOnLoop(first->document()) : nullptr;
            if (document && awaitOnLoop(document->length(Collection::Links)).value_or(0) > 0)
                return;
            QTest::qWait(100);
        }
        QFAIL("the page did not load");
    }
    // The address of the first tab.
    QString address() {
        std::unique_ptr<ShellWindows> windows = awaitOnLoop(browser.createShellWindows());
        std::unique_ptr<BrowserWindow> first = windows ? awaitOnLoop(windows->next()) : nullptr;
        if (!first) {
            QStringList states;
            for (const BrowserState &state : browser.states())
                states << state.browser + u": "_qs + state.state;
            return u"(no window) "_qs + states.join(u"; "_qs);
        }
        return first->page().address;
    }
    // What the test pages say they pressed, from the address of the first tab.
    QString pressed() {
        const QString address = this->address();
        return QUrl::fromPercentEncoding(address.mid(address.indexOf(u'#') + 1).toUtf8());
    }
};

// A test page that tells what was pressed through its address: the engine's
// session is the only one Firefox admits.
QString tellingUrl(const QString &page) {
    const qsizetype query = page.indexOf(u'?');
    if (query < 0)
        return pageUrl(page) + u"?tell"_qs;
    return pageUrl(page.left(query)) + page.mid(query) + u"&tell"_qs;
}

} // namespace

class TestBidiScan : public QObject {
    Q_OBJECT

private:
    HeadlessFirefox m_firefox;

    // today.html over HTTP, as its frame of another origin needs.
    void startOnToday(PageServer &server) {
        QVERIFY(server.start());
        QVERIFY(m_firefox.start(server.url(u"today.html"_qs)));
    }
    void startOn(const QString &page) {
        PRESSBIRD_REQUIRE_FIREFOX();
        QVERIFY(m_firefox.start(tellingUrl(page)));
    }

private Q_SLOTS:
    void linksByTextAndButtonsByValue_clickedOncePerMatchingRule() {
        startOn(u"basic.html"_qs);
        BidiRig rig(m_firefox);
        rig.waitForPage();
        rig.listClick.appendTicked(rule(u"next"_qs, u"Starts With"_qs));
        rig.listClick.appendTicked(rule(u"page"_qs, u"Ends With"_qs));
        rig.listClick.append(rule(u"Other"_qs, u"Exact Match"_qs)); // unticked
        rig.listPush.appendTicked(rule(u"Continue"_qs, u"Exact Match"_qs));
        rig.listPush.appendTicked(rule(u"Exact Text"_qs, u"Exact Match"_qs));
        rig.scan();
        // The BUTTON of the same text is no input element; the image link has
        // no text; the submit button submits its form.
        QCOMPARE(rig.pressed(),
                 u"link:Next Page;link:Next Page;input:Continue;submit;input:text;"_qs);
        QVERIFY(rig.yielder.pausedMs >= 4 * 4000);
        const QList<BrowserState> states = rig.browser.states();
        QCOMPARE(states.size(), 1);
        QCOMPARE(states.constFirst().state, u"connected"_qs);
        QCOMPARE(states.constFirst().tabs, 1);
    }

    // Today's pages: every kind of control, in shadow roots and in frames of
    // either origin; the classic walk presses none of them, and visible-only
    // leaves the look-alikes no person could see.
    void todaysPages_everyKindEverywhere_andOnlyWhatIsSeen() {
        PRESSBIRD_REQUIRE_FIREFOX();
        PageServer server;
        startOnToday(server);
        if (QTest::currentTestFailed())
            return;
        BidiRig rig(m_firefox);
        rig.waitForPage();
        compareTodayPresses(rig);
    }

    // Frames that never load, loop, navigate all the time or number five
    // thousand, a thousand nested shadow roots, one rebuilt all the time and
    // a closed one: the scan ends and presses what it reaches.
    void todaysHostilePage_theScanEndsAndPressesWhatItReaches() {
        PRESSBIRD_REQUIRE_FIREFOX();
        PageServer server;
        startOnToday(server);
        if (QTest::currentTestFailed())
            return;
        BidiRig rig(m_firefox);
        rig.waitForPage();
        // Taken there through the engine's own session, which Firefox admits alone.
        const std::shared_ptr<BidiConnection> connection = rig.browser.connections().constFirst();
        const QJsonObject topLevel{{u"maxDepth"_qs, 0}};
        const BidiReply tree =
            awaitOnLoop(connection->call(u"browsingContext.getTree"_qs, topLevel));
        const QJsonObject navigate{
            {u"context"_qs,
             tree.result.value(u"contexts").toArray().at(0).toObject().value(u"context")},
            {u"url"_qs, server.url(u"today-hostile.html"_qs)},
            {u"wait"_qs, u"none"_qs}};
        QVERIFY(awaitOnLoop(connection->call(u"browsingContext.navigate"_qs, navigate)).ok());
        rig.engine.setPageOptions({.today = true});
        for (const QString &text : {u"Still pressed"_qs, u"Deepest"_qs, u"Closed button"_qs})
            rig.listPush.appendTicked(rule(text, u"Exact Match"_qs));
        const QStringList expected{u"Deepest"_qs, u"Still pressed"_qs};
        // Firefox makes the five thousand frames in one long task, most of a
        // minute on an idle machine.
        QCOMPARE(scanUntilPressed(rig, expected, 180000), expected);
        QCOMPARE(rig.engine.cutShortPages().size(), 1);
    }

    void hostilePage_cannotForgeReadsNorHijackClicks() {
        startOn(u"hostile.html"_qs);
        BidiRig rig(m_firefox);
        rig.waitForPage();
        rig.listClick.appendTicked(rule(u"Real link"_qs, u"Exact Match"_qs));
        rig.listClick.appendTicked(rule(u"Forged"_qs, u"Contains"_qs));
        rig.listPush.appendTicked(rule(u"Real button"_qs, u"Exact Match"_qs));
        rig.listPush.appendTicked(rule(u"Forged"_qs, u"Contains"_qs));
        rig.scan();
        QCOMPARE(rig.pressed(), u"link;button;submit;"_qs);
    }

    // What a press opens, as a person's click would: a tab for a new-tab
    // link, a named target and a window.open handler (the click carries the
    // user's activation), logged so. Then a dialog a press opened stays for
    // the user: its tab is left alone while it stands, the other tab is
    // pressed at every scan, and the tab is walked again once it is closed.
    void pressesThatOpenTabsOrADialog_asAPersonsClick_theOtherTabsGoOn() {
        startOn(u"opens.html"_qs);
        BidiRig rig(m_firefox);
        rig.waitForPage();
        tickOpeningLinks(rig.listClick);
        rig.clickLinks();
        QCOMPARE(rig.outcomes(), openingOutcomes());
        QStringList loaded;
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                loaded.clear();
                for (const PageInfo &page : BidiRig::pagesOf(rig.browser))
                    loaded.append(QUrl(page.address).query());
                loaded.sort();
                return loaded.size() == 4 && !loaded.contains(QString());
            }(),
            20000);
        QCOMPARE(loaded, (QStringList{u"named"_qs, u"popup&tell"_qs, u"tab"_qs, u"tell"_qs}));

        for (std::int16_t ruleIndex = 0; ruleIndex < 4; ++ruleIndex)
            rig.listClick.setTicked(ruleIndex, false);
        rig.listClick.appendTicked(rule(u"Alert me"_qs, u"Exact Match"_qs));
        rig.listClick.appendTicked(rule(u"Next Page"_qs, u"Exact Match"_qs));
        rig.presses.clear();
        rig.scan();
        rig.scan();
        QCOMPARE(rig.outcomes(), (QStringList{u"Alert me: opened a dialog"_qs, u"Next Page: "_qs,
                                              u"Next Page: "_qs}));
        const auto popup = [&] {
            for (const PageInfo &page : BidiRig::pagesOf(rig.browser))
                if (page.address.contains(u"popup"))
                    return QUrl::fromPercentEncoding(page.address.section(u'#', 1).toUtf8());
            return QString();
        };
        QCOMPARE(popup(), u"link:Next Page;link:Next Page;"_qs);

        // The user closes the dialog (through the one session Firefox admits).
        const std::shared_ptr<BidiConnection> session = rig.browser.connections().first();
        const QJsonArray tabs =
            awaitOnLoop(session->call(u"browsingContext.getTree"_qs, {{u"maxDepth"_qs, 0}}))
                .result.value(u"contexts")
                .toArray();
        bool closed = false;
        for (const QJsonValue &tab : tabs) {
            if (QUrl(tab[u"url"].toString()).query() == u"tell")
                closed = awaitOnLoop(session->call(
                                         u"browsingContext.handleUserPrompt"_qs,
                                         {{u"context"_qs, tab[u"context"]}, {u"accept"_qs, true}}))
                             .ok();
        }
        QVERIFY(closed);
        rig.presses.clear();
        rig.scan();
        QCOMPARE(rig.outcomes(), (QStringList{u"Alert me: opened a dialog"_qs, u"Next Page: "_qs}));
    }

    // A text too long for a block is read on its own, in pieces, and matched
    // whole; the link beside it is pressed in the same scan.
    void linkWithAFiveMegabyteText_isReadWhole_andItsNeighbourPressed() {
        // Not laid out, as the DevTools test has it: laying out megabytes of
        // text keeps a loaded machine's Firefox from answering for seconds.
        startOn(u"long.html?kind=ending&size=5242880&hide=1"_qs);
        BidiRig rig(m_firefox);
        rig.waitForPage();
        rig.listClick.appendTicked(rule(u"the end"_qs, u"Ends With"_qs));
        rig.listClick.appendTicked(rule(u"Press me"_qs, u"Exact Match"_qs));
        rig.scan();
        QCOMPARE(rig.pressed(), u"long;pressed;"_qs);
    }

    // The old document fails once the tab has navigated: "Go on too" of the old
    // page is never pressed; the next scan walks the new page.
    void navigatingClick_endsTheWalkAndTheNextScanWalksTheNewPage() {
        startOn(u"navigate.html"_qs);
        BidiRig rig(m_firefox);
        rig.waitForPage();
        rig.listClick.appendTicked(rule(u"Go on"_qs, u"Starts With"_qs));
        rig.yielder.onPause = [] { QTest::qWait(300); }; // the navigation takes its time
        rig.scan();
        std::unique_ptr<ShellWindows> windows = awaitOnLoop(rig.browser.createShellWindows());
        QVERIFY(awaitOnLoop(windows->next())->page().address.endsWith(u"second.html"));
        rig.scan(); // "Go on" of the new page leads back
        QVERIFY2(rig.address().endsWith(u"navigate.html?again"), qPrintable(rig.address()));
    }

    // A document taken before its tab navigated reads nothing of the page
    // that replaced it, even once our operations run in the new one.
    void navigatedDocument_readsNothingOfThePageThatReplacedIt() {
        startOn(u"navigate.html"_qs);
        BidiRig rig(m_firefox);
        rig.waitForPage();
        const auto firstDocument = [&rig] {
            std::unique_ptr<ShellWindows> windows = awaitOnLoop(rig.browser.createShellWindows());
            std::unique_ptr<BrowserWindow> first = awaitOnLoop(windows->next());
            return first ? awaitOnLoop(first->document()) : nullptr;
        };
        const std::unique_ptr<Document> before = firstDocument();
        QVERIFY(before);
        QCOMPARE(awaitOnLoop(before->length(Collection::Links)), std::optional(2));
        QVERIFY(awaitOnLoop(before->click(Collection::Links, 0))); // to second.html
        std::optional<int> newLength;
        for (int tries = 0; tries < 100 && newLength != 1; ++tries) {
            QTest::qWait(100);
            if (const std::unique_ptr<Document> after = firstDocument())
                newLength = awaitOnLoop(after->length(Collection::Links));
        }
        QCOMPARE(newLength, std::optional(1));
        QCOMPARE(awaitOnLoop(before->length(Collection::Links)), std::nullopt);
        QCOMPARE(awaitOnLoop(before->outerText(Collection::Links, 0)), std::nullopt);
    }

    // The page changes by itself while a pass reads from a block: its word
    // comes over the session and the next read goes to the page, well before
    // the one-second bound. An unchanged page is not walked again.
    void pageChangingByItself_seenByTheNextReadOnceItHasTold() {
        startOn(u"changeslater.html"_qs);
        BidiRig rig(m_firefox);
        rig.waitForPage();
        std::unique_ptr<ShellWindows> windows = awaitOnLoop(rig.browser.createShellWindows());
        const std::unique_ptr<Document> document =
            awaitOnLoop(awaitOnLoop(windows->next())->document());
        QVERIFY(document);
        QVERIFY(awaitOnLoop(document->click(Collection::Links, 1))); // changes "Wait" soon
        QElapsedTimer confirmed;
        confirmed.start();
        QCOMPARE(awaitOnLoop(document->length(Collection::Links)).value_or(-1), 2);
        QCOMPARE(awaitOnLoop(document->outerText(Collection::Links, 0)).value_or(u"none"_qs),
                 u"Wait"_qs);
        QString text;
        while (confirmed.elapsed() < PageDocument::kConfirmMs - 150 && text != u"Go") {
            QTest::qWait(20);
            text = awaitOnLoop(document->outerText(Collection::Links, 0)).value_or(u"none"_qs);
        }
        QCOMPARE(text, u"Go"_qs);

        rig.listClick.appendTicked(rule(u"Go"_qs, u"Exact Match"_qs));
        rig.scan();
        QCOMPARE(rig.pressed(), u"link:Go;"_qs);
        rig.listClick.setTicked(0, false);
        rig.scan(); // walks, as the rules changed
        rig.scan(); // left out: nothing changed
        QCOMPARE(rig.pressed(), u"link:Go;"_qs);
    }

    // Unchanged tabs cost Firefox no call at all; what changes the list of
    // tabs (an address set by script, a tab opened) is announced, and the
    // next walk lists them afresh, well within the second a tree would be
    // kept without the announcements.
    void unchangedTabs_askedNothing_changesToTheTabsSeenByTheNextWalk() {
        startOn(u"basic.html"_qs);
        BidiRig rig(m_firefox);
        rig.waitForPage();
        rig.listClick.appendTicked(rule(u"Nothing here"_qs, u"Exact Match"_qs));
        rig.scan();
        const std::shared_ptr<BidiConnection> connection = rig.browser.connections().constFirst();
        const qint64 before = connection->calls();
        rig.scan();
        QCOMPARE(connection->calls(), before);

        const QJsonObject topLevel{{u"maxDepth"_qs, 0}};
        const QString tab = awaitOnLoop(connection->call(u"browsingContext.getTree"_qs, topLevel))
                                .result.value(u"contexts")
                                .toArray()
                                .at(0)
                                .toObject()
                                .value(u"context")
                                .toString();
        const QJsonObject moved{{u"expression"_qs, u"history.pushState(null, '', '?moved')"_qs},
                                {u"target"_qs, QJsonObject{{u"context"_qs, tab}}},
                                {u"awaitPromise"_qs, false}};
        QVERIFY(awaitOnLoop(connection->call(u"script.evaluate"_qs, moved, tab)).ok());
        QTest::qWait(200);
        QVERIFY2(rig.address().endsWith(u"?moved"), qPrintable(rig.address()));

        const QJsonObject opened{{u"type"_qs, u"tab"_qs}};
        QVERIFY(awaitOnLoop(connection->call(u"browsingContext.create"_qs, opened)).ok());
        QTest::qWait(200);
        QCOMPARE(EngineRig<BidiBrowser>::pagesOf(rig.browser).size(), 2);
    }

    // Killed while the scan pauses after a press: the scan ends without a hang;
    // started again, it is found at the next walk.
    void browserKilledMidScan_andStartedAgain_isFoundWithoutRestarting() {
        startOn(u"basic.html"_qs);
        BidiRig rig(m_firefox);
        rig.waitForPage();
        rig.listClick.appendTicked(rule(u"Next"_qs, u"Starts With"_qs));
        rig.listClick.appendTicked(rule(u"Other"_qs, u"Exact Match"_qs));
        bool killed = false;
        rig.yielder.onPause = [&] {
            if (!std::exchange(killed, true))
                m_firefox.kill();
        };
        QElapsedTimer clock;
        clock.start();
        rig.scan();
        QVERIFY(killed);
        QVERIFY2(clock.elapsed() < 15000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(rig.browser.states().constFirst().state, u"not reachable"_qs);

        QVERIFY(m_firefox.start(tellingUrl(u"basic.html"_qs)));
        rig.yielder.onPause = nullptr;
        rig.waitForPage();
        rig.scan();
        QCOMPARE(rig.pressed(), u"link:Next Page;link:Other;"_qs);
    }

    // Firefox admits one session: while another program holds it, the browser
    // reads as busy, without a hang; once free, it is reached.
    void sessionHeldElsewhere_isBusyThenReached() {
        startOn(u"basic.html"_qs);
        BidiRig rig(m_firefox);
        rig.listClick.appendTicked(rule(u"Next"_qs, u"Starts With"_qs));
        rig.waitForPage();
        awaitOnLoop(rig.browser.release()); // the other program comes first now
        QWebSocket other(QString(), QWebSocketProtocol::VersionLatest);
        other.setProxy(QNetworkProxy::NoProxy);
        const BidiEndpoint endpoint = m_firefox.endpoint();
        other.open(QUrl(u"ws://%1:%2/session"_qs.arg(endpoint.host).arg(endpoint.port)));
        QTRY_COMPARE(other.state(), QAbstractSocket::ConnectedState);
        QString answer;
        connect(&other, &QWebSocket::textMessageReceived, this,
                [&](const QString &t) { answer = t; });
        other.sendTextMessage(
            uR"({"id":1,"method":"session.new","params":{"capabilities":{}}})"_qs);
        QTRY_VERIFY(answer.contains(u"success"));

        rig.scan();
        QCOMPARE(rig.browser.states().size(), 1);
        QVERIFY2(rig.browser.states().constFirst().state.startsWith(u"busy"_qs),
                 qPrintable(rig.browser.states().constFirst().state));

        // A client done with Firefox ends its session, as Pressbird does.
        other.sendTextMessage(uR"({"id":2,"method":"session.end","params":{}})"_qs);
        QTRY_VERIFY(answer.contains(u"\"id\":2"));
        other.close();
        // Each walk asks once, never spinning.
        for (int walk = 0; walk < 40 && rig.pressed() != u"link:Next Page;"_qs; ++walk) {
            rig.scan();
            QTest::qWait(250);
        }
        QCOMPARE(rig.pressed(), u"link:Next Page;"_qs);
    }

    // Pressbird ended and started again while Firefox runs: the first one's
    // session is ended with it, so the second is admitted.
    void pressbirdRestartedWhileFirefoxRuns_isAdmittedAgain() {
        startOn(u"basic.html"_qs);
        {
            BidiRig first(m_firefox);
            first.waitForPage();
            first.listClick.appendTicked(rule(u"Next"_qs, u"Starts With"_qs));
            first.scan();
            QCOMPARE(first.pressed(), u"link:Next Page;"_qs);
            awaitOnLoop(first.browser.release()); // what pressbird does as it ends
        }
        BidiRig second(m_firefox);
        second.listClick.appendTicked(rule(u"Other"_qs, u"Exact Match"_qs));
        for (int walk = 0; walk < 20 && second.browser.states().value(0).state != u"connected";
             ++walk) {
            second.scan();
            QTest::qWait(100);
        }
        QCOMPARE(second.pressed(), u"link:Next Page;link:Other;"_qs);
    }

    // As a user starts it: pressbird-browser --firefox, and Pressbird finds it
    // in its own Firefox profile without any setting.
    void pressbirdBrowserFirefox_isFoundWithoutSetting() {
        PRESSBIRD_REQUIRE_FIREFOX();
        QTemporaryDir data;
        qputenv("XDG_DATA_HOME", data.path().toLocal8Bit());
        qunsetenv("PRESSBIRD_BROWSERS");
        QProcess launcher;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"PRESSBIRD_BROWSER_FLAGS"_qs, u"--headless"_qs);
        environment.insert(u"HOME"_qs, data.filePath(u"home"_qs));
        launcher.setProcessEnvironment(environment);
        launcher.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        launcher.start(QStringLiteral(PRESSBIRD_LAUNCHER),
                       {u"--firefox"_qs, tellingUrl(u"basic.html"_qs)});
        QVERIFY(QTest::qWaitFor([] { return !discoverBidiEndpoints().isEmpty(); }, 60000));
        BidiRig rig{BidiBrowser::Discovery()};
        rig.waitForPage();
        rig.listClick.appendTicked(rule(u"Other"_qs, u"Exact Match"_qs));
        rig.scan();
        QCOMPARE(rig.pressed(), u"link:Other;"_qs);
        QVERIFY(rig.browser.states().constFirst().browser.contains(u"firefox-profile"_qs));
        awaitOnLoop(rig.browser.release());
        launcher.kill();
        launcher.waitForFinished(10000);
    }
};

QTEST_GUILESS_MAIN(TestBidiScan)
#include "tst_bidiscan.moc"
