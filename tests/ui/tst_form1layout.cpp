#include "programicons.h"
#include "scantimer.h"
#include "uifixture.h"

#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>

using namespace pressbird;
using namespace pressbird::testing;

namespace {

struct Control {
    const char *name;
    const char *kind;
    const char *parent;
    QRect twips;
};

// Top of the stacking order first.
const QList<Control> kClientControls = {
    {"Frame1", "QGroupBox", "client", {1680, 1320, 2895, 1455}},
    {"Combo2", "QComboBox", "client", {4680, 480, 1215, 315}},
    {"Combo1", "QComboBox", "client", {1440, 480, 1215, 315}},
    {"Command4", "QPushButton", "client", {4680, 840, 1215, 375}},
    {"Command3", "QPushButton", "client", {3360, 840, 1215, 375}},
    {"Command2", "QPushButton", "client", {1440, 840, 1215, 375}},
    {"Command1", "QPushButton", "client", {120, 840, 1215, 375}},
    {"ListPush", "pressbird::RuleListWidget", "client", {3360, 1320, 2535, 2760}},
    {"ListClick", "pressbird::RuleListWidget", "client", {120, 1320, 2535, 2760}},
    {"Text8", "QLineEdit", "client", {3360, 480, 2535, 285}},
    {"Text5", "QLineEdit", "client", {120, 480, 2535, 285}},
    {"Label2", "QLabel", "client", {3360, 120, 2535, 495}},
    {"Label1", "QLabel", "client", {120, 120, 2535, 495}},
    {"Image1", "QLabel", "client", {2760, 1680, 480, 480}},
    {"Image2", "QLabel", "client", {2760, 2400, 480, 480}},
};
const QList<Control> kFrameControls = {
    {"Command8", "QPushButton", "Frame1", {1440, 1080, 975, 255}},
    {"Text1", "QLineEdit", "Frame1", {960, 720, 975, 285}},
    {"Command5", "QPushButton", "Frame1", {360, 1080, 975, 255}},
    {"Label4", "QLabel", "Frame1", {360, 240, 2295, 615}},
};

QRect pixels(const QRect &twips) {
    return {twips.x() / 15, twips.y() / 15, twips.width() / 15, twips.height() / 15};
}

// Children that are controls of the table, top of the stack first.
QStringList stackOf(QWidget *container) {
    QStringList names;
    for (QObject *child : container->children()) {
        auto *widget = qobject_cast<QWidget *>(child);
        if (widget && !widget->objectName().isEmpty() && !widget->objectName().startsWith(u"qt_"))
            names.prepend(widget->objectName());
    }
    return names;
}

QStringList namesOf(const QList<Control> &controls) {
    QStringList names;
    for (const Control &control : controls)
        names.append(QString::fromLatin1(control.name));
    return names;
}

} // namespace

class TestForm1Layout : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<UiFixture> fx;
    Form1 *form = nullptr;

private Q_SLOTS:
    void init() {
        fx = std::make_unique<UiFixture>();
        form = &fx->start();
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form));
    }
    void cleanup() { fx.reset(); }

    void controls_haveTheirKindPlaceAndSize_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("parent");
        QTest::addColumn<QRect>("geometry");
        for (const auto &table : {kClientControls, kFrameControls})
            for (const Control &control : table)
                QTest::newRow(control.name)
                    << QString::fromLatin1(control.kind) << QString::fromLatin1(control.parent)
                    << pixels(control.twips);
    }
    void controls_haveTheirKindPlaceAndSize() {
        auto *widget = form->findChild<QWidget *>(QString::fromLatin1(QTest::currentDataTag()));
        QVERIFY(widget);
        QFETCH(QString, kind);
        QFETCH(QString, parent);
        QFETCH(QRect, geometry);
        QCOMPARE(QString::fromLatin1(widget->metaObject()->className()), kind);
        QCOMPARE(widget->parentWidget()->objectName(), parent);
        QCOMPARE(widget->geometry(), geometry);
    }

    void clientArea_isBelowTheMenuBarAtDesignSize() {
        QCOMPARE(form->centralWidget()->size(), QSize(403, 278));
        QVERIFY(form->centralWidget()->y() >= form->menuBar()->height());
    }

    void stackingOrder_keepsOverlapsAsDesigned() {
        // The combo boxes lie over the text boxes' right parts, the frame over both lists.
        QCOMPARE(stackOf(form->centralWidget()), namesOf(kClientControls));
        QCOMPARE(stackOf(form->Frame1()), namesOf(kFrameControls));
        const QPoint overlap = form->Combo1()->geometry().center();
        QCOMPARE(form->centralWidget()->childAt(overlap)->objectName().isEmpty()
                     ? form->centralWidget()->childAt(overlap)->parentWidget()
                     : form->centralWidget()->childAt(overlap),
                 form->Combo1());
    }

    void shownFrame_takesTheClicksOnTheListPartsItCovers() {
        form->Calibration_Click();
        QWidget *client = form->centralWidget();
        const QPoint covered(form->ListClick()->geometry().right() - 5,
                             form->Frame1()->geometry().top() + 5);
        const QPoint uncovered(form->ListClick()->geometry().left() + 5,
                               form->ListClick()->geometry().bottom() - 5);
        QCOMPARE(client->childAt(covered), form->Frame1());
        QVERIFY(form->ListClick()->isAncestorOf(client->childAt(uncovered)));
        QCOMPARE(form->ListPush()->geometry().topLeft(), QPoint(224, 88)); // nothing moved
    }

    void captionsAndInitialTexts_areTheDesignOnes() {
        QCOMPARE(form->windowTitle(), QStringLiteral("Pressbird 2.1 - pressbird-tools.example"));
        QCOMPARE(form->Label1()->text(), QStringLiteral("Links to Auto Click"));
        QCOMPARE(form->Label2()->text(), QStringLiteral("Buttons to Auto Push"));
        QCOMPARE(form->Label4()->text(),
                 QStringLiteral("Enter 1000 for each second to check for new links or icons"));
        QVERIFY(form->Label4()->wordWrap());
        QCOMPARE(form->Frame1()->title(), QStringLiteral("Calibration"));
        QCOMPARE(form->Command1()->text(), QStringLiteral("Add"));
        QCOMPARE(form->Command2()->text(), QStringLiteral("Remove"));
        QCOMPARE(form->Command3()->text(), QStringLiteral("Add"));
        QCOMPARE(form->Command4()->text(), QStringLiteral("Remove"));
        QCOMPARE(form->Command5()->text(), QStringLiteral("OK"));
        QCOMPARE(form->Command8()->text(), QStringLiteral("Cancel"));
        QCOMPARE(form->Text1()->text(), QStringLiteral("5000"));
        QVERIFY(form->Text5()->text().isEmpty());
        QVERIFY(form->Text8()->text().isEmpty());
        QVERIFY(form->Combo1()->isEditable());
        QVERIFY(form->Combo1()->currentText().isEmpty());
        QVERIFY(form->Combo2()->currentText().isEmpty());
        QCOMPARE(form->ListClick()->count(), std::int16_t{0});
        QCOMPARE(form->ListPush()->count(), std::int16_t{0});
        QVERIFY(!form->Frame1()->isVisible());
        QVERIFY(!form->findChild<QWidget *>(QStringLiteral("Image1"))->isVisible());
        QVERIFY(!form->findChild<QWidget *>(QStringLiteral("Image2"))->isVisible());
        QCOMPARE(form->Tag(), WindowMarker::None);
        QCOMPARE(form->Timer1().interval(), 1000);
        QVERIFY(!form->Timer1().isEnabled());
    }

    void textBoxes_haveNoLengthLimit() {
        // A line edit caps at 32767 characters unless told otherwise.
        const QString longName(40000, u'x');
        form->Text5()->setText(longName);
        QCOMPARE(form->Text5()->text().size(), longName.size());
    }

    void kindBoxes_takeTypedTextAsItStands() {
        // Neither completion nor adding the typed text to the list.
        QTest::keyClicks(form->Combo1(), QStringLiteral("S"));
        QCOMPARE(form->Combo1()->currentText(), QStringLiteral("S"));
        QTest::keyClick(form->Combo1(), Qt::Key_Return);
        QCOMPARE(form->Combo1()->count(), 4);
    }

    void headingFonts_areSans975Regular() {
        for (QLabel *label : {form->Label1(), form->Label2()}) {
            QCOMPARE(label->font().pointSizeF(), 9.75);
            QCOMPARE(label->font().weight(), QFont::Normal);
            QVERIFY(!label->font().italic());
            QVERIFY(!label->font().underline());
        }
    }

    void tabOrder_runsAsDesigned_andFocusStartsInText5() {
        QCOMPARE(QApplication::focusWidget(), form->Text5());
        form->Calibration_Click();
        const QList<QWidget *> expected = {
            form->Text5(),    form->Text8(),    form->ListClick(), form->ListPush(),
            form->Command1(), form->Command2(), form->Command3(),  form->Command4(),
            form->Combo1(),   form->Combo2(),   form->Command5(),  form->Text1(),
            form->Command8(),
        };
        for (qsizetype i = 1; i < expected.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QWidget *focus = QApplication::focusWidget();
            if (focus && focus->parentWidget() == expected.at(i))
                focus = focus->parentWidget(); // a combo box's own line edit
            QCOMPARE(focus, expected.at(i));
        }
    }

    void hiddenFrame_takesNoFocus() {
        form->Combo2()->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), form->Text5());
    }

    void menus_holdTheDesignItems() {
        const QList<QAction *> bar = form->menuBar()->actions();
        QCOMPARE(bar.size(), 3);
        QCOMPARE(bar.at(0)->menu(), form->FileM());
        QCOMPARE(bar.at(1)->menu(), form->OptionsM());
        QCOMPARE(bar.at(2)->menu(), form->Help2());
        QCOMPARE(form->FileM()->title(), QStringLiteral("File"));
        QCOMPARE(form->OptionsM()->title(), QStringLiteral("Options"));
        QCOMPARE(form->Help2()->title(), QStringLiteral("Help"));

        const auto texts = [](QMenu *menu) {
            QStringList list;
            for (QAction *action : menu->actions())
                list.append(action->isSeparator() ? QStringLiteral("-") : action->text());
            return list;
        };
        QCOMPARE(texts(form->FileM()),
                 (QStringList{QStringLiteral("About"), QStringLiteral("Minimize"),
                              QStringLiteral("-"), QStringLiteral("Exit")}));
        QCOMPARE(texts(form->OptionsM()),
                 (QStringList{QStringLiteral("Minimize Application on Startup"),
                              QStringLiteral("Calibration")}));
        QCOMPARE(texts(form->Help2()),
                 (QStringList{QStringLiteral("About"), QStringLiteral("Help")}));
        QCOMPARE(texts(form->Rmenu()), QStringList{QStringLiteral("Delete")});
        QCOMPARE(form->Rmenu()->title(), QStringLiteral("Rmenu"));
        QVERIFY(!bar.contains(form->Rmenu()->menuAction()));

        for (QMenu *menu : {form->FileM(), form->OptionsM(), form->Help2(), form->Rmenu()})
            for (QAction *action : menu->actions()) {
                QVERIFY(action->shortcut().isEmpty());
                QVERIFY(action->isEnabled());
                QVERIFY(!action->isChecked());
                QVERIFY(!action->text().contains(u'&'));
            }
        QVERIFY(form->MinimizeApplicationonStartup()->isCheckable());
    }

    void titleBar_hasMinimiseAndClose_butNoMaximise() {
        const Qt::WindowFlags flags = form->windowFlags();
        QVERIFY(flags & Qt::WindowMinimizeButtonHint);
        QVERIFY(flags & Qt::WindowCloseButtonHint);
        QVERIFY(flags & Qt::WindowSystemMenuHint);
        QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    }

    void resize_movesAndStretchesNothing() {
        const QRect before = form->ListPush()->geometry();
        form->resize(900, 700);
        QTest::qWait(0);
        QCOMPARE(form->ListPush()->geometry(), before);
        form->resize(200, 100);
        QTest::qWait(0);
        QCOMPARE(form->ListPush()->geometry(), before);
    }

    void closeRequest_isRefused_untilTheFinalClose() {
        QVERIFY(!form->close());
        QVERIFY(form->isVisible());
        form->allowFinalClose();
        QVERIFY(form->close());
        QVERIFY(!form->isVisible());
    }

    void menuCommands_forTheShell_raiseTheirSignals() {
        QSignalSpy minimize(form, &Form1::minimizeRequested);
        QSignalSpy exit(form, &Form1::exitRequested);
        QSignalSpy help(form, &Form1::helpRequested);
        form->Minimize()->trigger();
        form->ExitM()->trigger();
        form->Helpf()->trigger();
        QCOMPARE(minimize.size(), 1);
        QCOMPARE(exit.size(), 1);
        QCOMPARE(help.size(), 1);
        QVERIFY(form->isVisible()); // the shell decides what they do
    }

    void aboutFromEitherMenu_showsTheSameBox() {
        form->AboutFF()->trigger();
        form->About2()->trigger();
        QCOMPARE(fx->messages.shown.size(), 2);
        for (const auto &message : fx->messages.shown) {
            QCOMPARE(message.text, QStringLiteral("Pressbird 2.1"));
            QCOMPARE(message.title, QStringLiteral("Pressbird"));
        }
        QVERIFY(!form->Timer1().isEnabled());
        QVERIFY(!fx->storedList());
    }

    void icons_haveTheirSizesInSixteenColours() {
        QCOMPARE(form->Image1().availableSizes(), (QList<QSize>{{32, 32}, {16, 16}}));
        QCOMPARE(form->Image2().availableSizes(), (QList<QSize>{{32, 32}}));
        QVERIFY(!form->windowIcon().isNull());
        const auto colours = [](const QImage &image) {
            QSet<QRgb> seen;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    if (qAlpha(image.pixel(x, y)) != 0)
                        seen.insert(image.pixel(x, y));
            return seen;
        };
        const QImage on = RenderIconImage(QStringLiteral(":/pressbird/icons/pressbird.svg"), 32);
        const QImage off =
            RenderIconImage(QStringLiteral(":/pressbird/icons/pressbird-off.svg"), 32);
        QVERIFY(!on.isNull() && !off.isNull());
        const QSet<QRgb> onColours = colours(on);
        const QSet<QRgb> offColours = colours(off);
        const QSet<QRgb> palette(IconPalette().cbegin(), IconPalette().cend());
        QVERIFY(palette.contains(onColours));
        QVERIFY(palette.contains(offColours));
        QVERIFY(onColours.contains(qRgb(255, 255, 255)));
        QVERIFY(onColours.contains(qRgb(0, 0, 255)));
        QVERIFY(!onColours.contains(qRgb(255, 0, 0)));
        QVERIFY(offColours.contains(qRgb(255, 0, 0)));
    }
};

QTEST_MAIN(TestForm1Layout)
#include "tst_form1layout.moc"
