#include "rulelistwidget.h"

#include <QSignalSpy>
#include <QStyle>
#include <QTest>

using pressbird::RuleListWidget;

class TestRuleListWidget : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<RuleListWidget> list;

    void fill(const QStringList &lines) {
        for (const QString &line : lines)
            list->append(line);
    }
    QPoint lineCentre(int row) { return list->visualItemRect(list->item(row)).center(); }
    QPoint tickBoxOf(int row) {
        const QRect rect = list->visualItemRect(list->item(row));
        const int indicator = list->style()->pixelMetric(QStyle::PM_IndicatorWidth);
        const int margin = list->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1;
        return {rect.left() + margin + indicator / 2, rect.center().y()};
    }

private Q_SLOTS:
    void init() {
        list = std::make_unique<RuleListWidget>();
        list->resize(169, 184);
        list->show();
        QVERIFY(QTest::qWaitForWindowExposed(list.get()));
    }
    void cleanup() { list.reset(); }

    void newLines_startUnticked_inTheirPlace() {
        list->append(QStringLiteral("B"));
        list->setTicked(0, true);
        list->insertAtTop(QStringLiteral("A"));
        list->append(QStringLiteral("C"));
        QCOMPARE(list->count(), std::int16_t{3});
        QCOMPARE(list->text(0), QStringLiteral("A"));
        QCOMPARE(list->text(2), QStringLiteral("C"));
        QCOMPARE(list->ticked(0), false);
        QCOMPARE(list->ticked(1), true);
        QCOMPARE(list->ticked(2), false);
        QCOMPARE(list->text(3), std::nullopt);
        QCOMPARE(list->ticked(-1), std::nullopt);
    }

    void removingHighlightedLine_leavesNoHighlight() {
        // The view on its own would move the highlight to the next line.
        fill({QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")});
        list->setCurrentEntry(1);
        list->remove(1);
        QCOMPARE(list->currentEntry(), std::int16_t{-1});
        QCOMPARE(list->selectedItems().size(), 0);
    }

    void removingOrInsertingElsewhere_keepsHighlightOnItsLine() {
        fill({QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")});
        list->setCurrentEntry(2);
        list->remove(0);
        QCOMPARE(list->currentEntry(), std::int16_t{1});
        list->insertAtTop(QStringLiteral("Z"));
        QCOMPARE(list->currentEntry(), std::int16_t{2});
        QCOMPARE(list->text(2), QStringLiteral("C"));
        list->remove(0);
        list->setCurrentEntry(0);
        list->remove(1);
        QCOMPARE(list->currentEntry(), std::int16_t{0});
    }

    void fullList_refusesNewLines() {
        for (int i = 0; i < RuleListWidget::kMaxEntries; ++i)
            QVERIFY(list->append(QString::number(i)));
        QVERIFY(!list->append(QStringLiteral("one too many")));
        QVERIFY(!list->insertAtTop(QStringLiteral("one too many")));
        QCOMPARE(list->count(), RuleListWidget::kMaxEntries);
    }

    void clickOnLine_highlightsItAndNotifies() {
        fill({QStringLiteral("A"), QStringLiteral("B")});
        QSignalSpy clicks(list.get(), &RuleListWidget::Click);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, lineCentre(1));
        QCOMPARE(list->currentEntry(), std::int16_t{1});
        QCOMPARE(clicks.size(), 1);
        QCOMPARE(list->ticked(1), false);
    }

    void clickBelowTheLastLine_keepsTheHighlightAndIsNoClick() {
        fill({QStringLiteral("A"), QStringLiteral("B")});
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, lineCentre(1));
        QSignalSpy clicks(list.get(), &RuleListWidget::Click);
        const QPoint blank(lineCentre(1).x(), list->viewport()->height() - 5);
        QVERIFY(!list->indexAt(blank).isValid());
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, blank);
        QCOMPARE(list->currentEntry(), std::int16_t{1});
        QCOMPARE(clicks.size(), 0);
        QVERIFY(list->hasFocus());
    }

    void tickBoxByMouse_togglesAndNotifiesOnce() {
        fill({QStringLiteral("A"), QStringLiteral("B")});
        QSignalSpy clicks(list.get(), &RuleListWidget::Click);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, tickBoxOf(1));
        QCOMPARE(list->ticked(1), true);
        QCOMPARE(clicks.size(), 1);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, tickBoxOf(1));
        QCOMPARE(list->ticked(1), false);
        QCOMPARE(clicks.size(), 2);
    }

    // The scan leaves out a page it found idle only while the revision stands:
    // every change a user or the code makes must move it, and nothing else.
    void everyChangeToTheRules_movesTheRevision_highlightDoesNot() {
        fill({QStringLiteral("A"), QStringLiteral("B")});
        quint64 seen = list->revision();
        const auto moved = [&] {
            const bool changed = list->revision() != seen;
            seen = list->revision();
            return changed;
        };
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, tickBoxOf(1));
        QVERIFY(moved());
        list->setFocus();
        list->setCurrentEntry(0);
        QVERIFY(!moved());
        QTest::keyClick(list.get(), Qt::Key_Space);
        QVERIFY(moved());
        list->setTicked(0, false);
        QVERIFY(moved());
        list->insertAtTop(QStringLiteral("C"));
        QVERIFY(moved());
        list->remove(2);
        QVERIFY(moved());
    }

    void keyboard_movesHighlightAndTicks_withNotifications() {
        fill({QStringLiteral("A"), QStringLiteral("B")});
        list->setFocus();
        list->setCurrentEntry(0);
        QSignalSpy clicks(list.get(), &RuleListWidget::Click);
        QTest::keyClick(list.get(), Qt::Key_Down);
        QCOMPARE(list->currentEntry(), std::int16_t{1});
        QCOMPARE(clicks.size(), 1);
        QTest::keyClick(list.get(), Qt::Key_Space);
        QCOMPARE(list->ticked(1), true);
        QCOMPARE(clicks.size(), 2);
        // A key that changes nothing is no click.
        QTest::keyClick(list.get(), Qt::Key_Down);
        QCOMPARE(clicks.size(), 2);
    }

    void rightPress_neitherMovesHighlightNorTicks() {
        fill({QStringLiteral("A"), QStringLiteral("B")});
        list->setCurrentEntry(0);
        QSignalSpy clicks(list.get(), &RuleListWidget::Click);
        QSignalSpy downs(list.get(), &RuleListWidget::MouseDown);
        QTest::mouseClick(list->viewport(), Qt::RightButton, {}, tickBoxOf(1));
        QTest::mouseClick(list->viewport(), Qt::RightButton, {}, lineCentre(1));
        QCOMPARE(list->currentEntry(), std::int16_t{0});
        QCOMPARE(list->ticked(1), false);
        QCOMPARE(clicks.size(), 0);
        QCOMPARE(downs.size(), 2);
        QCOMPARE(downs.at(0).at(0).toInt(), 2);
        QCOMPARE(downs.at(0).at(1).toPoint(), list->viewport()->mapToGlobal(tickBoxOf(1)));
    }

    void changesFromCode_raiseNoClick() {
        QSignalSpy clicks(list.get(), &RuleListWidget::Click);
        fill({QStringLiteral("A"), QStringLiteral("B")});
        list->setTicked(0, true);
        list->setCurrentEntry(1);
        list->setCurrentEntry(-1);
        list->remove(0);
        QCOMPARE(clicks.size(), 0);
    }

    void focusFromKeyboard_highlightsNothing() {
        // A view gives the first line keyboard focus on entry; that is not a choice.
        fill({QStringLiteral("A"), QStringLiteral("B")});
        list->clearFocus();
        QFocusEvent focusIn(QEvent::FocusIn, Qt::TabFocusReason);
        QApplication::sendEvent(list.get(), &focusIn);
        QCOMPARE(list->currentEntry(), std::int16_t{-1});
    }
};

QTEST_MAIN(TestRuleListWidget)
#include "tst_rulelistwidget.moc"
