// What the user is shown of the browsers: each window's title, address and
// browser, how each endpoint stood at the last walk, and an outline around an
// element that leaves the page as it was.

#include "chromium.h"
#include "devtoolsbrowser.h"

#include <QTcpServer>
#include <QTest>

using namespace pressbird;
using namespace pressbird::testing;

class TestDevToolsWindows : public QObject {
    Q_OBJECT

private:
    HeadlessChromium m_chromium;

    // The window of a fresh walk that shows url.
    static std::unique_ptr<BrowserWindow> windowShowing(DevToolsBrowser &browser,
                                                        const QString &url) {
        auto windows = awaitOnLoop(browser.createShellWindows());
        while (auto window = awaitOnLoop(windows->next())) {
            if (window->page().address == url)
                return window;
        }
        return nullptr;
    }
    QString computedOutline(const QString &tab, const QString &element) {
        return m_chromium.evaluate(tab, u"getComputedStyle(%1).outline"_qs.arg(element));
    }

private Q_SLOTS:
    void initTestCase() {
        PRESSBIRD_REQUIRE_CHROMIUM();
        QVERIFY(m_chromium.start());
    }

    void page_titleAndAddressFromTheTargetList_browserByProfileOrAddress() {
        m_chromium.closeAllPages();
        const QString url = pageUrl(u"outline.html"_qs);
        m_chromium.openTab(url);
        const QString profile = m_chromium.profile();
        DevToolsBrowser found({}, [&] { return discoverEndpoints(std::nullopt, {profile}); });
        const std::unique_ptr<BrowserWindow> window = windowShowing(found, url);
        QVERIFY(window);
        QCOMPARE(window->page().title, u"Outlined page"_qs);
        QCOMPARE(window->page().browser, profile);

        DevToolsBrowser named({}, [&] { return QList<Endpoint>{m_chromium.endpoint()}; });
        const std::unique_ptr<BrowserWindow> same = windowShowing(named, url);
        QVERIFY(same);
        QCOMPARE(same->page().browser, m_chromium.address());
    }

    void states_liveEndpointConnectedWithItsTabs_deadOneNotReachable() {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        const Endpoint dead{u"127.0.0.1"_qs, probe.serverPort(), {}, false, {}};
        probe.close();
        // One tab, and the closed ones of earlier tests gone from the list.
        m_chromium.closeAllPages();
        m_chromium.openTab(pageUrl(u"plain.html"_qs));
        QTRY_COMPARE(m_chromium.pageTargets().size(), 1);
        DevToolsBrowser browser({}, [&] { return QList<Endpoint>{m_chromium.endpoint(), dead}; });
        QVERIFY(browser.states().isEmpty());
        (void)awaitOnLoop(browser.createShellWindows());
        const QList<BrowserState> states = browser.states();
        QCOMPARE(states.size(), 2);
        QCOMPARE(states.at(0).browser, m_chromium.address());
        QCOMPARE(states.at(0).state, u"connected"_qs);
        QCOMPARE(states.at(0).tabs, 1);
        QCOMPARE(states.at(1).browser, dead.label());
        QCOMPARE(states.at(1).state, u"not reachable"_qs);
        QCOMPARE(states.at(1).tabs, 0);
    }

    void outline_shownForItsTimeThenTheElementsOwnOutlineBack_readsUnchanged() {
        m_chromium.closeAllPages();
        const QString url = pageUrl(u"outline.html"_qs);
        const QString tab = m_chromium.openTab(url);
        DevToolsBrowser browser({}, [&] { return QList<Endpoint>{m_chromium.endpoint()}; });
        const std::unique_ptr<Document> document =
            awaitOnLoop(windowShowing(browser, url)->document());
        QVERIFY(document);
        const QString own = computedOutline(tab, u"document.links[0]"_qs);
        QCOMPARE(awaitOnLoop(document->outerText(Collection::Links, 0)), u"Own outline"_qs);

        // The form's field named "style" must not stand in for the form's style.
        const int form =
            m_chromium.evaluate(tab, u"[...document.all].indexOf(document.forms[0])"_qs).toInt();
        for (int link : {0, 1})
            QVERIFY(awaitOnLoop(document->outline(Collection::Links, link, 1000)));
        QVERIFY(awaitOnLoop(document->outline(Collection::All, form, 1000)));
        QVERIFY(!awaitOnLoop(document->outline(Collection::Links, 99, 1000)));
        const QString shown = u"rgb(232, 89, 12) solid 3px"_qs;
        QCOMPARE(computedOutline(tab, u"document.links[0]"_qs), shown);
        QCOMPARE(computedOutline(tab, u"document.links[1]"_qs), shown);
        QCOMPARE(computedOutline(tab, u"document.forms[0]"_qs), shown);
        // Outlined again while shown: what comes back is still the element's own.
        QVERIFY(awaitOnLoop(document->outline(Collection::Links, 0, 1000)));
        QCOMPARE(awaitOnLoop(document->outerText(Collection::Links, 0)), u"Own outline"_qs);
        QCOMPARE(awaitOnLoop(document->outerText(Collection::Links, 1)), u"Bare"_qs);

        QTRY_COMPARE(computedOutline(tab, u"document.links[0]"_qs), own);
        QTRY_COMPARE(m_chromium.evaluate(tab, u"document.links[1].hasAttribute('style')"_qs),
                     u"false"_qs);
        QTRY_COMPARE(m_chromium.evaluate(tab, u"document.forms[0].hasAttribute('style')"_qs),
                     u"false"_qs);
        QCOMPARE(m_chromium.evaluate(tab, u"document.links[0].getAttribute('style')"_qs),
                 u"outline: rgb(0, 128, 0) dotted 1px;"_qs);
    }
};

QTEST_GUILESS_MAIN(TestDevToolsWindows)
#include "tst_devtoolswindows.moc"
