#include "sqlitesettingsstore.h"
#include "uifixture.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>

using namespace pressbird;
using namespace pressbird::testing;

class TestForm1Restart : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<UiFixture> fx;

    Form1 &form() { return *fx->form; }
    void addLink(const QString &name) {
        form().Text5()->setText(name);
        form().Combo1()->setEditText(QStringLiteral("Exact Match"));
        form().Command1_Click();
    }
    void addButton(const QString &name) {
        form().Text8()->setText(name);
        form().Combo2()->setEditText(QStringLiteral("Contains"));
        form().Command3_Click();
    }
    // A user's tick on a line, saved by the click notification.
    void tick(RuleListWidget *list, int row) {
        list->setFocus();
        list->setCurrentEntry(static_cast<std::int16_t>(row));
        QTest::keyClick(list, Qt::Key_Space);
    }
    void storeRows(const SettingRows &rows) {
        QVERIFY(fx->store->ReplaceSection(kAppName.toString(), QStringLiteral("list"), rows));
    }
    void checkReversalAndTicks() {
        addLink(QStringLiteral("A"));
        addLink(QStringLiteral("B"));
        addLink(QStringLiteral("C"));
        tick(form().ListClick(), 1);
        addButton(QStringLiteral("X"));
        addButton(QStringLiteral("Y"));
        tick(form().ListPush(), 1);

        fx->restart();
        const QStringList reversedLinks = {QStringLiteral("[ ] C -Type: Exact Match"),
                                           QStringLiteral("[x] B -Type: Exact Match"),
                                           QStringLiteral("[ ] A -Type: Exact Match")};
        QCOMPARE(linesOf(*form().ListClick()), reversedLinks);
        QCOMPARE(linesOf(*form().ListPush()),
                 (QStringList{QStringLiteral("[x] Y -Type: Contains"),
                              QStringLiteral("[ ] X -Type: Contains")}));
        QCOMPARE(form().Tag(), WindowMarker::None);

        // Without a save in between, the next start shows the same order...
        fx->restart();
        QCOMPARE(linesOf(*form().ListClick()), reversedLinks);
        // ...and after one it turns back.
        form().ListClick_Click();
        fx->restart();
        QCOMPARE(linesOf(*form().ListClick()).first(), QStringLiteral("[ ] A -Type: Exact Match"));
    }

private Q_SLOTS:
    void init() {
        fx = std::make_unique<UiFixture>();
        fx->start();
    }
    void cleanup() { fx.reset(); }

    void restart_overTheSettingsFile_reversesEachListAndKeepsTicks() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        SettingsOpenResult opened =
            SqliteSettingsStore::open(dir.filePath(QStringLiteral("settings.sqlite3")));
        QCOMPARE(opened.outcome, SettingsOpenResult::Outcome::Opened);
        fx->form.reset();
        fx->store = opened.store.get();
        fx->start();
        checkReversalAndTicks();
        fx->form.reset();
    }

    void firstRun_leavesSkip_untilTheFirstAddSaves() {
        fx->restart();
        QCOMPARE(form().Tag(), WindowMarker::Skip);
        QCOMPARE(form().ListClick()->count() + form().ListPush()->count(), 0);
        addLink(QStringLiteral("Next"));
        QCOMPARE(form().Tag(), WindowMarker::None);
        QCOMPARE(fx->storedList()->size(), 1);
    }

    void badRow_stopsTheLoad_andTicksAreNotSavedUntilTheNextAdd() {
        storeRows(
            {{QStringLiteral("listpush-0"), QStringLiteral("P -Type: Contains -Checked: True")},
             {QStringLiteral("listclick-0"), QStringLiteral("Bad -Type: Contains")},
             {QStringLiteral("listclick-1"),
              QStringLiteral("Never -Type: Contains -Checked: False")}});
        fx->restart();
        QCOMPARE(linesOf(*form().ListPush()), QStringList{QStringLiteral("[x] P -Type: Contains")});
        QCOMPARE(linesOf(*form().ListClick()),
                 QStringList{QStringLiteral("[ ] Bad -Type: Contains")});
        QCOMPARE(form().Tag(), WindowMarker::Skip);

        tick(form().ListClick(), 0);
        form().ListClick()->setCurrentEntry(-1);
        form().ListPush()->setCurrentEntry(0);
        form().DeleteM_Click();
        QCOMPARE(fx->storedList()->size(), 3); // nothing saved while the marker holds

        addButton(QStringLiteral("New"));
        QCOMPARE(form().Tag(), WindowMarker::None);
        QCOMPARE(*fx->storedList(),
                 (SettingRows{{QStringLiteral("listpush-0"),
                               QStringLiteral("New -Type: Contains -Checked: False")},
                              {QStringLiteral("listclick-0"),
                               QStringLiteral("Bad -Type: Contains -Checked: True")}}));
    }
};

QTEST_MAIN(TestForm1Restart)
#include "tst_form1restart.moc"
