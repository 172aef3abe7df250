#include "scanfixture.h"

#include <QTest>

using namespace pressbird;
using namespace pressbird::testing;

class TestButtonPass : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void matchingButton_clickedOnceThenPaused();
    void twoMatchingRules_twoClicksTwoPauses();
    void untickedRule_noClick();
    void everyInputType_isPushed_butButtonTagsNever();
    void emptyValue_testsNoRuleAndYieldsOnce();
    void elementBeyondCap_neverExamined();
    void clickRemovingElements_reReadsTheCount();
    void clickThatNavigates_endsThisWindowAndTakesTheNext();
    void ruleRemovedDuringYield_endsRuleLoopEarly();
    void ruleAddedDuringYield_takesPartAtOnce();
    void valueEmptiedDuringYield_isNotClicked();
};

void TestButtonPass::matchingButton_clickedOnceThenPaused() {
    ScanFixture f;
    auto page = std::make_shared<SimulatedPage>();
    page->addElement(u"DIV"_qs);
    auto button = page->addInput(u"Continue"_qs);
    auto after = page->addInput(u"Other"_qs);
    f.browser.addWindow(page);
    f.listPush.appendTicked(rule(u"Continue"_qs, u"Exact Match"_qs));

    runToEnd(f.engine.PushButtons());

    QCOMPARE(button->clicks, 1);
    QCOMPARE(after->clicks, 0);
    QVERIFY(f.pausedSeconds() >= 4.0 && f.pausedSeconds() <= 5.0);
    // The walk went on with the next element after the pause.
    QVERIFY(f.calls.indexOf(u"click(all,1)"_qs) < f.calls.indexOf(u"tagName(all,2)"_qs));
    QCOMPARE(f.callCount(u"length(all"_qs), 2); // before the walk, and after the click
}

void TestButtonPass::twoMatchingRules_twoClicksTwoPauses() {
    ScanFixture f;
    auto page = std::make_shared<SimulatedPage>();
    auto button = page->addInput(u"Continue"_qs);
    f.browser.addWindow(page);
    f.listPush.appendTicked(rule(u"Continue"_qs, u"Exact Match"_qs));
    f.listPush.appendTicked(rule(u"cont"_qs, u"Starts With"_qs));

    runToEnd(f.engine.PushButtons());

    QCOMPARE(button->clicks, 2);
    QVERIFY(f.pausedSeconds() >= 8.0 && f.pausedSeconds() <= 10.0);
}

void TestButtonPass::untickedRule_noClick() {
    ScanFixture f;
    auto page = std::make_shared<SimulatedPage>();
    auto button = page->addInput(u"Continue"_qs);
    f.browser.addWindow(page);
    f.listPush.append(rule(u"Continue"_qs, u"Exact Match"_qs));

    runToEnd(f.engine.PushButtons());

    QCOMPARE(button->clicks, 0);
    QCOMPARE(f.yielder.sleeps, 0);
}

void TestButtonPass::everyInputType_isPushed_butButtonTagsNever() {
    ScanFixture f;
    auto page = std::make_shared<SimulatedPage>();
    auto textBox = page->addInput(u"Go"_qs);
    auto lowerCaseTag = page->addInput(u"Go"_qs);
    lowerCaseTag->tagName = u"input"_qs;
    auto buttonTag = page->addElement(u"BUTTON"_qs);
    buttonTag->value = u"Go"_qs;
    f.browser.addWindow(page);
    f.listPush.appendTicked(rule(u"Go"_qs, u"Exact Match"_qs));

    runToEnd(f.engine.PushButtons());

    QCOMPARE(textBox->clicks, 1);
    QCOMPARE(lowerCaseTag->clicks, 1);
    QCOMPARE(buttonTag->clicks, 0);
}

void TestButtonPass::emptyValue_testsNoRuleAndYieldsOnce() {
    ScanFixture f;
    auto page = std::make_shared<SimulatedPage>();
    auto empty = page->addInput(QString());
    f.browser.addWindow(page);
    for (int i = 0; i < 3; ++i)
        f.listPush.appendTicked(rule(u" "_qs, u"Contains"_qs)); // would match any text

    runToEnd(f.engine.PushButtons());

    QCOMPARE(empty->clicks, 0);
    QCOMPARE(f.yielder.yields, 1); // the one before the element, none for its rules
    QCOMPARE(f.callCount(u"value"_qs), 3);
}

void TestButtonPass::elementBeyondCap_neverExamined() {
    ScanFixture f;
    auto page = std::make_shared<SimulatedPage>();
    SimulatedElementPtr atCap, beyond;
    for (int i = 0; i < 15000; ++i) {
        if (i == ScanEngine::kMaxElementIndex)
            atCap = page->addInput(u"Go"_qs);
        else if (i == 12000)
            beyond = page->addInput(u"Go"_qs);
        else
            page->addElement(u"P"_qs);
    }
    f.browser.addWindow(page);
    f.listPush.appendTicked(rule(u"Go"_qs, u"Exact Match"_qs));

    runToEnd(f.engine.PushButtons());

    QCOMPARE(atCap->clicks, 1);
    QCOMPARE(beyond->clicks, 0);
    QCOMPARE(f.callCount(u"tagName"_qs), ScanEngine::kMaxElementIndex + 1);
}

void TestButtonPass::clickRemovingElements_reReadsTheCount() {
    ScanFixture f;
    auto page = std::make_shared<SimulatedPage>();
    auto first = page->addInput(u"Go"_qs);
    auto second = page->addInput(u"Go"_qs);
    auto third = page->addInput(u"Go"_qs);
    first->onClick = [&](SimulatedBrowser &, SimulatedWindow &) {
        page->removeElement(second);
        page->removeElement(third);
    };
    f.browser.addWindow(page);
    f.listPush.appendTicked(rule(u"Go"_qs, u"Exact Match"_qs));

    runToEnd(f.engine.PushButtons());

    QCOMPARE(first->clicks, 1);
    QCOMPARE(second->clicks + third->clicks, 0);
    QVERIFY(!f.calls.contains(u"tagName(all,1)"_qs));
}

void TestButtonPass::clickThatNavigates_endsThisWindowAndTakesTheNext() {
    ScanFixture f;
    auto next = std::make_shared<SimulatedPage>();
    auto onNewPage = next->addInput(u"Go"_qs);
    auto page = std::make_shared<SimulatedPage>();
    auto go = page->addInput(u"Go"_qs);
    auto stale = page->addInput(u"Go"_qs);
    go->onClick = [&](SimulatedBrowser &, SimulatedWindow &window) {
        SimulatedBrowser::navigate(window, next);
    };
    f.browser.addWindow(page);
    auto secondPage = std::make_shared<SimulatedPage>();
    auto inSecondWindow = secondPage->addInput(u"Go"_qs);
    f.browser.addWindow(secondPage);
    f.listPush.appendTicked(rule(u"Go"_qs, u"Exact Match"_qs));

    runToEnd(f.engine.PushButtons());
    QCOMPARE(go->clicks, 1);
    QCOMPARE(stale->clicks, 0);
    QCOMPARE(onNewPage->clicks, 0); // the old document is not re-read in this pass
    QCOMPARE(inSecondWindow->clicks, 1);

    runToEnd(f.engine.PushButtons());
    QCOMPARE(onNewPage->clicks, 1); // the next pass walks the new page
}

void TestButtonPass::ruleRemovedDuringYield_endsRuleLoopEarly() {
    ScanFixture f;
    auto page = std::make_shared<SimulatedPage>();
    auto button = page->addInput(u"Go"_qs);
    f.browser.addWindow(page);
    f.listPush.appendTicked(rule(u"nothing"_qs, u"Exact Match"_qs));
    f.listPush.appendTicked(rule(u"Go"_qs, u"Exact Match"_qs));
    f.yielder.onYield = [&] {
        if (f.yielder.yields == 2) // the yield before the first rule's test
            f.listPush.remove(1);
    };

    runToEnd(f.engine.PushButtons());

    QCOMPARE(button->clicks, 0);
    QCOMPARE(f.callCount(u"value"_qs), 2); // first read and re-read for rule 0 only
}

void TestButtonPass::ruleAddedDuringYield_takesPartAtOnce() {
    ScanFixture f;
    auto page = std::make_shared<SimulatedPage>();
    auto button = page->addInput(u"Go"_qs);
    f.browser.addWindow(page);
    f.listPush.appendTicked(rule(u"nothing"_qs, u"Exact Match"_qs));
    f.yielder.onYield = [&] {
        if (f.yielder.yields == 2)
            f.listPush.appendTicked(rule(u"Go"_qs, u"Exact Match"_qs));
    };

    runToEnd(f.engine.PushButtons());

    QCOMPARE(button->clicks, 1);
}

void TestButtonPass::valueEmptiedDuringYield_isNotClicked() {
    ScanFixture f;
    auto page = std::make_shared<SimulatedPage>();
    auto box = page->addInput(u"typed"_qs);
    f.browser.addWindow(page);
    f.listPush.appendTicked(rule(u" "_qs, u"Contains"_qs));
    f.yielder.onYield = [&] { box->value.clear(); };

    runToEnd(f.engine.PushButtons());

    QCOMPARE(box->clicks, 0);
}

QTEST_APPLESS_MAIN(TestButtonPass)
#include "tst_buttonpass.moc"
