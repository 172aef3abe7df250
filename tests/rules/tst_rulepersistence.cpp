#include "memoryrulelist.h"
#include "rulepersistence.h"
#include "settings.h"
#include "storefixture.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>

#include <sys/stat.h>

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

// The main window's state as a restart sees it: empty lists, loaded once,
// with what the user is told and a folder for rules set aside.
struct Window {
    MemoryRuleList listClick;
    MemoryRuleList listPush;
    WindowMarker marker = WindowMarker::None;
    QStringList told;
    QString asideFolder = QDir::tempPath();
    std::unique_ptr<Settings> settings;

    Settings &settingsFor(SettingsStore &store) {
        if (!settings || &settings->store() != &store) {
            settings = std::make_unique<Settings>(store, asideFolder);
            settings->setReporter([this](const QString &text) { told.append(text); });
        }
        return *settings;
    }
    void load(SettingsStore &store) { FillList(settingsFor(store), listClick, listPush, marker); }
    bool save(SettingsStore &store) {
        return ListUpdate(settingsFor(store), listClick, listPush, marker);
    }
};

SettingRows sevenRulesWithBadSecond() {
    SettingRows rows;
    for (int n = 0; n < 7; ++n)
        rows.append(
            {u"listclick-%1"_qs.arg(n), u"rule %1 -Type: Contains -Checked: True"_qs.arg(n)});
    rows[1].value = u"no tick word -Type: Contains"_qs;
    return rows;
}

std::optional<SettingRows> rowsInFile(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    SettingRows rows;
    for (const QJsonValue row : QJsonDocument::fromJson(file.readAll())[u"rows"].toArray())
        rows.append({row[u"key"].toString(), row[u"value"].toString()});
    return rows;
}

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
    void duplicatesAndCheckedInName_comeBackAsSaved();
    void badRow_firstRewriteSetsTheSectionAsideAndSaysWhere();
    void badRow_noPlaceToSetAside_refusesTheRewrite();
    void storePastTheListsCapacity_loadsWhatFitsAndSaysHowMany();
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
    QCOMPARE(second.marker, WindowMarker::None);

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
    QCOMPARE(w.marker, WindowMarker::Skip);
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
    QCOMPARE(w.marker, WindowMarker::Skip);

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
    QCOMPARE(w.marker, WindowMarker::None);
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
    QVERIFY(w.save(store));
    const SettingRows expected = {{u"listpush-0"_qs, u"short key -Checked: True"_qs},
                                  {u"listclick-0"_qs, u"seven -Checked: False"_qs}};
    QCOMPARE(store.GetAllSettings(kApp, kList), std::optional(expected));
}

void TestRulePersistence::duplicatesAndCheckedInName_comeBackAsSaved() {
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
    QCOMPARE(lines(restarted.listPush),
             (QList<Line>{{u"a -Checked: b -Type: Exact Match"_qs, true}}));

    // What a user typed into a rule name, ticked, through a restart.
    Window typed;
    typed.listClick.appendTicked(u"Next -Checked: page -Type: Contains "_qs);
    typed.listClick.append(u"x -Checked: True -Type: Contains "_qs);
    QVERIFY(typed.save(store));
    Window again;
    again.load(store);
    QCOMPARE(lines(again.listClick),
             (QList<Line>{{u"x -Checked: True -Type: Contains "_qs, false},
                          {u"Next -Checked: page -Type: Contains "_qs, true}}));
}

// The load stops at the bad row and leaves Skip, as ever; but the first
// rewrite after that never destroys the rows that were not read.
void TestRulePersistence::badRow_firstRewriteSetsTheSectionAsideAndSaysWhere() {
    QTemporaryDir folder;
    MemorySettingsStore store;
    const SettingRows stored = sevenRulesWithBadSecond();
    QVERIFY(store.ReplaceSection(kApp, kList, stored));
    Window w;
    w.asideFolder = folder.path();
    w.load(store);
    QCOMPARE(w.listClick.count(), 2);
    QCOMPARE(w.marker, WindowMarker::Skip);
    QCOMPARE(w.told.size(), 1);
    QVERIFY2(w.told.constFirst().startsWith(u"5 of your saved rules could not be loaded"_qs),
             qPrintable(w.told.constFirst()));

    w.marker = WindowMarker::None; // what Add does
    QVERIFY(w.save(store));
    const QStringList files = QDir(folder.path()).entryList({u"rules-not-loaded-*.json"_qs});
    QCOMPARE(files.size(), 1);
    const QString aside = folder.filePath(files.constFirst());
    QCOMPARE(rowsInFile(aside), std::optional(stored));
    struct stat mode {};
    QCOMPARE(stat(QFile::encodeName(aside).constData(), &mode), 0);
    QCOMPARE(mode.st_mode & 0777, 0600u); // the rules are the user's own
    QCOMPARE(w.told.size(), 2);
    QVERIFY2(w.told.last().contains(QDir::toNativeSeparators(aside)), qPrintable(w.told.last()));
    QCOMPARE(store.GetAllSettings(kApp, kList)->size(), 2);

    QVERIFY(w.save(store)); // set aside once
    QCOMPARE(QDir(folder.path()).entryList({u"rules-not-loaded-*.json"_qs}).size(), 1);
    QCOMPARE(w.told.size(), 2);
}

void TestRulePersistence::badRow_noPlaceToSetAside_refusesTheRewrite() {
    MemorySettingsStore store;
    const SettingRows stored = sevenRulesWithBadSecond();
    QVERIFY(store.ReplaceSection(kApp, kList, stored));
    Window w;
    w.asideFolder = u"/nonexistent/pressbird-test"_qs;
    w.load(store);
    w.marker = WindowMarker::None;
    QVERIFY(!w.save(store));
    QVERIFY(!w.save(store));
    QCOMPARE(store.GetAllSettings(kApp, kList), std::optional(stored));
    QCOMPARE(w.told.size(), 3); // not all loaded; not copied; not saved: each once
}

// A store grown far past what the lists hold loads what they hold, says how
// many rows it left, and keeps them.
void TestRulePersistence::storePastTheListsCapacity_loadsWhatFitsAndSaysHowMany() {
    QTemporaryDir folder;
    MemorySettingsStore store;
    SettingRows rows;
    constexpr int kRows = 100'000;
    rows.reserve(kRows);
    for (int n = 0; n < kRows; ++n)
        rows.append({(n % 2 ? u"listpush-%1"_qs : u"listclick-%1"_qs).arg(n / 2),
                     u"r%1 -Type: Contains -Checked: False"_qs.arg(n)});
    QVERIFY(store.ReplaceSection(kApp, kList, rows));
    Window w;
    w.asideFolder = folder.path();
    w.load(store);
    QCOMPARE(w.listClick.count(), RuleList::kMaxEntries);
    QCOMPARE(w.listPush.count(), RuleList::kMaxEntries);
    QCOMPARE(w.marker, WindowMarker::Skip);
    QCOMPARE(w.told.size(), 1);
    QVERIFY2(w.told.constFirst().startsWith(u"%1 of your saved rules"_qs.arg(kRows - 2 * 32767)),
             qPrintable(w.told.constFirst()));

    w.marker = WindowMarker::None;
    QVERIFY(w.save(store));
    const QStringList files = QDir(folder.path()).entryList({u"rules-not-loaded-*.json"_qs});
    QCOMPARE(files.size(), 1);
    QCOMPARE(rowsInFile(folder.filePath(files.constFirst()))->size(), kRows);
}

void TestRulePersistence::skipMarker_savesNothing_otherMarkersSave() {
    MemorySettingsStore store;
    QVERIFY(store.SaveSetting(kApp, kList, u"listpush-0"_qs, u"kept -Checked: True"_qs));
    Window w;
    w.listClick.append(u"new -Type: Contains "_qs);
    w.marker = WindowMarker::Skip;
    QVERIFY(w.save(store));
    QCOMPARE(store.GetSetting(kApp, kList, u"listpush-0"_qs, QString()), u"kept -Checked: True"_qs);

    w.marker = WindowMarker::SkipMinimize;
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
