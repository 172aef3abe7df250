#include "memoryrulelist.h"
#include "rulesfile.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace pressbird;

// Rules out and in: an export imports back to the same lists, and a file that
// cannot be taken whole changes nothing and says where it goes wrong.
class TestRulesFile : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void exportThenImportIntoEmptyLists_givesTheSameListsAndTicks();
    void import_addsAtTheEnd_leavesPresentLinesAlone();
    void refusedFiles_changeNothingAndNameThePlace_data();
    void refusedFiles_changeNothingAndNameThePlace();
    void hugeFiles_areRefusedBeforeTheyAreRead();
};

namespace {

QList<RuleLine> linesOf(const RuleList &list) {
    QList<RuleLine> lines;
    for (std::int16_t i = 0; i < list.count(); ++i)
        lines.append({list.text(i).value_or(QString()), list.ticked(i).value_or(false)});
    return lines;
}

} // namespace

void TestRulesFile::exportThenImportIntoEmptyLists_givesTheSameListsAndTicks() {
    MemoryRuleList links, buttons;
    links.appendTicked(u"Next -Type: Starts With"_qs);
    links.append(u"a -Type: Contains -Type: b"_qs); // the rule test reads "Contains"
    links.appendTicked(u"  \"quoted\" \t -Type: Exact Match"_qs);
    buttons.append(u"Continue -Type: exact match"_qs);
    const QByteArray file = ExportRules(links, buttons);
    QVERIFY2(file.contains("\"name\": \"Next\""), file.constData()); // readable and editable

    MemoryRuleList links2, buttons2;
    const RulesFileRead read = ParseRulesFile(file);
    QVERIFY2(read.rules, qPrintable(read.error));
    int added = -1;
    QCOMPARE(AddImportedRules(*read.rules, links2, buttons2, &added), std::nullopt);
    QCOMPARE(added, 4);
    QCOMPARE(linesOf(links2), linesOf(links));
    QCOMPARE(linesOf(buttons2), linesOf(buttons));
}

void TestRulesFile::import_addsAtTheEnd_leavesPresentLinesAlone() {
    MemoryRuleList links, buttons;
    links.append(u"Next -Type: Starts With"_qs); // present, unticked: stays unticked
    const RulesFileRead read = ParseRulesFile(R"({"format": "pressbird-rules", "version": 1,
        "links": [{"name": "Next", "kind": "Starts With", "ticked": true},
                  {"name": "More", "kind": "Contains "}]})");
    QVERIFY2(read.rules, qPrintable(read.error));
    int added = 0;
    QCOMPARE(AddImportedRules(*read.rules, links, buttons, &added), std::nullopt);
    QCOMPARE(added, 1);
    QCOMPARE(linesOf(links), (QList<RuleLine>{{u"Next -Type: Starts With"_qs, false},
                                              {u"More -Type: Contains "_qs, false}}));
}

void TestRulesFile::refusedFiles_changeNothingAndNameThePlace_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("place");
    QTest::newRow("not JSON") << QByteArray("{\"format\": \"pressbird-rules\",\n  \"links\": [,]}")
                              << u"line 2, column"_qs;
    QTest::newRow("another file") << QByteArray("{\"links\": []}") << u"not a Pressbird"_qs;
    QTest::newRow("unknown kind") << QByteArray(R"({"format": "pressbird-rules", "links": [
            {"name": "a", "kind": "Contains"}, {"name": "b", "kind": "Begins With"}]})")
                                  << u"links[1].kind"_qs;
    QTest::newRow("empty name")
        << QByteArray(
               R"({"format": "pressbird-rules", "buttons": [{"name": "", "kind": "Contains"}]})")
        << u"buttons[0].name"_qs;
    QTest::newRow("tick not a truth value")
        << QByteArray(
               R"({"format": "pressbird-rules", "buttons": [{"name": "x", "kind": "Contains", "ticked": "yes"}]})")
        << u"buttons[0].ticked"_qs;
    QTest::newRow("list not a list")
        << QByteArray(R"({"format": "pressbird-rules", "links": {}})") << u"links is not a list"_qs;
}

void TestRulesFile::refusedFiles_changeNothingAndNameThePlace() {
    QFETCH(QByteArray, file);
    QFETCH(QString, place);
    const RulesFileRead read = ParseRulesFile(file);
    QVERIFY(!read.rules);
    QVERIFY2(read.error.contains(place), qPrintable(read.error));

    // Overflow: both lists checked before either changes.
    MemoryRuleList links, buttons;
    for (int i = 0; i < RuleList::kMaxEntries; ++i)
        buttons.append(u"b%1 -Type: Contains"_qs.arg(i));
    RulesFile overflowing;
    overflowing.links = {{u"new -Type: Contains "_qs, true}};
    overflowing.buttons = {{u"one more -Type: Contains"_qs, false}};
    const std::optional<QString> why = AddImportedRules(overflowing, links, buttons);
    QVERIFY(why && why->contains(u"button list"_qs));
    QCOMPARE(links.count(), 0);
    QCOMPARE(buttons.count(), RuleList::kMaxEntries);
}

void TestRulesFile::hugeFiles_areRefusedBeforeTheyAreRead() {
    QTemporaryDir dir;
    const QString big = dir.filePath(u"big.json"_qs);
    QFile file(big);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QVERIFY(file.resize(100LL * 1024 * 1024)); // sparse: 100 MB that cost no disk
    file.close();
    QElapsedTimer clock;
    clock.start();
    RulesFileRead read = ReadRulesFile(big);
    QVERIFY(!read.rules);
    QVERIFY2(read.error.contains(u"larger than"_qs), qPrintable(read.error));

    QByteArray million = "{\"format\": \"pressbird-rules\", \"links\": [";
    million.reserve(3'100'000);
    for (int i = 0; i < 1'000'000; ++i)
        million.append("{},");
    million.append("{}]}");
    read = ParseRulesFile(million);
    QVERIFY(!read.rules);
    QVERIFY2(read.error.contains(u"more rules than"_qs), qPrintable(read.error));
    // Generous: a refusal that parses nothing takes milliseconds, a parse seconds.
    QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
}

QTEST_GUILESS_MAIN(TestRulesFile)
#include "tst_rulesfile.moc"
