#include "memoryrulelist.h"
#include "rulepersistence.h"
#include "storefixture.h"

using namespace pressbird;
using namespace pressbird::testing;

namespace {

const QString kApp = kAppName.toString();
const QString kList = kListSection.toString();

struct Line {
    QString text;
    bool ticked = false;
    friend bool operator==(const Line &, const Line &) = default;
};

QList<Line> lines(const RuleList &list) {
    QList<Line> result;
    for (std::int16_t i = 0; i < list.count(); ++i)
        result.append({list.text(i).value_or(QString()), list.ticked(i).value_or(false)});
    return result;
}

// The main window's state as a restart sees it: empty lists, loaded once.
struct Window {
    MemoryRuleList listClick;
    MemoryRuleList listPush;
    QString marker;
    int yields = 0;

    void load(SettingsStore &store) {
        FillList(store, listClick, listPush, marker, [this] { ++yields; });
    }
    bool save(SettingsStore &store) { return ListUpdate(store, listClick, listPush, marker); }
};

} // namespace

class TestRulePersistence : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void save_writesButtonRulesFirstWithCheckedSuffix();
    void restart_reversesEachListAndKeepsTicks_data() { addStoreRows(); }
    void restart_reversesEachListAndKeepsTicks();
    void firstRun_leavesListsEmptyAndMarkerSkip();
    void badRow_stopsLoadAndLeavesSkip_data();
    void badRow_stopsLoadAndLeavesSkip();
    void checkedWord_mustBeExactlyTrue_data();
    void checkedWord_mustBeExactlyTrue();
    void foreignKeys_ignoredAndDroppedAtNextSave();
    void duplicatesAndCheckedInName_surviveAsStored();
    void skipMarker_savesNothing_otherMarkersSave();
    void bothListsEmpty_deletesSection();
    void refusedSave_keepsPreviousSectionWhole();
};

void TestRulePersistence::save_writesButtonRulesFirstWithCheckedSuffix() {
    MemorySettingsStore store;
    Window w;
    w.listPush.appendTicked(u"Continue -Type: Exact Match"_qs);
    w.listPush.append(u"OK -Type: Contains"_qs);
    w.listClick.appendTicked(u"Next -Type: Contains "_qs);
    QVERIFY(w.save(store));
    const SettingRows expected = {
        {u"listpush-0"_qs, u"Continue -Type: Exact Match -Checked: True"_qs},
        {u"listpush-1"_qs, u"OK -Type: Contains -Checked: False"_qs},
        {u"listclick-0"_qs, u"Next -Type: Contains  -Checked: True"_qs},
    };
    QCOMPARE(store.GetAllSettings(kApp, kList), std::optional(expected));
}

void TestRulePersistence::restart_reversesEachListAndKeepsTicks() {
    QFETCH(bool, onFile);
    StoreFixture f(onFile);
    const QList<Line> abc = {{u"A -Type: Starts With"_qs, true},
                             {u"B -Type: Ends With"_qs, false},
                             {u"C -Type: fuzzy"_qs, true}};
    QList<Line> cba = abc;
    std::reverse(cba.begin(), cba.end());
    {
        Window w;
        for (const Line &line : abc) {
            w.listPush.append(line.text);
            w.listPush.setTicked(w.listPush.count() - 1, line.ticked);
        }
        w.listClick.append(u"   -Type: Contains "_qs);
        QVERIFY(w.save(f.store()));
    }
    f.reopen();
    Window second;
    second.load(f.store());
    QCOMPARE(lines(second.listPush), cba);
    QCOMPARE(lines(second.listClick), (QList<Line>{{u"   -Type: Contains "_qs, false}}));
    QCOMPARE(second.marker, QString());
    QCOMPARE(second.yields, 4);

    f.reopen();
    Window unsaved;
    unsaved.load(f.store());
    QCOMPARE(lines(unsaved.listPush), cba);

    QVERIFY(unsaved.save(f.store()));
    f.reopen();
    Window third;
    third.load(f.store());
    QCOMPARE(lines(third.listPush), abc);
}

void TestRulePersistence::firstRun_leavesListsEmptyAndMarkerSkip() {
    MemorySettingsStore store;
    Window w;
    w.load(store);
    QCOMPARE(w.listPush.count(), 0);
    QCOMPARE(w.listClick.count(), 0);
    QCOMPARE(w.marker, kMarkerSkip);
    QCOMPARE(w.yields, 0);
}

void TestRulePersistence::badRow_stopsLoadAndLeavesSkip_data() {
    QTest::addColumn<QString>("badValue");
    QTest::addColumn<QList<Line>>("expectedPush");
    const Line first{u"first -Type: Contains"_qs, true};
    QTest::newRow("no check suffix")
        << u"bare -Type: Contains"_qs << QList<Line>{{u"bare -Type: Contains"_qs, false}, first};
    QTest::newRow("empty value") << QString() << QList<Line>{first};
}

void TestRulePersistence::badRow_stopsLoadAndLeavesSkip() {
    QFETCH(QString, badValue);
    QFETCH(QList<Line>, expectedPush);
    MemorySettingsStore store;
    QVERIFY(
        store.ReplaceSection(kApp, kList,
                             {{u"listpush-0"_qs, u"first -Type: Contains -Checked: True"_qs},
                              {u"listpush-1"_qs, badValue},
                              {u"listclick-0"_qs, u"never -Type: Contains -Checked: True"_qs}}));
    Window w;
    w.load(store);
    QCOMPARE(lines(w.listPush), expectedPush);
    QCOMPARE(w.listClick.count(), 0);
    QCOMPARE(w.marker, kMarkerSkip);
    QCOMPARE(w.yields, 2);

    // While "Skip" stands, ticking saves nothing and the unread row survives.
    w.listPush.setTicked(0, true);
    QVERIFY(w.save(store));
    QCOMPARE(store.GetAllSettings(kApp, kList)->size(), 3);
}

void TestRulePersistence::checkedWord_mustBeExactlyTrue_data() {
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<bool>("ticked");
    QTest::newRow("True") << u" -Checked: True"_qs << true;
    QTest::newRow("blanks around True") << u" -Checked:   True  "_qs << true;
    QTest::newRow("no blank before True") << u" -Checked:True"_qs << true;
    QTest::newRow("lower-case true") << u" -Checked: true"_qs << false;
    QTest::newRow("tab is not a blank") << u" -Checked:\tTrue"_qs << false;
    QTest::newRow("False") << u" -Checked: False"_qs << false;
}

void TestRulePersistence::checkedWord_mustBeExactlyTrue() {
    QFETCH(QString, suffix);
    QFETCH(bool, ticked);
    MemorySettingsStore store;
    QVERIFY(store.SaveSetting(kApp, kList, u"listclick-0"_qs, u"Go -Type: Contains"_qs + suffix));
    Window w;
    w.load(store);
    QCOMPARE(lines(w.listClick), (QList<Line>{{u"Go -Type: Contains"_qs, ticked}}));
    QCOMPARE(w.marker, QString());
}

void TestRulePersistence::foreignKeys_ignoredAndDroppedAtNextSave() {
    MemorySettingsStore store;
    QVERIFY(store.ReplaceSection(kApp, kList,
                                 {{u"other"_qs, u"x -Checked: True"_qs},
                                  {u"LISTPUSH-0"_qs, u"upper -Checked: True"_qs},
                                  {u"listp"_qs, u"short key -Checked: True"_qs},
                                  {u"listclick-7"_qs, u"seven -Checked: False"_qs}}));
    Window w;
    w.load(store);
    // Only the first five characters count, and the number is never read.
    QCOMPARE(lines(w.listPush), (QList<Line>{{u"short key"_qs, true}}));
    QCOMPARE(lines(w.listClick), (QList<Line>{{u"seven"_qs, false}}));
    QCOMPARE(w.yields, 4);
    QVERIFY(w.save(store));
    const SettingRows expected = {{u"listpush-0"_qs, u"short key -Checked: True"_qs},
                                  {u"listclick-0"_qs, u"seven -Checked: False"_qs}};
    QCOMPARE(store.GetAllSettings(kApp, kList), std::optional(expected));
}

void TestRulePersistence::duplicatesAndCheckedInName_surviveAsStored() {
    MemorySettingsStore store;
    Window w;
    w.listClick.append(u"Next -Type: Contains "_qs);
    w.listClick.appendTicked(u"Next -Type: Contains "_qs);
    w.listPush.appendTicked(u"a -Checked: b -Type: Exact Match"_qs);
    QVERIFY(w.save(store));
    QCOMPARE(store.GetAllSettings(kApp, kList)->size(), 3);

    Window restarted;
    restarted.load(store);
    QCOMPARE(lines(restarted.listClick), (QList<Line>{{u"Next -Type: Contains "_qs, true},
                                                      {u"Next -Type: Contains "_qs, false}}));
    QCOMPARE(lines(restarted.listPush), (QList<Line>{{u"a"_qs, false}}));
}

void TestRulePersistence::skipMarker_savesNothing_otherMarkersSave() {
    MemorySettingsStore store;
    QVERIFY(store.SaveSetting(kApp, kList, u"listpush-0"_qs, u"kept -Checked: True"_qs));
    Window w;
    w.listClick.append(u"new -Type: Contains "_qs);
    w.marker = kMarkerSkip.toString();
    QVERIFY(w.save(store));
    QCOMPARE(store.GetSetting(kApp, kList, u"listpush-0"_qs, QString()), u"kept -Checked: True"_qs);

    w.marker = kMarkerSkipMinimize.toString();
    QVERIFY(w.save(store));
    const SettingRows expected = {{u"listclick-0"_qs, u"new -Type: Contains  -Checked: False"_qs}};
    QCOMPARE(store.GetAllSettings(kApp, kList), std::optional(expected));
}

void TestRulePersistence::bothListsEmpty_deletesSection() {
    MemorySettingsStore store;
    Window w;
    w.listPush.append(u"x -Type: Contains"_qs);
    QVERIFY(w.save(store));
    w.listPush.remove(0);
    QVERIFY(w.save(store));
    QCOMPARE(store.GetAllSettings(kApp, kList), std::nullopt);
    QVERIFY(!store.DeleteSetting(kApp, kList));
}

void TestRulePersistence::refusedSave_keepsPreviousSectionWhole() {
    MemorySettingsStore store;
    Window w;
    w.listPush.append(u"one -Type: Contains"_qs);
    w.listPush.append(u"two -Type: Contains"_qs);
    QVERIFY(w.save(store));
    const auto before = store.GetAllSettings(kApp, kList);
    w.listPush.remove(0);
    store.setFailing(true);
    QVERIFY(!w.save(store));
    store.setFailing(false);
    QCOMPARE(store.GetAllSettings(kApp, kList), before);
}

QTEST_GUILESS_MAIN(TestRulePersistence)
#include "tst_rulepersistence.moc"
