// The options of a rule as the user writes them and as they are kept: what
// is not a site or not a limit is refused with a reason; what is kept reads
// back the same after a restart, through an export and an import too; a row
// this release cannot read is never dropped.

#include "memoryrulelist.h"
#include "ruleoptionsbook.h"
#include "rulesfile.h"
#include "settingkeys.h"
#include "settings.h"
#include "storefixture.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

using namespace pressbird;
using namespace pressbird::testing;

namespace {

QList<SitePattern> sites(const QString &text) {
    const auto parsed = parseSites(text);
    if (const QString *why = std::get_if<QString>(&parsed))
        qFatal("%s", qPrintable(*why));
    return std::get<QList<SitePattern>>(parsed);
}

RuleOptions someOptions() {
    RuleOptions options;
    options.sites = sites(u"example.com, *.example.org/app"_qs);
    options.perLoad = 2;
    options.perHour = 30;
    options.notify = true;
    return options;
}

const RuleKey kNext{RuleListKind::Links, u"Next -Type: Exact Match"_qs};

} // namespace

class TestRuleOptions : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void notASite_isRefusedWithTheReason_data() {
        QTest::addColumn<QString>("text");
        for (const char *text : {"",
                                 "   ",
                                 "http://",
                                 "*.",
                                 "*",
                                 "a*.example.com",
                                 "example.*",
                                 "exa mple.com",
                                 "example.com?x=1",
                                 "example.com#top",
                                 "user@example.com",
                                 "ftp://example.com",
                                 "/watch",
                                 ":8080",
                                 "example..com",
                                 ".example.com",
                                 "example.com.",
                                 "example.com:99999",
                                 "javascript:alert(1)",
                                 "<script>",
                                 "a;b.com"})
            QTest::newRow(text) << QString::fromLatin1(text);
        QTest::newRow("longer than any address") << QString(3000, u'a');
    }
    void notASite_isRefusedWithTheReason() {
        QFETCH(QString, text);
        const auto parsed = SitePattern::parse(text);
        const QString *why = std::get_if<QString>(&parsed);
        QVERIFY2(why, qPrintable(text));
        QVERIFY2(why->contains(u"is not a site"_qs), qPrintable(*why));
        QVERIFY(why->size() < 300); // a huge text is not echoed whole
    }

    void sites_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("written"); // empty: refused
        QTest::newRow("several, spaced") << u" a.com ,b.org/x, "_qs << u"a.com, b.org/x"_qs;
        QTest::newRow("scheme allowed") << u"https://a.com"_qs << u"https://a.com"_qs;
        QTest::newRow("port and path") << u"localhost:8080/app"_qs << u"localhost:8080/app"_qs;
        QTest::newRow("an address") << u"127.0.0.1"_qs << u"127.0.0.1"_qs;
        QTest::newRow("unicode host") << u"bücher.de"_qs << u"bücher.de"_qs;
        QTest::newRow("one bad among good") << u"a.com, no site!"_qs << QString();
        QTest::newRow("the most") << QStringList(RuleOptions::kMostSites, u"a.com"_qs).join(u',')
                                  << QStringList(RuleOptions::kMostSites, u"a.com"_qs).join(u", ");
        QTest::newRow("one too many")
            << QStringList(RuleOptions::kMostSites + 1, u"a.com"_qs).join(u',') << QString();
    }
    void sites() {
        QFETCH(QString, text);
        QFETCH(QString, written);
        const auto parsed = parseSites(text);
        if (written.isEmpty()) {
            QVERIFY(std::holds_alternative<QString>(parsed));
            return;
        }
        QVERIFY(std::holds_alternative<QList<SitePattern>>(parsed));
        QCOMPARE(sitesText(std::get<QList<SitePattern>>(parsed)), written);
    }

    // Ten thousand patterns on one rule: refused at once, not parsed one by one.
    void tenThousandSites_areRefusedQuickly() {
        const QString text = QStringList(10000, u"*.example.com/path"_qs).join(u',');
        QElapsedTimer timer;
        timer.start();
        const auto parsed = parseSites(text);
        QVERIFY(std::get<QString>(parsed).contains(QString::number(RuleOptions::kMostSites)));
        QVERIFY(timer.elapsed() < 5000); // generous: a loose bound against a quadratic parse
    }

    void limits_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<bool>("perHour");
        QTest::addColumn<int>("count");
        QTest::newRow("bare") << u"3"_qs << true << false << 3;
        QTest::newRow("per load") << u"3/load"_qs << true << false << 3;
        QTest::newRow("per hour, spaced") << u" 10 / hour "_qs << true << true << 10;
        QTest::newRow("none") << u"none"_qs << true << false << 0;
        QTest::newRow("the most") << u"1000000/hour"_qs << true << true << 1000000;
        QTest::newRow("zero") << u"0"_qs << false << false << 0;
        QTest::newRow("10^12") << u"1000000000000"_qs << false << false << 0;
        QTest::newRow("one over the most") << u"1000001"_qs << false << false << 0;
        QTest::newRow("negative") << u"-2"_qs << false << false << 0;
        QTest::newRow("fraction") << u"1.5"_qs << false << false << 0;
        QTest::newRow("per day") << u"2/day"_qs << false << false << 0;
        QTest::newRow("words") << u"three"_qs << false << false << 0;
        QTest::newRow("empty") << QString() << false << false << 0;
    }
    void limits() {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QFETCH(bool, perHour);
        QFETCH(int, count);
        const auto parsed = parseLimit(text);
        if (!valid) {
            QVERIFY(!std::get<QString>(parsed).isEmpty());
            return;
        }
        const PressLimit limit = std::get<PressLimit>(parsed);
        QCOMPARE(limit.count, count);
        if (count > 0)
            QCOMPARE(limit.per == PressLimit::Per::Hour, perHour);
    }

    void book_keepsOptionsOverARestart_andDropsThemWithTheRule_data() { addStoreRows(); }
    void book_keepsOptionsOverARestart_andDropsThemWithTheRule() {
        QFETCH(bool, onFile);
        StoreFixture fixture(onFile);
        const RuleKey button{RuleListKind::Buttons, kNext.entry}; // same text, other list
        RuleOptions quiet;
        quiet.perHour = 5;
        {
            Settings settings(fixture.store());
            RuleOptionsBook book(settings);
            book.load();
            QVERIFY(book.set(kNext, someOptions()));
            QVERIFY(book.set(button, quiet));
        }
        fixture.reopen();
        Settings settings(fixture.store());
        RuleOptionsBook book(settings);
        book.load();
        QCOMPARE(book.options(kNext), someOptions());
        QCOMPARE(book.options(button), quiet);
        // The list section and the keys are not touched.
        QCOMPARE(settings.ruleRowCount(), 0);

        const quint64 revision = book.revision();
        QVERIFY(book.forget(kNext));
        QVERIFY(book.revision() != revision);
        QCOMPARE(book.find(kNext), nullptr);
        fixture.reopen();
        Settings again(fixture.store());
        RuleOptionsBook reread(again);
        reread.load();
        QCOMPARE(reread.find(kNext), nullptr);
        QCOMPARE(reread.options(button), quiet);
    }

    // Rows written by another release, or damaged, are kept as they were
    // while the rest is saved; the user hears of them once; a rule deleted
    // takes its row with it.
    void unreadableRows_areKept_andToldOnce() {
        StoreFixture fixture(true);
        const QString app = kAppName.toString();
        const QString section = kRuleOptionsSection.toString();
        const SettingRow damaged{u"link:Old -Type: Exact Match"_qs, u"{\"sites\": 7"_qs};
        const SettingRow future{u"button:Go -Type: Exact Match"_qs, u"{\"sites\":[1]}"_qs};
        const SettingRow foreign{u"frame:Go"_qs, u"{}"_qs};
        QVERIFY(fixture.store().ReplaceSection(app, section, {damaged, future, foreign}));

        Settings settings(fixture.store());
        QStringList told;
        settings.setReporter([&told](const QString &text) { told.append(text); });
        RuleOptionsBook book(settings);
        book.load();
        QCOMPARE(told.size(), 1);
        QVERIFY2(told.first().contains(u"3 rule(s)"_qs), qPrintable(told.first()));
        QVERIFY(book.all().empty());

        QVERIFY(book.set(kNext, someOptions()));
        SettingRows stored = fixture.store().GetAllSettings(app, section).value();
        QCOMPARE(stored.size(), 4);
        for (const SettingRow &row : {damaged, future, foreign})
            QVERIFY2(stored.contains(row), qPrintable(row.key));

        QVERIFY(book.forget({RuleListKind::Links, u"Old -Type: Exact Match"_qs}));
        stored = fixture.store().GetAllSettings(app, section).value();
        QCOMPARE(stored.size(), 3);
        QVERIFY(!stored.contains(damaged));
        QCOMPARE(told.size(), 1);
    }

    // Out and back in: each rule's options come back; an earlier release's
    // file, without any, imports as rules without options; a wrong field is
    // named and nothing is taken.
    void exportAndImport_carryTheOptions() {
        MemorySettingsStore store;
        Settings settings(store);
        RuleOptionsBook book(settings);
        MemoryRuleList links, buttons;
        links.appendTicked(kNext.entry);
        links.append(u"Plain -Type: Contains"_qs);
        buttons.appendTicked(u"Go -Type: Exact Match"_qs);
        QVERIFY(book.set(kNext, someOptions()));
        const QByteArray file = ExportRules(links, buttons, &book);
        // Only what is set is written: a rule without options is as it always was.
        const QJsonObject plain =
            QJsonDocument::fromJson(file).object()[u"links"_qs].toArray()[1].toObject();
        QCOMPARE(plain.keys(), (QStringList{u"kind"_qs, u"name"_qs, u"ticked"_qs}));

        MemorySettingsStore store2;
        Settings settings2(store2);
        RuleOptionsBook book2(settings2);
        RuleOptions mine;
        mine.notify = true;
        const RuleKey go{RuleListKind::Buttons, u"Go -Type: Exact Match"_qs};
        QVERIFY(book2.set(go, mine)); // the user's own options stay
        MemoryRuleList links2, buttons2;
        const RulesFileRead read = ParseRulesFile(file);
        QVERIFY2(read.rules, qPrintable(read.error));
        QCOMPARE(AddImportedRules(*read.rules, links2, buttons2, nullptr, &book2), std::nullopt);
        QCOMPARE(book2.options(kNext), someOptions());
        QCOMPARE(book2.options(go), mine);
        QCOMPARE(book2.all().size(), 2u);

        const QByteArray older = R"({"format": "pressbird-rules", "version": 1,
            "links": [{"name": "Next", "kind": "Exact Match", "ticked": true}], "buttons": []})";
        const RulesFileRead oldRead = ParseRulesFile(older);
        QVERIFY2(oldRead.rules, qPrintable(oldRead.error));
        QCOMPARE(oldRead.rules->links.first().options, RuleOptions());

        for (const QByteArray &field :
             {QByteArray(R"("sites": ["no site!"])"), QByteArray(R"("perLoad": 0)"),
              QByteArray(R"("perHour": 1e12)"), QByteArray(R"("notify": "yes")")}) {
            const QByteArray bad = R"({"format": "pressbird-rules", "version": 1,
                "links": [{"name": "Next", "kind": "Exact Match", "ticked": true, )" +
                                   field + "}], \"buttons\": []}";
            const RulesFileRead badRead = ParseRulesFile(bad);
            QVERIFY2(!badRead.rules, field.constData());
            QVERIFY2(badRead.error.contains(u"links[0]"_qs), qPrintable(badRead.error));
        }
    }
};

QTEST_GUILESS_MAIN(TestRuleOptions)
#include "tst_ruleoptions.moc"
