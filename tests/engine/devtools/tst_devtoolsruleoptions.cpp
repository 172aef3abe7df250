// A rule's sites and limits against a real headless Chromium: the page's
// own address decides where it presses, and a reload is a new load.

#include "chromium.h"
#include "memorysettingsstore.h"
#include "presslimits.h"
#include "ruleoptionsbook.h"
#include "scanrig.h"
#include "settings.h"
#include "testpages.h"

#include <QTest>

using namespace pressbird;
using namespace pressbird::testing;

class TestDevToolsRuleOptions : public QObject {
    Q_OBJECT

private:
    HeadlessChromium m_chromium;
    PageServer m_server;
    MemorySettingsStore m_store;
    Settings m_settings{m_store};
    RuleOptionsBook m_book{m_settings};
    PressLimits m_limits;

    std::unique_ptr<ScanRig> rig() {
        auto rig = std::make_unique<ScanRig>(QList<Endpoint>{m_chromium.endpoint()});
        rig->engine.setRuleOptions(&m_book, &m_limits);
        return rig;
    }
    QString clicks(const QString &tab) { return m_chromium.evaluate(tab, u"window.clicks"_qs); }

private Q_SLOTS:
    void initTestCase() {
        PRESSBIRD_REQUIRE_CHROMIUM();
        QVERIFY(m_chromium.start());
        QVERIFY(m_server.start());
    }
    void init() {
        m_chromium.closeAllPages();
        m_limits = PressLimits();
    }

    // 127.0.0.1 and localhost are one server but two origins: a rule kept to
    // one presses only there; the rule beside it, without options, on both.
    void ruleKeptToOneOrigin_pressesThereAndNotOnTheOther() {
        const QString numeric = m_chromium.openTab(m_server.url(u"plain.html"_qs));
        const QString named = m_chromium.openTab(
            m_server.url(u"plain.html"_qs).replace(u"127.0.0.1"_qs, u"localhost"_qs));
        QVERIFY(m_chromium.url(named).startsWith(u"http://localhost:"_qs));
        auto rig = this->rig();
        const QString kept = rule(u"Ask me"_qs, u"Exact Match"_qs);
        rig->listClick.appendTicked(kept);
        rig->listClick.appendTicked(rule(u"Ask me again"_qs, u"Exact Match"_qs));
        RuleOptions options;
        options.sites = std::get<QList<SitePattern>>(parseSites(u"127.0.0.1"_qs));
        QVERIFY(m_book.set(ruleKeyOf(true, kept), options));

        rig->scan();
        QCOMPARE(clicks(numeric), u"link;second;"_qs);
        QCOMPARE(clicks(named), u"second;"_qs);
        QVERIFY(m_book.forget(ruleKeyOf(true, kept)));
    }

    void limitOfTwoPerLoad_pressesTwice_thenTwiceAgainAfterAReload() {
        const QString tab = m_chromium.openTab(m_server.url(u"plain.html"_qs));
        auto rig = this->rig();
        const QString limited = rule(u"Ask me"_qs, u"Exact Match"_qs);
        rig->listClick.appendTicked(limited);
        RuleOptions options;
        options.perLoad = 2;
        QVERIFY(m_book.set(ruleKeyOf(true, limited), options));

        for (int scan = 0; scan < 4; ++scan)
            rig->scan();
        QCOMPARE(clicks(tab), u"link;link;"_qs);
        QCOMPARE(rig->presses.size(), 2); // what was held back is not logged

        m_chromium.evaluate(tab, u"window.before = 1; location.reload(); 0"_qs);
        QVERIFY(QTest::qWaitFor(
            [&] {
                return m_chromium.evaluate(tab,
                                           u"window.before === undefined && "
                                           u"document.readyState === 'complete'"_qs) == u"true"_qs;
            },
            20000));
        for (int scan = 0; scan < 3; ++scan)
            rig->scan();
        QCOMPARE(clicks(tab), u"link;link;"_qs);
        QCOMPARE(rig->presses.size(), 4);
        QVERIFY(m_book.forget(ruleKeyOf(true, limited)));
    }
};

QTEST_GUILESS_MAIN(TestDevToolsRuleOptions)
#include "tst_devtoolsruleoptions.moc"
