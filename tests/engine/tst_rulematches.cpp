#include "rulematchcache.h"
#include "rulematches.h"

#include <QTest>

using namespace pressbird;

class TestRuleMatches : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void matchingTable_data();
    void matchingTable();
    void untickedRule_neverMatches();
    void hugeAndStrangeEntries_doNotCrash();
};

void TestRuleMatches::matchingTable_data() {
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("expected");

    const QString tab(u'\t');
    QTest::newRow("starts with, text trimmed and case ignored")
        << u"Next -Type: Starts With"_qs << u"  next page"_qs << true;
    QTest::newRow("starts with, text shorter than pattern")
        << u"Next -Type: Starts With"_qs << u"Nex"_qs << false;
    QTest::newRow("ends with, tab is not trimmed")
        << u"page -Type: Ends With"_qs << (u"Next Page"_qs + tab) << false;
    QTest::newRow("ends with") << u"page -Type: Ends With"_qs << u"Next Page  "_qs << true;
    QTest::newRow("exact match, other case") << u"Go -Type: Exact Match"_qs << u"GO"_qs << true;
    QTest::newRow("exact match, punctuation counts")
        << u"Go -Type: Exact Match"_qs << u"Go!"_qs << false;
    QTest::newRow("contains with the link caption's trailing blank")
        << u"log in -Type: Contains "_qs << u"Please Log In here"_qs << true;
    QTest::newRow("separator and kind in capitals")
        << u"log in -TYPE: CONTAINS"_qs << u"Please Log In here"_qs << true;
    QTest::newRow("inner blanks are not collapsed")
        << u"log in -Type: Contains"_qs << u"Please Log  In"_qs << false;
    QTest::newRow("no-break space is not a blank")
        << u"Go -Type: Exact Match"_qs << (u"Go"_qs + QChar(0x00A0)) << false;
    QTest::newRow("blank name, starts with") << u"    -Type: Starts With"_qs << u"x"_qs << true;
    QTest::newRow("blank name, ends with") << u"    -Type: Ends With"_qs << u"x"_qs << true;
    QTest::newRow("blank name, contains") << u"    -Type: Contains"_qs << u"x"_qs << true;
    QTest::newRow("blank name, exact match on text")
        << u"    -Type: Exact Match"_qs << u"x"_qs << false;
    QTest::newRow("blank name, exact match on blanks")
        << u"    -Type: Exact Match"_qs << u"   "_qs << true;
    QTest::newRow("name holding the separator: kind is the second piece")
        << u"a -Type: Contains -Type: Exact Match"_qs << u"banana"_qs << true;
    QTest::newRow("unknown kind") << u"Next -Type: Begins With"_qs << u"Next"_qs << false;
    QTest::newRow("no separator") << u"Next Starts With"_qs << u"Next"_qs << false;
    QTest::newRow("separator without its blanks")
        << u"Next-Type:Contains"_qs << u"Next"_qs << false;
    QTest::newRow("empty kind") << u"Next -Type: "_qs << u"Next"_qs << false;
    QTest::newRow("non-latin letters compare without case")
        << u"ДАЛЕЕ -Type: Exact Match"_qs << u"далее"_qs << true;
    QTest::newRow("text beginning with the separator")
        << u"x -Type: Contains"_qs << u" -type: x"_qs << true;
    // Capitals whose lower case upper-cases to another letter: the text is
    // taken through the same two steps as the rule, so each matches itself.
    for (const char16_t capital :
         {u'\u0130', u'\u03F4', u'\u1E9E', u'\u2126', u'\u212A', u'\u212B'}) {
        const QString w(QChar{capital});
        QTest::addRow("U+%04X matches itself", unsigned(capital))
            << (w + u" -Type: Exact Match"_qs) << w << true;
    }
    QTest::newRow("the Kelvin sign matches a K")
        << u"K -Type: Exact Match"_qs << QString(QChar(0x212A)) << true;
}

// The scan asks the cache, so the table holds for it too: first on a fresh
// cache, then on one that has seen another rule line and another text at the
// same index, and with the tick cleared.
void TestRuleMatches::matchingTable() {
    QFETCH(QString, entry);
    QFETCH(QString, text);
    QFETCH(bool, expected);
    QCOMPARE(RuleMatches(entry, true, text), expected);

    RuleMatchCache fresh;
    QCOMPARE(fresh.RuleMatches(3, entry, true, text), expected);
    RuleMatchCache used;
    used.RuleMatches(3, u"other -Type: Contains"_qs, true, u"other text"_qs);
    QCOMPARE(used.RuleMatches(3, entry, true, text), expected);
    QCOMPARE(used.RuleMatches(3, entry, false, text), false);
    QCOMPARE(used.RuleMatches(3, entry, true, text), expected);
}

void TestRuleMatches::untickedRule_neverMatches() {
    QVERIFY(!RuleMatches(u"Next -Type: Starts With"_qs, false, u"Next page"_qs));
    QVERIFY(!RuleMatches(u" -Type: Contains"_qs, false, u" -TYPE: contains"_qs));
}

void TestRuleMatches::hugeAndStrangeEntries_doNotCrash() {
    const QString huge(1 << 20, u'x');
    QVERIFY(RuleMatches(huge + u" -Type: Contains"_qs, true, u"y"_qs + huge));
    QVERIFY(!RuleMatches(huge, true, huge));
    // A lone surrogate and a pattern whose upper case is longer than itself.
    QVERIFY(!RuleMatches(QString(QChar(0xD800)) + u" -Type: Starts With"_qs, true, u"a"_qs));
    QVERIFY(RuleMatches(u"straße -Type: Exact Match"_qs, true, u"STRASSE"_qs));
    QVERIFY(!RuleMatches(QString(), true, u"x"_qs));
}

QTEST_APPLESS_MAIN(TestRuleMatches)
#include "tst_rulematches.moc"
