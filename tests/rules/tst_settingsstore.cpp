#include "settingkeys.h"
#include "storefixture.h"

#include <sqlite3.h>

using namespace pressbird;
using namespace pressbird::testing;

namespace {

const QString kApp = kAppName.toString();
const QString kList = QStringLiteral("list");

SettingRows rows(std::initializer_list<std::pair<const char *, const char *>> pairs) {
    SettingRows result;
    for (const auto &[key, value] : pairs)
        result.append({QString::fromUtf8(key), QString::fromUtf8(value)});
    return result;
}

} // namespace

class TestSettingsStore : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void overwrite_keepsPlaceOfFirstWriting_data() { addStoreRows(); }
    void overwrite_keepsPlaceOfFirstWriting();
    void missingOrEmptySection_givesNoTableAndDefaults_data() { addStoreRows(); }
    void missingOrEmptySection_givesNoTableAndDefaults();
    void deleteMissingSection_failsAndTouchesNothingElse_data() { addStoreRows(); }
    void deleteMissingSection_failsAndTouchesNothingElse();
    void oddValues_comeBackUnchanged_data();
    void oddValues_comeBackUnchanged();
    void replaceSection_dropsOldKeysAndKeepsNewOrder_data() { addStoreRows(); }
    void replaceSection_dropsOldKeysAndKeepsNewOrder();

    void restart_keepsValuesAndOrder();
    void lockedWriter_saveRefusedAndOldSectionKept();
    void file_holdsExactlyTheOneTableInWalMode();
    void failingMemoryStore_changesNothing();
};

void TestSettingsStore::overwrite_keepsPlaceOfFirstWriting() {
    QFETCH(bool, onFile);
    StoreFixture f(onFile);
    SettingsStore &s = f.store();
    QVERIFY(s.SaveSetting(kApp, kList, QStringLiteral("zeta"), QStringLiteral("1")));
    QVERIFY(s.SaveSetting(kApp, kList, QStringLiteral("alpha"), QStringLiteral("2")));
    QVERIFY(s.SaveSetting(kApp, kList, QStringLiteral("mid"), QStringLiteral("3")));
    QVERIFY(s.SaveSetting(kApp, kList, QStringLiteral("zeta"), QStringLiteral("again")));
    QCOMPARE(s.GetAllSettings(kApp, kList),
             std::optional(rows({{"zeta", "again"}, {"alpha", "2"}, {"mid", "3"}})));
    QCOMPARE(s.GetSetting(kApp, kList, QStringLiteral("zeta"), QString()), u"again"_qs);
}

void TestSettingsStore::missingOrEmptySection_givesNoTableAndDefaults() {
    QFETCH(bool, onFile);
    StoreFixture f(onFile);
    SettingsStore &s = f.store();
    QCOMPARE(s.GetAllSettings(kApp, kList), std::nullopt);
    QCOMPARE(s.GetSetting(kApp, kList, QStringLiteral("k"), QStringLiteral("0")), u"0"_qs);

    QVERIFY(s.SaveSetting(kApp, kList, QStringLiteral("k"), QStringLiteral("v")));
    QCOMPARE(s.GetSetting(kApp, kList, QStringLiteral("other"), QStringLiteral("d")), u"d"_qs);
    // Sections and applications do not leak into each other.
    QCOMPARE(s.GetAllSettings(kApp, QStringLiteral("List")), std::nullopt);
    QCOMPARE(s.GetAllSettings(QStringLiteral("Other"), kList), std::nullopt);

    QVERIFY(s.DeleteSetting(kApp, kList));
    QCOMPARE(s.GetAllSettings(kApp, kList), std::nullopt);
    QVERIFY(s.ReplaceSection(kApp, kList, {}));
    QCOMPARE(s.GetAllSettings(kApp, kList), std::nullopt);
}

void TestSettingsStore::deleteMissingSection_failsAndTouchesNothingElse() {
    QFETCH(bool, onFile);
    StoreFixture f(onFile);
    SettingsStore &s = f.store();
    QVERIFY(s.SaveSetting(kApp, QStringLiteral("Opt"), QStringLiteral("Text1Text"),
                          QStringLiteral("5000")));
    QVERIFY(!s.DeleteSetting(kApp, kList));
    QVERIFY(s.DeleteSetting(kApp, QStringLiteral("Opt")));
    QVERIFY(!s.DeleteSetting(kApp, QStringLiteral("Opt")));
}

void TestSettingsStore::oddValues_comeBackUnchanged_data() {
    QTest::addColumn<bool>("onFile");
    QTest::addColumn<QString>("value");
    const QList<std::pair<const char *, QString>> values = {
        {"quotes and SQL", u"it's \"quoted\"'); DROP TABLE settings; --"_qs},
        {"unicode", u"Weiter \u00bb \u6b21\u3078 \U0001F426 e\u0301"_qs},
        {"blanks and line breaks", u"  two\r\nlines\t "_qs},
        {"empty", QString()},
        {"one megabyte", QString(1 << 20, u'\u00e9')},
    };
    for (const bool onFile : {false, true}) {
        for (const auto &[name, value] : values)
            QTest::addRow("%s, %s", onFile ? "sqlite" : "memory", name) << onFile << value;
    }
}

void TestSettingsStore::oddValues_comeBackUnchanged() {
    QFETCH(bool, onFile);
    QFETCH(QString, value);
    StoreFixture f(onFile);
    const QString key = u"k\u00e9y 'x'"_qs;
    QVERIFY(f.store().SaveSetting(kApp, kList, key, value));
    f.reopen();
    QCOMPARE(f.store().GetSetting(kApp, kList, key, QStringLiteral("default")), value);
    QCOMPARE(f.store().GetAllSettings(kApp, kList), std::optional(SettingRows{{key, value}}));
}

void TestSettingsStore::replaceSection_dropsOldKeysAndKeepsNewOrder() {
    QFETCH(bool, onFile);
    StoreFixture f(onFile);
    SettingsStore &s = f.store();
    QVERIFY(s.ReplaceSection(kApp, kList, rows({{"a", "1"}, {"b", "2"}, {"c", "3"}})));
    QVERIFY(s.SaveSetting(kApp, QStringLiteral("Opt"), QStringLiteral("Text1Text"),
                          QStringLiteral("250")));
    QVERIFY(s.ReplaceSection(kApp, kList, rows({{"c", "new"}, {"x", "9"}, {"a", "A"}})));
    QCOMPARE(s.GetAllSettings(kApp, kList),
             std::optional(rows({{"c", "new"}, {"x", "9"}, {"a", "A"}})));
    QCOMPARE(s.GetSetting(kApp, QStringLiteral("Opt"), QStringLiteral("Text1Text"), QString()),
             u"250"_qs);
}

void TestSettingsStore::restart_keepsValuesAndOrder() {
    StoreFixture f(true);
    QVERIFY(f.store().SaveSetting(kApp, kList, QStringLiteral("b"), QStringLiteral("1")));
    QVERIFY(f.store().SaveSetting(kApp, kList, QStringLiteral("a"), QStringLiteral("2")));
    f.reopen();
    QVERIFY(f.store().SaveSetting(kApp, kList, QStringLiteral("b"), QStringLiteral("3")));
    QVERIFY(f.store().SaveSetting(kApp, kList, QStringLiteral("c"), QStringLiteral("4")));
    f.reopen();
    QCOMPARE(f.store().GetAllSettings(kApp, kList),
             std::optional(rows({{"b", "3"}, {"a", "2"}, {"c", "4"}})));
}

void TestSettingsStore::lockedWriter_saveRefusedAndOldSectionKept() {
    StoreFixture f(true);
    QVERIFY(f.store().ReplaceSection(kApp, kList, rows({{"a", "old"}, {"b", "old"}})));

    sqlite3 *other = nullptr;
    QCOMPARE(sqlite3_open(f.path().toUtf8().constData(), &other), SQLITE_OK);
    QCOMPARE(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    QVERIFY(!f.store().ReplaceSection(kApp, kList, rows({{"c", "new"}})));
    QVERIFY(!f.store().SaveSetting(kApp, kList, QStringLiteral("d"), QStringLiteral("new")));
    // Readers are not blocked by a writer in WAL mode.
    QCOMPARE(f.store().GetAllSettings(kApp, kList),
             std::optional(rows({{"a", "old"}, {"b", "old"}})));
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);

    // The refused save left no transaction open behind it.
    QVERIFY(f.store().ReplaceSection(kApp, kList, rows({{"c", "new"}})));
    f.reopen();
    QCOMPARE(f.store().GetAllSettings(kApp, kList), std::optional(rows({{"c", "new"}})));
}

void TestSettingsStore::file_holdsExactlyTheOneTableInWalMode() {
    StoreFixture f(true);
    QVERIFY(f.store().SaveSetting(kApp, kList, QStringLiteral("k"), QStringLiteral("v")));
    sqlite3 *db = nullptr;
    QCOMPARE(sqlite3_open(f.path().toUtf8().constData(), &db), SQLITE_OK);
    sqlite3_stmt *stmt = nullptr;
    QCOMPARE(sqlite3_prepare_v2(db, "SELECT group_concat(sql, ';') FROM sqlite_schema", -1, &stmt,
                                nullptr),
             SQLITE_OK);
    QCOMPARE(sqlite3_step(stmt), SQLITE_ROW);
    const QString schema =
        QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0)));
    sqlite3_finalize(stmt);
    QCOMPARE(sqlite3_prepare_v2(db, "PRAGMA journal_mode", -1, &stmt, nullptr), SQLITE_OK);
    QCOMPARE(sqlite3_step(stmt), SQLITE_ROW);
    const QString mode =
        QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0)));
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    QCOMPARE(schema, u"CREATE TABLE settings(app TEXT NOT NULL, section TEXT NOT NULL, key TEXT "
                     "NOT NULL, value TEXT NOT NULL, UNIQUE(app, section, key))"_qs);
    QCOMPARE(mode, u"wal"_qs);
}

void TestSettingsStore::failingMemoryStore_changesNothing() {
    MemorySettingsStore s;
    QVERIFY(s.SaveSetting(kApp, kList, QStringLiteral("a"), QStringLiteral("1")));
    s.setFailing(true);
    QVERIFY(!s.SaveSetting(kApp, kList, QStringLiteral("b"), QStringLiteral("2")));
    QVERIFY(!s.ReplaceSection(kApp, kList, {}));
    QVERIFY(!s.DeleteSetting(kApp, kList));
    QCOMPARE(s.GetSetting(kApp, kList, QStringLiteral("a"), QStringLiteral("d")), u"d"_qs);
    QCOMPARE(s.GetAllSettings(kApp, kList), std::nullopt);
    s.setFailing(false);
    QCOMPARE(s.GetAllSettings(kApp, kList), std::optional(rows({{"a", "1"}})));
}

QTEST_GUILESS_MAIN(TestSettingsStore)
#include "tst_settingsstore.moc"
