// A pass that walked a document to its end and matched nothing is left out
// while the document and the rules are as they were, and only then.

#include "scanfixture.h"

#include <QTest>

using namespace pressbird;
using namespace pressbird::testing;

class TestIdleWalk : public QObject {
    Q_OBJECT

    struct Rig {
        ScanFixture f;
        SimulatedPagePtr page = std::make_shared<SimulatedPage>();
        SimulatedElementPtr link = page->addLink(u"Wait"_qs);
        SimulatedElementPtr input = page->addInput(u"Wait"_qs);
        Rig() {
            page->generation = 1;
            f.browser.addWindow(page);
            f.listClick.appendTicked(rule(u"Go"_qs, u"Exact Match"_qs));
            f.listPush.appendTicked(rule(u"Go"_qs, u"Exact Match"_qs));
        }
        // Element reads of one scan.
        int scanReads() {
            f.calls.clear();
            runToEnd(f.engine.ClickLinks());
            runToEnd(f.engine.PushButtons());
            return f.callCount(u"tagName"_qs) + f.callCount(u"value"_qs) +
                   f.callCount(u"outerText"_qs);
        }
    };

private Q_SLOTS:
    void unchangedPageAndRules_leftOut_anyChangeWalksAgain() {
        Rig rig;
        QVERIFY(rig.scanReads() > 0);
        QCOMPARE(rig.scanReads(), 0);
        QCOMPARE(rig.f.callCount(u"length"_qs), 2); // each pass still asks the page

        rig.page->generation = 2;
        QVERIFY(rig.scanReads() > 0);
        QCOMPARE(rig.scanReads(), 0);
        rig.f.listPush.appendTicked(rule(u"Other"_qs, u"Exact Match"_qs));
        QVERIFY(rig.scanReads() > 0);
        rig.f.listClick.setTicked(0, false);
        rig.f.listClick.setTicked(0, true);
        QVERIFY(rig.scanReads() > 0);
        QCOMPARE(rig.scanReads(), 0);
        rig.page->generation.reset(); // a backend that cannot tell
        QVERIFY(rig.scanReads() > 0);
        QVERIFY(rig.scanReads() > 0);
    }

    // The same page and rules under other page options read other elements:
    // what was decided under the old ones is no promise.
    void otherPageOptions_walkAgain() {
        Rig rig;
        QVERIFY(rig.scanReads() > 0);
        QCOMPARE(rig.scanReads(), 0);
        for (const PageOptions options :
             {PageOptions{true, false}, PageOptions{true, true}, PageOptions{false, true}}) {
            rig.f.engine.setPageOptions(options);
            QVERIFY(rig.scanReads() > 0);
            QCOMPARE(rig.scanReads(), 0);
        }
    }

    void matchOnAnUnchangedPage_pressedAtEveryScan() {
        Rig rig;
        rig.link->outerText = u"Go"_qs;
        rig.input->value = u"Go"_qs;
        for (int scan = 1; scan <= 3; ++scan) {
            rig.scanReads();
            QCOMPARE(rig.link->clicks, scan);
            QCOMPARE(rig.input->clicks, scan);
        }
    }

    void rulesChangedDuringThePass_notLeftOutNextTime() {
        Rig rig;
        // Ticked while the link pass yields; unticked again before it ends:
        // part of the walk saw another list.
        int yields = 0;
        rig.f.yielder.onYield = [&] {
            if (++yields == 1)
                rig.f.listClick.appendTicked(rule(u"Wait"_qs, u"Exact Match"_qs));
            else if (yields == 2)
                rig.f.listClick.remove(1);
        };
        rig.scanReads();
        rig.f.yielder.onYield = nullptr;
        QVERIFY(rig.scanReads() > 0);
    }

    void ruleListReplacedByAnotherOfAsManyEdits_walkedAgain() {
        Rig rig;
        rig.scanReads();
        QCOMPARE(rig.scanReads(), 0);
        rig.f.listClick = MemoryRuleList();
        rig.f.listClick.appendTicked(rule(u"Wait"_qs, u"Exact Match"_qs));
        rig.scanReads();
        QCOMPARE(rig.link->clicks, 1);
    }

    void closedWindow_forgotten() {
        Rig rig;
        rig.scanReads();
        const SimulatedWindowPtr window = rig.f.browser.windows().constFirst();
        rig.f.browser.closeWindow(window);
        QCOMPARE(rig.scanReads(), 0);
        // The same page shown again is a new reading: walked.
        rig.f.browser.addWindow(rig.page);
        QVERIFY(rig.scanReads() > 0);
    }
};

QTEST_GUILESS_MAIN(TestIdleWalk)
#include "tst_idlewalk.moc"
