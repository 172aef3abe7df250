// A page that changes by itself, against the real passes and a real headless
// Chromium: each kind of change is seen by the next read that a live read
// would have seen it by, while an unchanged page costs one short call per pass.

#include "chromium.h"
#include "scanrig.h"

#include <QElapsedTimer>
#include <QTest>

using namespace pressbird;
using namespace pressbird::testing;

class TestDevToolsChanges : public QObject {
    Q_OBJECT

private:
    HeadlessChromium m_chromium;
    QString m_tab;

    std::unique_ptr<ScanRig> rigOn(const QString &page) {
        m_chromium.closeAllPages();
        m_tab = m_chromium.openTab(pageUrl(page));
        auto rig = std::make_unique<ScanRig>(QList<Endpoint>{m_chromium.endpoint()});
        rig->listClick.appendTicked(rule(u"Go"_qs, u"Ends With"_qs));
        rig->listPush.appendTicked(rule(u"Go"_qs, u"Exact Match"_qs));
        return rig;
    }
    QString clicks() { return m_chromium.evaluate(m_tab, u"window.clicks"_qs); }
    // The page tells of a change over the scan's connection as the loop turns
    // (and of a value set by script within the second it looks for one): a
    // scan at once after might still be before the word.
    static constexpr int kWordMs = 200;
    static constexpr int kValueWordMs = 1500;
    void change(const QString &script, int wordMs = kWordMs) {
        m_chromium.evaluate(m_tab, script + u"; 0"_qs);
        QTest::qWait(wordMs);
    }
    // Round trips of one scan.
    qint64 scanCost(ScanRig &rig) {
        const qint64 before = rig.browser.stats().waits;
        rig.scan();
        return rig.browser.stats().waits - before;
    }

private Q_SLOTS:
    void initTestCase() {
        PRESSBIRD_REQUIRE_CHROMIUM();
        QVERIFY(m_chromium.start());
    }

    void changeByPageScript_seenByTheNextScan_data() {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("pressed");
        QTest::newRow("text edited") << u"text.textContent = 'Go'"_qs << u"link:Go;"_qs;
        QTest::newRow("element added")
            << u"room.innerHTML = '<a href=\"#\" onclick=\"note(\\'link:added\\')\">Go</a>'"_qs
            << u"link:added;"_qs;
        QTest::newRow("text box value set by script")
            << u"field.value = 'Go'"_qs << u"input:Go;"_qs;
        QTest::newRow("attribute toggled")
            << u"box.setAttribute('value', 'Go')"_qs << u"input:Go;"_qs;
        QTest::newRow("class shows text")
            << u"shown.firstElementChild.classList.remove('hidden')"_qs << u"link:Wait Go;"_qs;
        QTest::newRow("style hides text") << u"tail.style.display = 'none'"_qs << u"link:Go;"_qs;
    }
    void changeByPageScript_seenByTheNextScan() {
        QFETCH(QString, script);
        QFETCH(QString, pressed);
        const bool valueSetByScript = script.startsWith(u"field.value"_qs);
        auto rig = rigOn(u"changes.html"_qs);
        rig->scan();
        QCOMPARE(clicks(), QString());
        // Unchanged: the page, which tells of every change, is asked nothing,
        // and the button pass takes the link pass's target list.
        const qint64 idle = scanCost(*rig);
        QVERIFY2(idle <= 1, qPrintable(QString::number(idle)));

        change(script, valueSetByScript ? kValueWordMs : kWordMs);
        rig->scan();
        QCOMPARE(clicks(), pressed);
    }

    // A changed page costs one call for both passes: the link pass's read
    // brings the block the button pass asked for last. A block brought for
    // button rules that changed since is not taken.
    void changedPage_bothPassesReadInOneCall_data() {
        QTest::addColumn<bool>("newButtonRule");
        QTest::addColumn<qint64>("pageCalls");
        QTest::addColumn<QString>("pressed");
        QTest::newRow("same rules") << false << qint64(1) << QString();
        QTest::newRow("a button rule ticked since") << true << qint64(4) << u"input:Wait;"_qs;
    }
    void changedPage_bothPassesReadInOneCall() {
        QFETCH(bool, newButtonRule);
        QFETCH(qint64, pageCalls);
        QFETCH(QString, pressed);
        auto rig = rigOn(u"changes.html"_qs);
        rig->scan();
        if (newButtonRule)
            rig->listPush.appendTicked(rule(u"Wait"_qs, u"Exact Match"_qs));
        change(u"text.textContent = 'Still'"_qs);
        // With a press: the button pass's own read, the click, the read after it.
        const qint64 before = rig->browser.stats().pageCalls;
        rig->scan();
        QCOMPARE(rig->browser.stats().pageCalls - before, pageCalls);
        QCOMPARE(clicks(), pressed);
    }

    // A style rule that starts to apply with nothing in the document
    // changing moves no counter: the page reads its blocks again itself
    // every 30 s and tells of the difference. Until then it is asked nothing.
    void styleRuleStartingToApply_toldByThePageItself() {
        auto rig = rigOn(u"changes.html"_qs);
        rig->scan();
        change(u"document.styleSheets[0].insertRule('#tail { display: none }')"_qs);
        QElapsedTimer waited;
        waited.start();
        // The list of tabs may be asked again (a tab of an earlier test
        // announced late); the page is not.
        while (clicks().isEmpty() && waited.elapsed() < 45000) {
            const qint64 calls = rig->browser.stats().pageCalls;
            rig->scan();
            if (clicks().isEmpty())
                QCOMPARE(rig->browser.stats().pageCalls, calls);
            QTest::qWait(500);
        }
        QCOMPARE(clicks(), u"link:Go;"_qs);
    }

    void elementRemoved_neverPressedFromWhatWasReadBefore() {
        auto rig = rigOn(u"changes.html"_qs);
        change(u"room.innerHTML = '<a href=\"#\" onclick=\"note(\\'link:gone\\')\">Go</a>'"_qs);
        rig->scan();
        QCOMPARE(clicks(), u"link:gone;"_qs);
        change(u"room.replaceChildren()"_qs);
        rig->scan();
        QCOMPARE(clicks(), u"link:gone;"_qs);
    }

    void changeWhileAPassReads_seenByTheNextReadOnceThePageHasTold() {
        auto rig = rigOn(u"changes.html"_qs);
        auto windows = awaitOnLoop(rig->browser.createShellWindows());
        std::unique_ptr<BrowserWindow> window;
        while ((window = awaitOnLoop(windows->next())) &&
               !window->page().address.endsWith(u"changes.html")) {
        }
        QVERIFY(window);
        const std::unique_ptr<Document> document = awaitOnLoop(window->document());
        QVERIFY(document);
        const std::optional<int> links = awaitOnLoop(document->length(Collection::Links));
        QCOMPARE(links.value_or(-1), 4);
        const qint64 before = rig->browser.stats().waits;
        QCOMPARE(awaitOnLoop(document->outerText(Collection::Links, 0)), u"Wait"_qs);
        QCOMPARE(rig->browser.stats().waits, before); // from the block

        change(u"text.textContent = 'Changed'"_qs);
        QCOMPARE(awaitOnLoop(document->outerText(Collection::Links, 0)).value_or(u"none"_qs),
                 u"Changed"_qs);

        // A value set by script raises no event: the page, which looks for
        // one every second, tells of it; until then nothing is asked.
        QCOMPARE(awaitOnLoop(document->length(Collection::All)).has_value(), true);
        const qint64 quiet = rig->browser.stats().waits;
        QVERIFY(awaitOnLoop(document->length(Collection::All)));
        QCOMPARE(rig->browser.stats().waits, quiet);
        change(u"field.value = 'typed'"_qs, kValueWordMs);
        QVERIFY(awaitOnLoop(document->length(Collection::All)));
        const int field =
            m_chromium.evaluate(m_tab, u"[...document.all].indexOf(field)"_qs).toInt();
        QCOMPARE(awaitOnLoop(document->value(Collection::All, field)), u"typed"_qs);
    }

    void tabOpenedBetweenThePasses_walkedByTheButtonPass() {
        auto rig = rigOn(u"changes.html"_qs);
        rig->clickLinks();
        const QString other = m_chromium.openTab(pageUrl(u"changes.html"_qs));
        m_chromium.evaluate(other, u"field.value = 'Go'; 0"_qs);
        awaitOnLoop(rig->engine.PushButtons());
        QCOMPARE(m_chromium.evaluate(other, u"window.clicks"_qs), u"input:Go;"_qs);
    }

    void rulesChanged_walkedAgainOnAnUnchangedPage() {
        auto rig = rigOn(u"changes.html"_qs);
        rig->scan();
        rig->scan();
        QCOMPARE(clicks(), QString());
        rig->listClick.appendTicked(rule(u"Wait"_qs, u"Exact Match"_qs));
        rig->scan();
        // Two links read "Wait": the second hides the rest of its text.
        QCOMPARE(clicks(), u"link:Wait;link:Wait;"_qs);
        // Unticking and ticking again is a change too.
        rig->listClick.setTicked(1, false);
        rig->listClick.setTicked(1, true);
        rig->scan();
        QCOMPARE(clicks(), u"link:Wait;link:Wait;link:Wait;link:Wait;"_qs);
    }

    void navigationAndClosedTab_newPageWalkedAndTheOtherTabStillPressed() {
        auto rig = rigOn(u"changes.html"_qs);
        rig->scan();
        rig->scan();
        change(u"away.click()"_qs);
        QTRY_VERIFY(m_chromium.url(m_tab).endsWith(u"changes2.html"));
        rig->scan();
        QCOMPARE(clicks(), u"link:Go;"_qs);

        const QString other = m_chromium.openTab(pageUrl(u"changes2.html"_qs));
        rig->scan();
        QCOMPARE(m_chromium.evaluate(other, u"window.clicks"_qs), u"link:Go;"_qs);
        m_chromium.closeTab(m_tab);
        m_tab = other;
        rig->scan();
        QCOMPARE(clicks(), u"link:Go;link:Go;"_qs);
    }
};

QTEST_GUILESS_MAIN(TestDevToolsChanges)
#include "tst_devtoolschanges.moc"
