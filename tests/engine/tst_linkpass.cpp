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
    void cancelledDuringPause_pressesNothingMore();
    void eachPress_loggedWithWhatItLedTo_aRefusedOneNotAtAll();
};

void TestLinkPass::matchingLink_clickedOnceThenPaused() {
    ScanFixture f;
    auto page = std::make_shared<SimulatedPage>();
    page->addLink(u"Home"_qs);
    auto next = page->addLink(u"Next Page"_qs);
    f.browser.addWindow(page);
    f.listClick.appendTicked(rule(u"next"_qs, u"Starts With"_qs));

    runToEnd(f.engine.ClickLinks());

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

    runToEnd(f.engine.ClickLinks());

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

    runToEnd(f.engine.ClickLinks());

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

    runToEnd(f.engine.ClickLinks());

    QCOMPARE(atCap->clicks, 1);
    QCOMPARE(beyond->clicks, 0);
}

void TestLinkPass::emptyRuleList_oneYieldPerLink() {
    ScanFixture f;
    auto page = std::make_shared<SimulatedPage>();
    for (int i = 0; i < 7; ++i)
        page->addLink(u"x"_qs);
    f.browser.addWindow(page);

    runToEnd(f.engine.ClickLinks());

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
        if (go->clicks == 1 && f.yielder.sleeps == 3)
            f.browser.closeWindow(firstWindow);
    };

    runToEnd(f.engine.ClickLinks());

    QCOMPARE(go->clicks, 1);
    QCOMPARE(notReached->clicks, 0);
    QCOMPARE(other->clicks, 1);
}

// On the real event loop: the pass suspends in its pause, and destroying its
// task there (what Exit does) ends it for good.
void TestLinkPass::cancelledDuringPause_pressesNothingMore() {
    SimulatedBrowser browser;
    MemoryRuleList listClick;
    MemoryRuleList listPush;
    FakeClock clock; // never moves: the pause lasts until cancelled
    EventLoopYielder yielder;
    Pause pause(clock, yielder);
    ScanEngine engine(browser, listClick, listPush, yielder, pause);
    auto page = std::make_shared<SimulatedPage>();
    auto a = page->addLink(u"Go"_qs);
    auto b = page->addLink(u"Go"_qs);
    browser.addWindow(page);
    listClick.appendTicked(rule(u"Go"_qs, u"Exact Match"_qs));

    std::optional<Task<>> pass(engine.ClickLinks());
    bool finished = false;
    pass->start([&] { finished = true; });
    QTRY_COMPARE(a->clicks, 1);
    pass.reset();
    QTest::qWait(1500); // longer than one sleep of the pause

    QVERIFY(!finished);
    QCOMPARE(b->clicks, 0);
}

void TestLinkPass::eachPress_loggedWithWhatItLedTo_aRefusedOneNotAtAll() {
    const struct {
        PressOutcome outcome;
        QString logged; // "-": not logged
    } presses[] = {{PressOutcome::Pressed, {}},
                   {PressOutcome::OpenedTab, u"opened a tab"_qs},
                   {PressOutcome::OpenedDialog, u"opened a dialog"_qs},
                   {PressOutcome::Blocked, u"blocked"_qs},
                   {PressOutcome::Failed, u"-"_qs}};
    ScanFixture f;
    auto page = std::make_shared<SimulatedPage>();
    QStringList expected;
    for (const auto &press : presses) {
        page->addLink(u"Next %1"_qs.arg(page->links().size()))->outcome = press.outcome;
        if (press.logged != u"-")
            expected.append(press.logged);
    }
    f.browser.addWindow(page);
    f.listClick.appendTicked(rule(u"Next"_qs, u"Starts With"_qs));
    QStringList logged;
    f.engine.setPressObserver([&](const ActivityEntry &entry) { logged.append(entry.outcome); });

    runToEnd(f.engine.ClickLinks());

    QCOMPARE(logged, expected);
    QCOMPARE(f.callCount(u"click"_qs), int(std::size(presses)));
}

QTEST_GUILESS_MAIN(TestLinkPass)
#include "tst_linkpass.moc"
