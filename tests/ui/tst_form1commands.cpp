#include "scaninterval.h"
#include "scantimer.h"
#include "uifixture.h"

#include <QAction>
#include <QGroupBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>

using namespace pressbird;
using namespace pressbird::testing;

namespace {

const QString kMissingInput = QStringLiteral("Please Enter a Name and Combo Type Option");
const QString kRemoveHint =
    QStringLiteral("Please right click on the item you would like to remove");

QPoint lineCentre(RuleListWidget *list, int row) {
    return list->visualItemRect(list->item(row)).center();
}

} // namespace

class TestForm1Commands : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<UiFixture> fx;
    Form1 *form = nullptr;

    void addLink(const QString &name, const QString &kind) {
        form->Text5()->setText(name);
        form->Combo1()->setEditText(kind);
        QTest::mouseClick(form->Command1(), Qt::LeftButton);
    }
    void addButton(const QString &name, const QString &kind) {
        form->Text8()->setText(name);
        form->Combo2()->setEditText(kind);
        QTest::mouseClick(form->Command3(), Qt::LeftButton);
    }
    void clickLine(RuleListWidget *list, int row) {
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, lineCentre(list, row));
    }

private Q_SLOTS:
    void init() {
        fx = std::make_unique<UiFixture>();
        form = &fx->start();
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form));
    }
    void cleanup() { fx.reset(); }

    void addLinkRule_appendsUntickedLineWithKindAsCaptioned_andSaves() {
        addLink(QStringLiteral("First"), QStringLiteral("Starts With"));
        form->Combo1()->setCurrentIndex(3);
        form->Text5()->setText(QStringLiteral("Next"));
        QTest::mouseClick(form->Command1(), Qt::LeftButton);

        QCOMPARE(linesOf(*form->ListClick()),
                 (QStringList{QStringLiteral("[ ] First -Type: Starts With"),
                              QStringLiteral("[ ] Next -Type: Contains ")}));
        QVERIFY(form->Text5()->text().isEmpty());
        QCOMPARE(form->Combo1()->currentText(), QStringLiteral("Contains "));
        QCOMPARE(form->ListPush()->count(), std::int16_t{0});
        QCOMPARE(fx->stored(QStringLiteral("listclick-1")),
                 QStringLiteral("Next -Type: Contains  -Checked: False"));
        QVERIFY(fx->messages.shown.isEmpty());
    }

    void addButtonRule_goesToThePushListOnly() {
        form->Combo2()->setCurrentIndex(3);
        form->Text8()->setText(QStringLiteral("Next"));
        QTest::mouseClick(form->Command3(), Qt::LeftButton);
        QCOMPARE(linesOf(*form->ListPush()),
                 QStringList{QStringLiteral("[ ] Next -Type: Contains")});
        QCOMPARE(form->ListClick()->count(), std::int16_t{0});
        QVERIFY(form->Text8()->text().isEmpty());
        QCOMPARE(fx->stored(QStringLiteral("listpush-0")),
                 QStringLiteral("Next -Type: Contains -Checked: False"));
    }

    void addWithoutNameOrKind_refusesAndKeepsTheName_data() {
        QTest::addColumn<bool>("linkColumn");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("kind");
        QTest::newRow("link, no kind") << true << QStringLiteral("Next") << QString();
        QTest::newRow("link, no name") << true << QString() << QStringLiteral("Ends With");
        QTest::newRow("button, no kind") << false << QStringLiteral("Next") << QString();
        QTest::newRow("button, no name") << false << QString() << QStringLiteral("Ends With");
    }
    void addWithoutNameOrKind_refusesAndKeepsTheName() {
        QFETCH(bool, linkColumn);
        QFETCH(QString, name);
        QFETCH(QString, kind);
        form->setTag(WindowMarker::Skip);
        if (linkColumn)
            addLink(name, kind);
        else
            addButton(name, kind);
        QCOMPARE(fx->messages.shown.size(), 1);
        QCOMPARE(fx->messages.shown.first().text, kMissingInput);
        QCOMPARE(fx->messages.shown.first().title, QStringLiteral("Pressbird"));
        QCOMPARE(form->ListClick()->count() + form->ListPush()->count(), 0);
        QCOMPARE((linkColumn ? form->Text5() : form->Text8())->text(), name);
        QCOMPARE(form->Tag(), WindowMarker::Skip);
        QVERIFY(!fx->storedList());
    }

    void blankNamesTypedKindsAndDuplicates_areKeptAsTyped() {
        addLink(QStringLiteral("   "), QStringLiteral("fuzzy"));
        addLink(QStringLiteral(" Next"), QStringLiteral("Exact Match"));
        addLink(QStringLiteral(" Next"), QStringLiteral("Exact Match"));
        QCOMPARE(linesOf(*form->ListClick()),
                 (QStringList{QStringLiteral("[ ]     -Type: fuzzy"),
                              QStringLiteral("[ ]  Next -Type: Exact Match"),
                              QStringLiteral("[ ]  Next -Type: Exact Match")}));
        QCOMPARE(fx->storedList()->size(), 3);
        QVERIFY(fx->messages.shown.isEmpty());
    }

    void add_endsTheSkipMarker_andSavesWhatTheListsHold() {
        form->ListPush()->append(QStringLiteral("Loaded -Type: Contains"));
        form->ListPush()->setTicked(0, true);
        form->setTag(WindowMarker::Skip);
        addLink(QStringLiteral("Next"), QStringLiteral("Ends With"));
        QCOMPARE(form->Tag(), WindowMarker::None);
        QCOMPARE(fx->stored(QStringLiteral("listpush-0")),
                 QStringLiteral("Loaded -Type: Contains -Checked: True"));
    }

    void addToAFullList_saysSoAndKeepsTheName() {
        for (int i = 0; i < RuleList::kMaxEntries; ++i)
            QVERIFY(form->ListClick()->append(QString::number(i)));
        form->setTag(WindowMarker::Skip);
        addLink(QStringLiteral("One more"), QStringLiteral("Contains "));
        QCOMPARE(fx->messages.shown.size(), 1);
        QCOMPARE(fx->messages.shown.first().text,
                 QStringLiteral("The list is full: it holds 32767 rules. Delete one before adding "
                                "another."));
        QCOMPARE(fx->messages.shown.first().title, QStringLiteral("Pressbird"));
        QCOMPARE(form->ListClick()->count(), RuleList::kMaxEntries);
        QCOMPARE(form->Text5()->text(), QStringLiteral("One more"));
        QCOMPARE(form->Tag(), WindowMarker::Skip);
        // The other list still takes rules.
        addButton(QStringLiteral("OK"), QStringLiteral("Exact Match"));
        QCOMPARE(form->ListPush()->count(), std::int16_t{1});
    }

    void removeButtons_onlyShowTheHint() {
        addLink(QStringLiteral("Next"), QStringLiteral("Ends With"));
        form->ListClick()->setCurrentEntry(0);
        QTest::mouseClick(form->Command2(), Qt::LeftButton);
        QTest::mouseClick(form->Command4(), Qt::LeftButton);
        QCOMPARE(fx->messages.shown.size(), 2);
        for (const auto &message : fx->messages.shown) {
            QCOMPARE(message.text, kRemoveHint);
            QCOMPARE(message.title, QStringLiteral("Pressbird"));
        }
        QCOMPARE(form->ListClick()->count(), std::int16_t{1});
    }

    void clickOnLine_clearsTheOtherListsHighlight_andSaves() {
        addLink(QStringLiteral("L"), QStringLiteral("Ends With"));
        addButton(QStringLiteral("B"), QStringLiteral("Ends With"));
        clickLine(form->ListPush(), 0);
        clickLine(form->ListClick(), 0);
        QCOMPARE(form->ListClick()->currentEntry(), std::int16_t{0});
        QCOMPARE(form->ListPush()->currentEntry(), std::int16_t{-1});
        clickLine(form->ListPush(), 0);
        QCOMPARE(form->ListClick()->currentEntry(), std::int16_t{-1});
        QCOMPARE(form->ListPush()->currentEntry(), std::int16_t{0});
    }

    void tickingLine_isSavedAtOnce() {
        addButton(QStringLiteral("OK"), QStringLiteral("Exact Match"));
        form->ListPush()->setFocus();
        form->ListPush()->setCurrentEntry(0);
        QTest::keyClick(form->ListPush(), Qt::Key_Space);
        QCOMPARE(form->ListPush()->ticked(0), true);
        QCOMPARE(fx->stored(QStringLiteral("listpush-0")),
                 QStringLiteral("OK -Type: Exact Match -Checked: True"));
    }

    void tickingWhileSkip_isNotSaved() {
        addButton(QStringLiteral("OK"), QStringLiteral("Exact Match"));
        form->setTag(WindowMarker::Skip);
        form->ListPush()->setFocus();
        form->ListPush()->setCurrentEntry(0);
        QTest::keyClick(form->ListPush(), Qt::Key_Space);
        QCOMPARE(fx->stored(QStringLiteral("listpush-0")),
                 QStringLiteral("OK -Type: Exact Match -Checked: False"));
    }

    void rightClick_popsRmenuAtThePointer_withoutMovingTheHighlight() {
        addLink(QStringLiteral("L0"), QStringLiteral("Ends With"));
        addLink(QStringLiteral("L1"), QStringLiteral("Ends With"));
        addButton(QStringLiteral("B"), QStringLiteral("Ends With"));
        clickLine(form->ListClick(), 1);
        const QPoint at = lineCentre(form->ListPush(), 0);
        QTest::mousePress(form->ListPush()->viewport(), Qt::RightButton, {}, at);
        QTRY_VERIFY(form->Rmenu()->isVisible());
        QCOMPARE(form->Rmenu()->pos(), form->ListPush()->viewport()->mapToGlobal(at));
        QCOMPARE(form->ListPush()->currentEntry(), std::int16_t{-1});

        // Delete takes the highlighted line of the other list, not the one under the pointer.
        form->DeleteM()->trigger();
        form->Rmenu()->hide();
        QCOMPARE(linesOf(*form->ListClick()),
                 QStringList{QStringLiteral("[ ] L0 -Type: Ends With")});
        QCOMPARE(form->ListPush()->count(), std::int16_t{1});
        QCOMPARE(form->ListClick()->currentEntry(), std::int16_t{-1});
        QCOMPARE(fx->storedList()->size(), 2);
    }

    void delete_removesTheHighlightedLineOfEachList() {
        addLink(QStringLiteral("L"), QStringLiteral("Ends With"));
        addButton(QStringLiteral("B0"), QStringLiteral("Ends With"));
        addButton(QStringLiteral("B1"), QStringLiteral("Ends With"));
        form->ListClick()->setCurrentEntry(0);
        form->ListPush()->setCurrentEntry(0);
        form->DeleteM_Click();
        QCOMPARE(form->ListClick()->count(), std::int16_t{0});
        QCOMPARE(linesOf(*form->ListPush()),
                 QStringList{QStringLiteral("[ ] B1 -Type: Ends With")});
        QCOMPARE(fx->storedList()->size(), 1);
    }

    void delete_withNothingHighlighted_removesNothingAndSaves() {
        addLink(QStringLiteral("L"), QStringLiteral("Ends With"));
        fx->store->DeleteSetting(kAppName.toString(), QStringLiteral("list"));
        form->DeleteM_Click();
        QCOMPARE(form->ListClick()->count(), std::int16_t{1});
        QCOMPARE(fx->storedList()->size(), 1);
    }

    void deletingTheLastLine_removesTheSection() {
        addLink(QStringLiteral("L"), QStringLiteral("Ends With"));
        form->ListClick()->setCurrentEntry(0);
        form->DeleteM_Click();
        QVERIFY(!fx->storedList());
    }

    void calibrationCancel_keepsTheTextButSavesAndAppliesNothing() {
        form->Calibration()->trigger();
        QVERIFY(form->Frame1()->isVisible());
        form->Text1()->setText(QStringLiteral("250"));
        QTest::mouseClick(form->Command8(), Qt::LeftButton);
        QVERIFY(!form->Frame1()->isVisible());
        QCOMPARE(form->Text1()->text(), QStringLiteral("250"));
        QCOMPARE(form->Timer1().interval(), 1000);
        QCOMPARE(fx->store->GetSetting(kAppName.toString(), QStringLiteral("Opt"),
                                       QStringLiteral("Text1Text"), QStringLiteral("none")),
                 QStringLiteral("none"));
        form->Calibration_Click();
        QTest::mouseClick(form->Command5(), Qt::LeftButton);
        QCOMPARE(form->Timer1().interval(), 250);
    }

    void calibrationOk_savesAsTypedAndAppliesOnlyWhatTheTimerTakes_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("interval");
        QTest::newRow("whole") << QStringLiteral("250") << 250;
        QTest::newRow("zero stops the ticks") << QStringLiteral("0") << 0;
        QTest::newRow("fraction rounds") << QStringLiteral("1500.4") << 1500;
        QTest::newRow("half to even") << QStringLiteral("2.5") << 2;
        QTest::newRow("blanks around") << QStringLiteral(" 300 ") << 300;
        QTest::newRow("largest") << QStringLiteral("65535") << 65535;
        QTest::newRow("rounds past the largest") << QStringLiteral("65535.5") << 777;
        QTest::newRow("too large") << QStringLiteral("70000") << 777;
        QTest::newRow("negative") << QStringLiteral("-5") << 777;
        QTest::newRow("letters") << QStringLiteral("fast") << 777;
        QTest::newRow("empty") << QString() << 777;
        QTest::newRow("grouped") << QStringLiteral("5,000") << 777;
        QTest::newRow("not finite") << QStringLiteral("inf") << 777;
    }
    void calibrationOk_savesAsTypedAndAppliesOnlyWhatTheTimerTakes() {
        QFETCH(QString, text);
        QFETCH(int, interval);
        QVERIFY(form->Timer1().setInterval(777));
        form->Timer1().setEnabled(true);
        form->Calibration_Click();
        form->Text1()->setText(text);
        QTest::mouseClick(form->Command5(), Qt::LeftButton);
        QCOMPARE(fx->store->GetSetting(kAppName.toString(), QStringLiteral("Opt"),
                                       QStringLiteral("Text1Text"), QStringLiteral("none")),
                 text);
        QCOMPARE(form->Timer1().interval(), interval);
        QVERIFY(form->Timer1().isEnabled());
        QVERIFY(!form->Frame1()->isVisible());
        QCOMPARE(form->Text1()->text(), text);
    }

    void minimizeOnStartup_togglesAndSavesTheWord() {
        const auto stored = [this] {
            return fx->store->GetSetting(kAppName.toString(), QStringLiteral("option"),
                                         QStringLiteral("minappsu"), QStringLiteral("none"));
        };
        form->MinimizeApplicationonStartup()->trigger();
        QVERIFY(form->MinimizeApplicationonStartup()->isChecked());
        QCOMPARE(stored(), QStringLiteral("True"));
        form->MinimizeApplicationonStartup()->trigger();
        QVERIFY(!form->MinimizeApplicationonStartup()->isChecked());
        QCOMPARE(stored(), QStringLiteral("False"));
    }

    void failingStore_losesNoRuleFromTheLists_andSaysSoOnce() {
        fx->ownStore.setFailing(true);
        addLink(QStringLiteral("Next"), QStringLiteral("Ends With"));
        addLink(QStringLiteral("Other"), QStringLiteral("Ends With"));
        form->Calibration_Click();
        QTest::mouseClick(form->Command5(), Qt::LeftButton);
        QCOMPARE(form->ListClick()->count(), std::int16_t{2});
        QCOMPARE(fx->messages.shown.size(), 1);
        QVERIFY(fx->messages.shown.constFirst().text.startsWith(
            QStringLiteral("Your change could not be saved.")));
        fx->ownStore.setFailing(false);
        form->ListClick_Click();
        QCOMPARE(fx->storedList()->size(), 2);
        // A later refusal is news again.
        fx->ownStore.setFailing(true);
        form->ListClick_Click();
        QCOMPARE(fx->messages.shown.size(), 2);
    }
};

QTEST_MAIN(TestForm1Commands)
#include "tst_form1commands.moc"
