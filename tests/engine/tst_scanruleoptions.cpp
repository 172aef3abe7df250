// A rule's options as the scan keeps them: it presses only on its sites, no
// more often than its limits allow, and a press held back is neither made
// nor told; a rule without options presses as it always did.

#include "memorysettingsstore.h"
#include "presslimits.h"
#include "ruleoptionsbook.h"
#include "scanfixture.h"
#include "settings.h"

#include <QTest>

using namespace pressbird;
using namespace pressbird::testing;

class TestScanRuleOptions : public QObject {
    Q_OBJECT

    struct Rig {
        MemorySettingsStore store;
        Settings settings{store};
        RuleOptionsBook book{settings};
        qint64 nowMs = PressLimits::kHourMs;
        PressLimits limits{[this] { return nowMs; }};
        ScanFixture f;
        SimulatedPagePtr page = std::make_shared<SimulatedPage>();
        SimulatedElementPtr link = page->addLink(u"Next"_qs);
        SimulatedElementPtr input = page->addInput(u"Next"_qs);
        SimulatedWindowPtr window;
        QList<ActivityEntry> told;
        const QString entry = rule(u"Next"_qs, u"Exact Match"_qs);

        explicit Rig(const QString &address = u"https://example.com/watch?v=1"_qs) {
            window = f.browser.addWindow(page);
            window->info.address = address;
            f.listClick.appendTicked(entry);
            f.listPush.appendTicked(entry);
            f.engine.setRuleOptions(&book, &limits);
            f.engine.setPressObserver([this](const ActivityEntry &e) { told.append(e); });
        }
        void setBoth(const RuleOptions &options) {
            QVERIFY(book.set(ruleKeyOf(true, entry), options));
            QVERIFY(book.set(ruleKeyOf(false, entry), options));
        }
        void scan() {
            runToEnd(f.engine.ClickLinks());
            runToEnd(f.engine.PushButtons());
        }
    };

    static RuleOptions onSites(const QString &sites) {
        RuleOptions options;
        options.sites = std::get<QList<SitePattern>>(parseSites(sites));
        return options;
    }

private Q_SLOTS:
    void sites_pressOnlyOnTheirPages_data() {
        QTest::addColumn<QString>("sites");
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("pressed");
        const QString page = u"https://www.example.com/watch/123"_qs;
        QTest::newRow("everywhere") << QString() << page << true;
        QTest::newRow("host") << u"www.example.com"_qs << page << true;
        QTest::newRow("other host") << u"example.org"_qs << page << false;
        QTest::newRow("parent host, no wildcard") << u"example.com"_qs << page << false;
        QTest::newRow("wildcard") << u"*.example.com"_qs << page << true;
        QTest::newRow("wildcard, the host itself")
            << u"*.example.com"_qs << u"https://example.com/"_qs << true;
        QTest::newRow("wildcard, a look-alike")
            << u"*.example.com"_qs << u"https://badexample.com/"_qs << false;
        QTest::newRow("path prefix") << u"www.example.com/watch"_qs << page << true;
        QTest::newRow("other path") << u"www.example.com/shop"_qs << page << false;
        QTest::newRow("path prefix stops at a segment")
            << u"www.example.com/wat"_qs << page << false;
        QTest::newRow("port") << u"localhost:8080"_qs << u"http://localhost:8080/a"_qs << true;
        QTest::newRow("other port")
            << u"localhost:8080"_qs << u"http://localhost:9090/a"_qs << false;
        QTest::newRow("one of several") << u"a.org, www.example.com"_qs << page << true;
        QTest::newRow("case") << u"WWW.Example.COM"_qs << page << true;
        QTest::newRow("not a web page") << u"example.com"_qs << u"about:blank"_qs << false;
        QTest::newRow("host in the query only")
            << u"example.com"_qs << u"https://evil.org/?example.com"_qs << false;
    }
    void sites_pressOnlyOnTheirPages() {
        QFETCH(QString, sites);
        QFETCH(QString, address);
        QFETCH(bool, pressed);
        Rig rig(address);
        rig.setBoth(onSites(sites));
        rig.scan();
        QCOMPARE(rig.link->clicks, pressed ? 1 : 0);
        QCOMPARE(rig.input->clicks, pressed ? 1 : 0);
        QCOMPARE(rig.told.size(), pressed ? 2 : 0);
    }

    // A limit counts each list's presses on one load; a reload starts again.
    void perLoadLimit_pressesThatOften_thenAgainAfterAReload() {
        Rig rig;
        RuleOptions options;
        options.perLoad = 2;
        rig.setBoth(options);
        for (int scan = 0; scan < 4; ++scan)
            rig.scan();
        QCOMPARE(rig.link->clicks, 2);
        QCOMPARE(rig.input->clicks, 2);
        QCOMPARE(rig.told.size(), 4); // held back is not logged
        rig.page->reloads++;
        for (int scan = 0; scan < 3; ++scan)
            rig.scan();
        QCOMPARE(rig.link->clicks, 4);
        QCOMPARE(rig.input->clicks, 4);
    }

    // An hour's limit spans loads and tabs, and frees up as the hour moves on.
    void perHourLimit_spansLoads_andFreesUpAsTheHourGoesBy() {
        Rig rig;
        SimulatedPagePtr other = std::make_shared<SimulatedPage>();
        SimulatedElementPtr otherLink = other->addLink(u"Next"_qs);
        rig.f.browser.addWindow(other)->info.address = u"https://example.org/"_qs;
        RuleOptions options;
        options.perHour = 3;
        QVERIFY(rig.book.set(ruleKeyOf(true, rig.entry), options));
        for (int scan = 0; scan < 3; ++scan) {
            rig.page->reloads++;
            rig.nowMs += 60 * 1000;
            rig.scan();
        }
        QCOMPARE(rig.link->clicks + otherLink->clicks, 3);
        QCOMPARE(rig.input->clicks, 3); // the other list's rule has no limit

        // The first scan's two presses (one per tab) are an hour old now.
        rig.nowMs += PressLimits::kHourMs - 2 * 60 * 1000;
        rig.scan();
        QCOMPARE(rig.link->clicks + otherLink->clicks, 5);
        rig.scan();
        QCOMPARE(rig.link->clicks + otherLink->clicks, 5);
    }

    // The preview lists a held-back match and says why; it presses nothing
    // and counts nothing, so the scan after it presses as it would have.
    void preview_marksHeldBack_andCountsNothing() {
        Rig rig;
        RuleOptions options;
        options.perLoad = 1;
        rig.setBoth(options);
        const QList<ActivityEntry> before = runToEnd(rig.f.engine.Preview());
        QCOMPARE(before.size(), 2);
        for (const ActivityEntry &match : before)
            QCOMPARE(match.outcome, QString());
        rig.scan();
        QCOMPARE(rig.link->clicks, 1);
        const QList<ActivityEntry> after = runToEnd(rig.f.engine.Preview());
        QCOMPARE(after.size(), 2);
        for (const ActivityEntry &match : after)
            QCOMPARE(match.outcome, u"held back: 1 per load"_qs);
        QCOMPARE(rig.link->clicks, 1);
    }

    // A walk that matched nothing here is left out while nothing changed;
    // new options are a change, so the rule presses at the next scan.
    void changedOptions_walkAnUnchangedPageAgain() {
        Rig rig(u"https://example.com/"_qs);
        rig.page->generation = 1;
        rig.setBoth(onSites(u"example.org"_qs));
        rig.scan();
        rig.scan();
        QCOMPARE(rig.link->clicks, 0);
        rig.setBoth(onSites(u"example.org, example.com"_qs));
        rig.scan();
        QCOMPARE(rig.link->clicks, 1);
        QCOMPARE(rig.input->clicks, 1);
    }

    // Options name a rule by its line: another rule of the same text in the
    // other list, or with another match kind, is not bound by them.
    void options_bindOnlyTheirOwnRule() {
        Rig rig(u"https://example.com/"_qs);
        QVERIFY(rig.book.set(ruleKeyOf(true, rig.entry), onSites(u"example.org"_qs)));
        QVERIFY(rig.book.set(ruleKeyOf(true, rule(u"Next"_qs, u"Contains"_qs)),
                             onSites(u"example.org"_qs)));
        rig.scan();
        QCOMPARE(rig.link->clicks, 0);
        QCOMPARE(rig.input->clicks, 1);
    }
};

QTEST_GUILESS_MAIN(TestScanRuleOptions)
#include "tst_scanruleoptions.moc"
