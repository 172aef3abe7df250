#include "scanfixture.h"

#include <QTest>

using namespace pressbird;
using namespace pressbird::testing;

class TestLinkPass : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void matchingLink_clickedOnceThenPaused();
    void linkMatchingTwoRules_clickedTwice();
    void emptyLinkText_neverClicked_butYieldsPerRule();
    void linkBeyondCap_neverClicked();
    void emptyRuleList_oneYieldPerLink();
    void windowClosedDuringPause_nextWindowWalked();
    void stopRequestedDuringPause_passReturns();
};

void TestLinkPass::matchingLink_clickedOnceThenPaused() {
    ScanFixture f;
    auto page = std::make_shared<SimulatedPage>();
    page->addLink(u"Home"_qs);
    auto next = page->addLink(u"Next Page"_qs);
    f.browser.addWindow(page);
    f.listClick.appendTicked(rule(u"next"_qs, u"Starts With"_qs));

    f.engine.ClickLinks();

    QCOMPARE(next->clicks, 1);
    QVERIFY(f.pausedSeconds() >= 4.0 && f.pausedSeconds() <= 5.0);
    QCOMPARE(f.callCount(u"length(links"_qs), 2);
    QCOMPARE(f.callCount(u"length(all"_qs), 0);
}

void TestLinkPass::linkMatchingTwoRules_clickedTwice() {
    ScanFixture f;
    auto page = std::make_shared<SimulatedPage>();
    auto login = page->addLink(u"Please Log In here"_qs);
    f.browser.addWindow(page);
    f.listClick.appendTicked(rule(u"log in"_qs, u"Contains "_qs));
    f.listClick.append(rule(u"please"_qs, u"Starts With"_qs)); // unticked
    f.listClick.appendTicked(rule(u"here"_qs, u"Ends With"_qs));

    f.engine.ClickLinks();

    QCOMPARE(login->clicks, 2);
    QVERIFY(f.pausedSeconds() >= 8.0 && f.pausedSeconds() <= 10.0);
}

void TestLinkPass::emptyLinkText_neverClicked_butYieldsPerRule() {
    ScanFixture f;
    auto page = std::make_shared<SimulatedPage>();
    auto image = page->addLink(QString());
    f.browser.addWindow(page);
    for (int i = 0; i < 3; ++i)
        f.listClick.appendTicked(rule(u"   "_qs, u"Contains"_qs));

    f.engine.ClickLinks();

    QCOMPARE(image->clicks, 0);
    QCOMPARE(f.yielder.yields, 1 + 3);
}

void TestLinkPass::linkBeyondCap_neverClicked() {
    ScanFixture f;
    auto page = std::make_shared<SimulatedPage>();
    SimulatedElementPtr atCap, beyond;
    for (int i = 0; i < 1500; ++i) {
        auto link = page->addLink(u"link %1"_qs.arg(i));
        if (i == ScanEngine::kMaxLinkIndex)
            atCap = link;
        if (i == 1200)
            beyond = link;
    }
    atCap->outerText = u"target"_qs;
    beyond->outerText = u"target"_qs;
    f.browser.addWindow(page);
    f.listClick.appendTicked(rule(u"target"_qs, u"Exact Match"_qs));

    f.engine.ClickLinks();

    QCOMPARE(atCap->clicks, 1);
    QCOMPARE(beyond->clicks, 0);
}

void TestLinkPass::emptyRuleList_oneYieldPerLink() {
    ScanFixture f;
    auto page = std::make_shared<SimulatedPage>();
    for (int i = 0; i < 7; ++i)
        page->addLink(u"x"_qs);
    f.browser.addWindow(page);

    f.engine.ClickLinks();

    QCOMPARE(f.yielder.yields, 7);
    QCOMPARE(f.callCount(u"outerText"_qs), 0);
}

void TestLinkPass::windowClosedDuringPause_nextWindowWalked() {
    ScanFixture f;
    auto first = std::make_shared<SimulatedPage>();
    auto go = first->addLink(u"Go"_qs);
    auto notReached = first->addLink(u"Go"_qs);
    auto firstWindow = f.browser.addWindow(first);
    auto second = std::make_shared<SimulatedPage>();
    auto other = second->addLink(u"Go"_qs);
    f.browser.addWindow(second);
    f.listClick.appendTicked(rule(u"Go"_qs, u"Exact Match"_qs));
    f.yielder.onYield = [&] {
        if (go->clicks == 1 && f.yielder.idleYields == 3)
            f.browser.closeWindow(firstWindow);
    };

    f.engine.ClickLinks();

    QCOMPARE(go->clicks, 1);
    QCOMPARE(notReached->clicks, 0);
    QCOMPARE(other->clicks, 1);
}

void TestLinkPass::stopRequestedDuringPause_passReturns() {
    ScanFixture f;
    auto page = std::make_shared<SimulatedPage>();
    auto a = page->addLink(u"Go"_qs);
    auto b = page->addLink(u"Go"_qs);
    f.browser.addWindow(page);
    f.browser.addWindow(page);
    f.listClick.appendTicked(rule(u"Go"_qs, u"Exact Match"_qs));
    f.yielder.onYield = [&] {
        if (f.yielder.idleYields == 1)
            f.engine.setStopRequested(true);
    };

    f.engine.ClickLinks();
    f.engine.PushButtons();

    QCOMPARE(a->clicks, 1);
    QCOMPARE(b->clicks, 0);
    QVERIFY(f.pausedSeconds() < 4.0);
    QCOMPARE(f.callCount(u"length(all"_qs), 0);
}

QTEST_APPLESS_MAIN(TestLinkPass)
#include "tst_linkpass.moc"
