// The page may leave out what the ticked rules cannot match, and the engine
// takes its word only while the rules stand as they were when it asked.

#include "scanfixture.h"
#include "textfilter.h"

#include <QTest>

using namespace pressbird;
using namespace pressbird::testing;

class TestTextFilter : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void filterOf_onlyTickedRulesThatCanMatchAnAsciiText_noneWhenTooLong() {
        MemoryRuleList rules;
        rules.appendTicked(rule(u"  next "_qs, u"Starts With"_qs));
        rules.append(rule(u"unticked"_qs, u"Contains"_qs));
        rules.appendTicked(u"no kind"_qs);
        rules.appendTicked(rule(u"café"_qs, u"Contains"_qs));
        // Lowered, then upper-cased: the Kelvin sign becomes an ASCII K.
        rules.appendTicked(rule(u"\u212Aey"_qs, u"exact match"_qs));

        const auto filter = TextFilter::of(rules, TextFilter::Field::OuterText);
        QVERIFY(filter);
        QCOMPARE(filter->rules.size(), 2);
        QCOMPARE(filter->rules.at(0).kind, ParsedRule::Kind::StartsWith);
        QCOMPARE(filter->rules.at(0).pattern, u"NEXT"_qs);
        QCOMPARE(filter->rules.at(1).kind, ParsedRule::Kind::ExactMatch);
        QCOMPARE(filter->rules.at(1).pattern, u"KEY"_qs);

        rules.appendTicked(rule(QString(TextFilter::kMaxPatternChars, u'x'), u"Contains"_qs));
        QVERIFY(!TextFilter::of(rules, TextFilter::Field::OuterText));
    }

    void pageLeavesOutWhatCannotMatch_onlyTheRestIsRead() {
        ScanFixture f;
        auto page = std::make_shared<SimulatedPage>();
        page->testsFilters = true;
        page->addLink(u"Home"_qs);
        auto next = page->addLink(u"Next Page"_qs);
        page->addElement(u"DIV"_qs, u"Go"_qs);
        page->addInput(u"Stop"_qs);
        auto go = page->addInput(u"Go"_qs);
        f.browser.addWindow(page);
        f.listClick.appendTicked(rule(u"next"_qs, u"Starts With"_qs));
        f.listPush.appendTicked(rule(u"go"_qs, u"Exact Match"_qs));

        runToEnd(f.engine.ClickLinks());
        runToEnd(f.engine.PushButtons());

        QCOMPARE(next->clicks, 1);
        QCOMPARE(go->clicks, 1);
        QCOMPARE(f.callCount(u"outerText(links,0"_qs), 0);
        QVERIFY(f.callCount(u"outerText(links,1"_qs) > 0);
        for (int index = 0; index < 4; ++index)
            QCOMPARE(f.callCount(u"tagName(all,%1)"_qs.arg(index)), 0);
        QCOMPARE(f.callCount(u"value(all,3"_qs), 0);
        QVERIFY(f.callCount(u"value(all,4"_qs) > 0);
    }

    void rulesChangedWhileThePassYields_textsReadAndTestedAgain() {
        ScanFixture f;
        auto page = std::make_shared<SimulatedPage>();
        page->testsFilters = true;
        auto first = page->addLink(u"Wait"_qs);
        auto second = page->addLink(u"Wait"_qs);
        auto input = page->addInput(u"Wait"_qs);
        f.browser.addWindow(page);
        f.listClick.appendTicked(rule(u"Go"_qs, u"Exact Match"_qs));
        f.listPush.appendTicked(rule(u"Go"_qs, u"Exact Match"_qs));
        // Ticked at the first yield of each pass, after the filter was sent
        // without it.
        bool linkRuleAdded = false;
        bool pushRuleAdded = false;
        f.yielder.onYield = [&] {
            if (!linkRuleAdded) {
                linkRuleAdded = true;
                f.listClick.appendTicked(rule(u"wait"_qs, u"Contains"_qs));
            } else if (!pushRuleAdded && f.callCount(u"length(all"_qs) > 0) {
                pushRuleAdded = true;
                f.listPush.appendTicked(rule(u"wait"_qs, u"Contains"_qs));
            }
        };

        runToEnd(f.engine.ClickLinks());
        runToEnd(f.engine.PushButtons());

        QCOMPARE(first->clicks, 1);
        QCOMPARE(second->clicks, 1);
        QCOMPARE(input->clicks, 1);
    }
};

QTEST_GUILESS_MAIN(TestTextFilter)
#include "tst_textfilter.moc"
