#include "memorysettingsstore.h"
#include "preferences.h"
#include "settings.h"
#include "storefixture.h"

#include <QTest>

using namespace pressbird;
using namespace pressbird::testing;

namespace {
const QString kApp = QStringLiteral("Pressbird");
const QString kSection = QStringLiteral("preferences");
} // namespace

// The user's page preferences in the settings file: kept in a section of
// their own, read back as they were set, and never read as something the
// user did not choose.
class TestPreferences : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void set_isReadBackAfterAReopen_andLeavesTheOtherSectionsAlone_data() { addStoreRows(); }
    void set_isReadBackAfterAReopen_andLeavesTheOtherSectionsAlone() {
        QFETCH(bool, onFile);
        StoreFixture fixture(onFile);
        const SettingRows others{{u"Text1Text"_qs, u"250"_qs}};
        for (const QString &section : {u"Opt"_qs, u"StartUpQ"_qs, u"option"_qs, u"list"_qs})
            QVERIFY(fixture.store().ReplaceSection(kApp, section, others));
        {
            Settings settings(fixture.store());
            Preferences preferences(settings);
            QCOMPARE(preferences.pages(), PagePreferences{});
            QCOMPARE(preferences.set(u"visible-only"_qs, u"on"_qs), std::nullopt);
            QCOMPARE(preferences.set(u"pages"_qs, u"today"_qs), std::nullopt);
        }
        fixture.reopen();
        Settings settings(fixture.store());
        Preferences preferences(settings);
        QCOMPARE(preferences.pages(), (PagePreferences{true, true}));
        QCOMPARE(fixture.store().GetAllSettings(kApp, kSection),
                 (SettingRows{{u"visible-only"_qs, u"on"_qs}, {u"pages"_qs, u"today"_qs}}));
        for (const QString &section : {u"Opt"_qs, u"StartUpQ"_qs, u"option"_qs, u"list"_qs})
            QCOMPARE(fixture.store().GetAllSettings(kApp, section), std::optional(others));
    }

    // Read at every scan: the user hears of a value once, not at each read.
    void unreadableStoredValue_readsAsTheDefault_andIsToldOnce_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("stored");
        QTest::newRow("pages, unknown") << u"pages"_qs << u"modern"_qs;
        QTest::newRow("pages, other case") << u"pages"_qs << u"TODAY"_qs;
        QTest::newRow("pages, blank") << u"pages"_qs << u" today"_qs;
        QTest::newRow("pages, empty") << u"pages"_qs << QString();
        QTest::newRow("visible-only, a boolean") << u"visible-only"_qs << u"true"_qs;
        QTest::newRow("visible-only, a number") << u"visible-only"_qs << u"1"_qs;
    }
    void unreadableStoredValue_readsAsTheDefault_andIsToldOnce() {
        QFETCH(QString, key);
        QFETCH(QString, stored);
        MemorySettingsStore store;
        QVERIFY(store.SaveSetting(kApp, kSection, key, stored));
        Settings settings(store);
        QStringList told;
        settings.setReporter([&told](const QString &text) { told << text; });
        Preferences preferences(settings);
        for (int scan = 0; scan < 3; ++scan)
            QCOMPARE(preferences.pages(), PagePreferences{});
        QCOMPARE(preferences.value(*findPreference(key)),
                 findPreference(key)->defaultValue().toString());
        QCOMPARE(told.size(), 1);
        QVERIFY2(told.constFirst().contains(key) &&
                     told.constFirst().contains(u'"' + stored + u'"'),
                 qPrintable(told.constFirst()));
        QCOMPARE(store.GetSetting(kApp, kSection, key, {}), stored); // left for the user to see
    }
};

QTEST_GUILESS_MAIN(TestPreferences)
#include "tst_preferences.moc"
