#include "scanfixture.h"

#include <QTest>

using namespace pressbird;
using namespace pressbird::testing;

Q_DECLARE_METATYPE(pressbird::SimulatedCall)

class TestWindowWalk : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void noWindows_touchesNoDocument();
    void otherWindowNames_areSkipped();
    void twoWindows_walkedInOrder_linksThenButtons();
    void windowWithoutPage_contributesNothing();
    void failingCall_isAbsorbed_data();
    void failingCall_isAbsorbed();
    void enumerationFailingMidway_endsThePass();
    void eachWalk_takesAFreshWindowCollection();
    void windowsThatReadAhead_firstReadsAskedTogetherBeforeTheWalk_data();
    void windowsThatReadAhead_firstReadsAskedTogetherBeforeTheWalk();
};

void TestWindowWalk::noWindows_touchesNoDocument() {
    ScanFixture f;
    runToEnd(f.engine.ClickLinks());
    runToEnd(f.engine.PushButtons());
    QCOMPARE(f.calls, (QStringList{u"create"_qs, u"count"_qs, u"create"_qs, u"count"_qs}));
}

void TestWindowWalk::otherWindowNames_areSkipped() {
    ScanFixture f;
    auto page = std::make_shared<SimulatedPage>();
    auto link = page->addLink(u"Go"_qs);
    f.browser.addWindow(page, u"microsoft internet explorer"_qs);
    f.browser.addWindow(page, u"File Explorer"_qs);
    f.browser.addWindow(page, u"Microsoft Internet Explorer "_qs);
    f.listClick.appendTicked(rule(u"Go"_qs, u"Exact Match"_qs));

    runToEnd(f.engine.ClickLinks());

    QCOMPARE(link->clicks, 0);
    QCOMPARE(f.callCount(u"document"_qs), 0);
}

void TestWindowWalk::twoWindows_walkedInOrder_linksThenButtons() {
    ScanFixture f;
    auto first = std::make_shared<SimulatedPage>();
    first->addLink(u"a"_qs);
    auto second = std::make_shared<SimulatedPage>();
    second->addLink(u"b"_qs);
    second->addLink(u"c"_qs);
    f.browser.addWindow(first);
    f.browser.addWindow(second);

    runToEnd(f.engine.ClickLinks());
    runToEnd(f.engine.PushButtons());

    const QStringList lengths = f.calls.filter(u"length"_qs);
    QCOMPARE(lengths, (QStringList{u"length(links)"_qs, u"length(links)"_qs, u"length(all)"_qs,
                                   u"length(all)"_qs}));
    QCOMPARE(f.callCount(u"tagName"_qs), 1 + 2); // every element of both pages
}

void TestWindowWalk::windowWithoutPage_contributesNothing() {
    ScanFixture f;
    f.browser.addWindow(nullptr);
    auto page = std::make_shared<SimulatedPage>();
    auto link = page->addLink(u"Go"_qs);
    f.browser.addWindow(page);
    f.listClick.appendTicked(rule(u"Go"_qs, u"Exact Match"_qs));

    runToEnd(f.engine.ClickLinks());

    QCOMPARE(link->clicks, 1);
}

void TestWindowWalk::failingCall_isAbsorbed_data() {
    QTest::addColumn<SimulatedCall>("failing");
    QTest::addColumn<int>("linkClicks");
    QTest::addColumn<int>("buttonClicks");
    QTest::addColumn<bool>("paused");

    QTest::newRow("create") << SimulatedCall::CreateShellWindows << 0 << 0 << false;
    QTest::newRow("count") << SimulatedCall::Count << 0 << 0 << false;
    QTest::newRow("next") << SimulatedCall::Next << 0 << 0 << false;
    QTest::newRow("name") << SimulatedCall::Name << 0 << 0 << false;
    QTest::newRow("document") << SimulatedCall::Document << 0 << 0 << false;
    QTest::newRow("length") << SimulatedCall::Length << 0 << 0 << false;
    QTest::newRow("tagName") << SimulatedCall::TagName << 1 << 0 << true;
    QTest::newRow("value") << SimulatedCall::Value << 1 << 0 << true;
    QTest::newRow("outerText") << SimulatedCall::OuterText << 0 << 1 << true;
    // A failed click still pauses and re-reads the count.
    QTest::newRow("click") << SimulatedCall::Click << 0 << 0 << true;
}

void TestWindowWalk::failingCall_isAbsorbed() {
    QFETCH(SimulatedCall, failing);
    QFETCH(int, linkClicks);
    QFETCH(int, buttonClicks);
    QFETCH(bool, paused);

    ScanFixture f;
    auto page = std::make_shared<SimulatedPage>();
    auto link = page->addLink(u"Go"_qs);
    auto button = page->addInput(u"Go"_qs);
    f.browser.addWindow(page);
    f.listClick.appendTicked(rule(u"Go"_qs, u"Exact Match"_qs));
    f.listPush.appendTicked(rule(u"Go"_qs, u"Exact Match"_qs));
    f.browser.failWhen = [&](const SimulatedCallInfo &info) { return info.call == failing; };

    runToEnd(f.engine.ClickLinks());
    runToEnd(f.engine.PushButtons());

    QCOMPARE(link->clicks, linkClicks);
    QCOMPARE(button->clicks, buttonClicks);
    QCOMPARE(f.yielder.sleeps > 0, paused);
    if (failing == SimulatedCall::Click)
        QCOMPARE(f.callCount(u"length"_qs), 4);
}

void TestWindowWalk::enumerationFailingMidway_endsThePass() {
    ScanFixture f;
    auto page = std::make_shared<SimulatedPage>();
    auto link = page->addLink(u"Go"_qs);
    f.browser.addWindow(page);
    f.browser.addWindow(page);
    f.browser.addWindow(page);
    f.listClick.appendTicked(rule(u"Go"_qs, u"Exact Match"_qs));
    int nexts = 0;
    f.browser.failWhen = [&](const SimulatedCallInfo &info) {
        return info.call == SimulatedCall::Next && ++nexts == 2;
    };

    runToEnd(f.engine.ClickLinks());

    QCOMPARE(link->clicks, 1);
}

void TestWindowWalk::eachWalk_takesAFreshWindowCollection() {
    ScanFixture f;
    runToEnd(f.engine.ClickLinks());
    auto page = std::make_shared<SimulatedPage>();
    auto link = page->addLink(u"Go"_qs);
    f.browser.addWindow(page); // a window opened between two walks
    f.listClick.appendTicked(rule(u"Go"_qs, u"Exact Match"_qs));

    runToEnd(f.engine.ClickLinks());

    QCOMPARE(link->clicks, 1);
}

void TestWindowWalk::windowsThatReadAhead_firstReadsAskedTogetherBeforeTheWalk_data() {
    QTest::addColumn<QList<bool>>("readsAhead");
    QTest::addColumn<int>("askedTogether");
    QTest::newRow("two") << QList<bool>{true, true} << 2;
    QTest::newRow("three") << QList<bool>{true, true, true} << 3;
    QTest::newRow("one of two") << QList<bool>{true, false} << 1;
    QTest::newRow("the other of two") << QList<bool>{false, true} << 1;
    QTest::newRow("none") << QList<bool>{false, false} << 1;
}

// A browser that keeps its reads has every window's first read asked at once,
// before the walk reads them one by one (one window alone is not read ahead);
// the walk then presses as ever.
void TestWindowWalk::windowsThatReadAhead_firstReadsAskedTogetherBeforeTheWalk() {
    QFETCH(QList<bool>, readsAhead);
    QFETCH(int, askedTogether);
    ScanFixture f;
    QList<SimulatedElementPtr> links;
    for (const bool ahead : std::as_const(readsAhead)) {
        auto page = std::make_shared<SimulatedPage>();
        links.append(page->addLink(u"Go"_qs));
        f.browser.addWindow(page)->readsAhead = ahead;
    }
    f.listClick.appendTicked(rule(u"Go"_qs, u"Exact Match"_qs));
    QCOMPARE(f.lengthsAskedTogether(f.engine.ClickLinks()), askedTogether);
    // Each window's walk reads its length at its start and after its press.
    const int readAhead = askedTogether > 1 ? askedTogether : 0;
    QCOMPARE(f.callCount(u"length(links)"_qs), 2 * int(readsAhead.size()) + readAhead);
    for (const SimulatedElementPtr &link : std::as_const(links))
        QCOMPARE(link->clicks, 1);
}

QTEST_GUILESS_MAIN(TestWindowWalk)
#include "tst_windowwalk.moc"
