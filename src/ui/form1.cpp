#include "form1.h"

#include "designfont.h"
#include "messageboxes.h"
#include "programicons.h"
#include "programtitle.h"
#include "pushbutton.h"
#include "rulelistwidget.h"
#include "twips.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>

#include <limits>

namespace pressbird {

namespace {

constexpr QSize kClientSize(403, 278);
constexpr double kHeadingPointSize = 9.75;

template<typename Widget>
Widget *place(Widget *widget, const QString &name, const QRect &geometry) {
    widget->setObjectName(name);
    widget->setGeometry(geometry);
    return widget;
}

QLabel *makeLabel(QWidget *parent, const QString &name, const QString &text, const QRect &rect) {
    auto *label = place(new QLabel(text, parent), name, rect);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

QLineEdit *makeTextBox(QWidget *parent, const QString &name, const QString &text,
                       const QRect &rect) {
    auto *box = place(new QLineEdit(text, parent), name, rect);
    box->setMaxLength(std::numeric_limits<int>::max());
    return box;
}

QComboBox *makeKindBox(QWidget *parent, const QString &name, const QRect &rect) {
    auto *box = place(new QComboBox(parent), name, rect);
    box->setEditable(true);
    // Typed text is used as it stands: never completed, never added to the list.
    box->setCompleter(nullptr);
    box->setInsertPolicy(QComboBox::NoInsert);
    // Without a placeholder the box picks the first caption as soon as its list
    // is filled, and no kind must be chosen until the user picks one. An
    // editable box never draws this text.
    box->setPlaceholderText(QStringLiteral(" "));
    box->setCurrentIndex(-1);
    box->setEditText(QString());
    return box;
}

QAction *makeAction(QMenu *menu, const QString &name, const QString &text) {
    auto *action = menu->addAction(text);
    action->setObjectName(name);
    return action;
}

} // namespace

Form1::Form1(Settings &settings, ScanTimer &timer, MessageBoxes &messages, QWidget *parent)
    : QMainWindow(parent)
    , m_settings(settings)
    , m_timer1(timer)
    , m_messages(messages)
    , m_image1(ProgramIcon())
    , m_image2(ProgramOffIcon()) {
    setObjectName(QStringLiteral("Form1"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setWindowTitle(kWindowCaption.toString());
    setWindowIcon(m_image1);
    setFont(DesignSansFont(kDesignPointSize));

    auto *client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    setCentralWidget(client);
    createControls(client);
    createMenus();
    setStackingAndTabOrder();
    connectHandlers();

    resize(kClientSize.width(), kClientSize.height() + menuBar()->sizeHint().height());
    m_text5->setFocus();
}

Form1::~Form1() = default;

void Form1::createControls(QWidget *client) {
    m_image2Holder =
        place(new QLabel(client), QStringLiteral("Image2"), twipsRect(2760, 2400, 480, 480));
    m_image2Holder->setPixmap(m_image2.pixmap(32, 32));
    m_image2Holder->hide();
    m_image1Holder =
        place(new QLabel(client), QStringLiteral("Image1"), twipsRect(2760, 1680, 480, 480));
    m_image1Holder->setPixmap(m_image1.pixmap(32, 32));
    m_image1Holder->hide();

    m_label1 = makeLabel(client, QStringLiteral("Label1"), QStringLiteral("Links to Auto Click"),
                         twipsRect(120, 120, 2535, 495));
    m_label2 = makeLabel(client, QStringLiteral("Label2"), QStringLiteral("Buttons to Auto Push"),
                         twipsRect(3360, 120, 2535, 495));
    m_label1->setFont(DesignSansFont(kHeadingPointSize));
    m_label2->setFont(DesignSansFont(kHeadingPointSize));

    m_text5 = makeTextBox(client, QStringLiteral("Text5"), {}, twipsRect(120, 480, 2535, 285));
    m_text8 = makeTextBox(client, QStringLiteral("Text8"), {}, twipsRect(3360, 480, 2535, 285));
    m_listClick = place(new RuleListWidget(client), QStringLiteral("ListClick"),
                        twipsRect(120, 1320, 2535, 2760));
    m_listPush = place(new RuleListWidget(client), QStringLiteral("ListPush"),
                       twipsRect(3360, 1320, 2535, 2760));

    m_command1 = MakeButton(client, QStringLiteral("Command1"), QStringLiteral("Add"),
                            twipsRect(120, 840, 1215, 375));
    m_command2 = MakeButton(client, QStringLiteral("Command2"), QStringLiteral("Remove"),
                            twipsRect(1440, 840, 1215, 375));
    m_command3 = MakeButton(client, QStringLiteral("Command3"), QStringLiteral("Add"),
                            twipsRect(3360, 840, 1215, 375));
    m_command4 = MakeButton(client, QStringLiteral("Command4"), QStringLiteral("Remove"),
                            twipsRect(4680, 840, 1215, 375));
    m_combo1 = makeKindBox(client, QStringLiteral("Combo1"), twipsRect(1440, 480, 1215, 315));
    m_combo2 = makeKindBox(client, QStringLiteral("Combo2"), twipsRect(4680, 480, 1215, 315));

    m_frame1 = place(new QGroupBox(QStringLiteral("Calibration"), client), QStringLiteral("Frame1"),
                     twipsRect(1680, 1320, 2895, 1455));
    m_label4 =
        makeLabel(m_frame1, QStringLiteral("Label4"),
                  QStringLiteral("Enter 1000 for each second to check for new links or icons"),
                  twipsRect(360, 240, 2295, 615));
    m_label4->setWordWrap(true);
    m_command5 = MakeButton(m_frame1, QStringLiteral("Command5"), QStringLiteral("OK"),
                            twipsRect(360, 1080, 975, 255));
    m_text1 = makeTextBox(m_frame1, QStringLiteral("Text1"), QStringLiteral("5000"),
                          twipsRect(960, 720, 975, 285));
    m_command8 = MakeButton(m_frame1, QStringLiteral("Command8"), QStringLiteral("Cancel"),
                            twipsRect(1440, 1080, 975, 255));
    // A frame hides what lies under it when shown.
    m_frame1->setAutoFillBackground(true);
    m_frame1->hide();
}

void Form1::createMenus() {
    m_fileM = menuBar()->addMenu(QStringLiteral("File"));
    m_fileM->setObjectName(QStringLiteral("FileM"));
    m_aboutFF = makeAction(m_fileM, QStringLiteral("AboutFF"), QStringLiteral("About"));
    m_minimize = makeAction(m_fileM, QStringLiteral("Minimize"), QStringLiteral("Minimize"));
    m_fileM->addSeparator()->setObjectName(QStringLiteral("filllllllllllllllllllllller"));
    m_exitM = makeAction(m_fileM, QStringLiteral("ExitM"), QStringLiteral("Exit"));

    m_optionsM = menuBar()->addMenu(QStringLiteral("Options"));
    m_optionsM->setObjectName(QStringLiteral("OptionsM"));
    m_minimizeOnStartup = makeAction(m_optionsM, QStringLiteral("MinimizeApplicationonStartup"),
                                     QStringLiteral("Minimize Application on Startup"));
    m_minimizeOnStartup->setCheckable(true);
    m_calibration =
        makeAction(m_optionsM, QStringLiteral("Calibration"), QStringLiteral("Calibration"));

    m_help2 = menuBar()->addMenu(QStringLiteral("Help"));
    m_help2->setObjectName(QStringLiteral("Help2"));
    m_about2 = makeAction(m_help2, QStringLiteral("About2"), QStringLiteral("About"));
    m_helpf = makeAction(m_help2, QStringLiteral("Helpf"), QStringLiteral("Help"));

    // Never on the menu bar: the lists' context menu.
    m_rmenu = new QMenu(QStringLiteral("Rmenu"), this);
    m_rmenu->setObjectName(QStringLiteral("Rmenu"));
    m_deleteM = makeAction(m_rmenu, QStringLiteral("DeleteM"), QStringLiteral("Delete"));
}

void Form1::setStackingAndTabOrder() {
    // Bottom of the stack first: each raise puts a control above the ones before.
    const QList<QWidget *> bottomToTop = {
        m_image2Holder, m_image1Holder, m_label1,   m_label2,   m_text5,
        m_text8,        m_listClick,    m_listPush, m_command1, m_command2,
        m_command3,     m_command4,     m_combo1,   m_combo2,   m_frame1,
    };
    for (QWidget *widget : bottomToTop)
        widget->raise();
    for (QWidget *widget : {static_cast<QWidget *>(m_label4), static_cast<QWidget *>(m_command5),
                            static_cast<QWidget *>(m_text1), static_cast<QWidget *>(m_command8)})
        widget->raise();

    const QList<QWidget *> tabOrder = {
        m_text5,    m_text8,  m_listClick, m_listPush, m_command1, m_command2, m_command3,
        m_command4, m_combo1, m_combo2,    m_command5, m_text1,    m_command8,
    };
    for (qsizetype i = 1; i < tabOrder.size(); ++i)
        setTabOrder(tabOrder.at(i - 1), tabOrder.at(i));
}

QIcon Form1::Image1() const {
    return m_image1;
}

QIcon Form1::Image2() const {
    return m_image2;
}

void Form1::closeEvent(QCloseEvent *event) {
    if (m_closeAllowed)
        event->accept();
    else
        event->ignore();
}

} // namespace pressbird
