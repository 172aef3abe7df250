#include "form2255.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>

using pressbird::Form2255;

class TestForm2255 : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<Form2255> prompt;

private Q_SLOTS:
    void init() {
        prompt = std::make_unique<Form2255>();
        prompt->show();
        QVERIFY(QTest::qWaitForWindowExposed(prompt.get()));
        prompt->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(prompt.get()));
    }
    void cleanup() { prompt.reset(); }

    void window_isBorderlessCentredAndOfDesignSize() {
        QVERIFY(prompt->windowFlags() & Qt::FramelessWindowHint);
        QCOMPARE(prompt->size(), QSize(434, 162));
        QCOMPARE(prompt->geometry().center(), prompt->screen()->geometry().center());
        QCOMPARE(prompt->windowTitle(), QStringLiteral("Form2255"));
    }

    void controls_haveTheirCaptionsPlacesAndFont() {
        QCOMPARE(prompt->Label1()->text(),
                 QStringLiteral("Would you like to have Pressbird 2.1 run at Start up?"));
        QCOMPARE(prompt->Label1()->geometry(), QRect(40, 24, 361, 49));
        QVERIFY(prompt->Label1()->wordWrap());
        QCOMPARE(prompt->Label1()->font().pointSizeF(), 13.5);
        QCOMPARE(prompt->Label1()->font().weight(), QFont::Normal);
        QCOMPARE(prompt->Command1()->text(), QStringLiteral("&Yes"));
        QCOMPARE(prompt->Command1()->geometry(), QRect(104, 80, 81, 33));
        QCOMPARE(prompt->Command2()->text(), QStringLiteral("&No"));
        QCOMPARE(prompt->Command2()->geometry(), QRect(216, 80, 81, 33));
        QCOMPARE(prompt->Check1()->text(), QStringLiteral("Do not ask this Qestion Again"));
        QCOMPARE(prompt->Check1()->geometry(), QRect(120, 120, 177, 17));
        QVERIFY(!prompt->Check1()->isChecked());
    }

    void focusStartsOnYes_andTabRunsYesNoCheck() {
        QCOMPARE(QApplication::focusWidget(), prompt->Command1());
        QTest::keyClick(prompt.get(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), prompt->Command2());
        QTest::keyClick(prompt.get(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), prompt->Check1());
    }

    void accessKeysPress_andEnterOrEscPressNothingElse() {
        QSignalSpy yes(prompt->Command1(), &QPushButton::clicked);
        QSignalSpy no(prompt->Command2(), &QPushButton::clicked);
        // An access key presses its button the way a click would, shown briefly down.
        QTest::keyClick(prompt.get(), Qt::Key_Y, Qt::AltModifier);
        QTRY_COMPARE(yes.size(), 1);
        QTest::keyClick(prompt.get(), Qt::Key_N, Qt::AltModifier);
        QTRY_COMPARE(no.size(), 1);
        QCOMPARE(yes.size(), 1);
        prompt->Check1()->setFocus();
        QTest::keyClick(prompt->Check1(), Qt::Key_Return);
        QTest::keyClick(prompt->Check1(), Qt::Key_Escape);
        QCOMPARE(yes.size() + no.size(), 2);
        QVERIFY(prompt->isVisible());
        QVERIFY(!prompt->Command1()->isDefault() && !prompt->Command2()->isDefault());
    }

    void doubleFrame_isDrawnOnItsOutlines() {
        const QImage image = prompt->grab().toImage();
        const QColor ink = prompt->palette().color(QPalette::WindowText);
        const QColor paper = prompt->palette().color(QPalette::Window);
        // Shape1: 2 px from (8, 8); Shape2: 1 px from (16, 16).
        QCOMPARE(image.pixelColor(200, 8), ink);
        QCOMPARE(image.pixelColor(200, 9), ink);
        QCOMPARE(image.pixelColor(200, 10), paper);
        QCOMPARE(image.pixelColor(200, 16), ink);
        QCOMPARE(image.pixelColor(200, 17), paper);
        QCOMPARE(image.pixelColor(8 + 417 - 1, 80), ink);
        QCOMPARE(image.pixelColor(16 + 401 - 1, 80), ink);
        QCOMPARE(image.pixelColor(4, 80), paper);
    }
};

QTEST_MAIN(TestForm2255)
#include "tst_form2255.moc"
