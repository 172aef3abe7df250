#include "form1.h"
#include "messageboxes.h"
#include "programtitle.h"
#include "ruleentry.h"
#include "rulelistwidget.h"
#include "rulepersistence.h"
#include "scaninterval.h"
#include "scantimer.h"
#include "settings.h"

#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>

namespace pressbird {

namespace {

const QString kMissingInputMessage = QStringLiteral("Please Enter a Name and Combo Type Option");
const QString kRemoveHint =
    QStringLiteral("Please right click on the item you would like to remove");
const QString kListFullMessage =
    QStringLiteral("The list is full: it holds %1 rules. Delete one before adding another.")
        .arg(RuleList::kMaxEntries);

} // namespace

void Form1::connectHandlers() {
    connect(m_command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(m_command2, &QPushButton::clicked, this, &Form1::Command2_Click);
    connect(m_command3, &QPushButton::clicked, this, &Form1::Command3_Click);
    connect(m_command4, &QPushButton::clicked, this, &Form1::Command4_Click);
    connect(m_command5, &QPushButton::clicked, this, &Form1::Command5_Click);
    connect(m_command8, &QPushButton::clicked, this, &Form1::Command8_Click);
    connect(m_listClick, &RuleListWidget::Click, this, &Form1::ListClick_Click);
    connect(m_listPush, &RuleListWidget::Click, this, &Form1::ListPush_Click);
    connect(m_listClick, &RuleListWidget::MouseDown, this, &Form1::ListClick_MouseDown);
    connect(m_listPush, &RuleListWidget::MouseDown, this, &Form1::ListPush_MouseDown);

    connect(m_aboutFF, &QAction::triggered, this, &Form1::AboutFF_Click);
    connect(m_about2, &QAction::triggered, this, &Form1::About2_Click);
    connect(m_calibration, &QAction::triggered, this, &Form1::Calibration_Click);
    connect(m_deleteM, &QAction::triggered, this, &Form1::DeleteM_Click);
    connect(m_minimizeOnStartup, &QAction::triggered, this,
            &Form1::MinimizeApplicationonStartup_Click);
    connect(m_minimize, &QAction::triggered, this, &Form1::minimizeRequested);
    connect(m_exitM, &QAction::triggered, this, &Form1::exitRequested);
    connect(m_helpf, &QAction::triggered, this, &Form1::helpRequested);
}

void Form1::FillList() {
    pressbird::FillList(m_settings, *m_listClick, *m_listPush, m_tag);
}

// A refused save is reported by the settings' owner, the same way for every key.
void Form1::ListUpdate() {
    pressbird::ListUpdate(m_settings, *m_listClick, *m_listPush, m_tag);
}

void Form1::addRule(QLineEdit *nameBox, QComboBox *kindBox, RuleListWidget *list) {
    const QString name = nameBox->text();
    const QString kind = kindBox->currentText();
    if (name.isEmpty() || kind.isEmpty()) {
        m_messages.inform(kMissingInputMessage, kProgramTitle.toString());
        return;
    }
    if (!list->append(MakeEntryText(name, kind))) {
        m_messages.inform(kListFullMessage, kProgramTitle.toString());
        return;
    }
    nameBox->clear();
    m_tag = WindowMarker::None;
    ListUpdate();
}

void Form1::Command1_Click() {
    addRule(m_text5, m_combo1, m_listClick);
}

void Form1::Command3_Click() {
    addRule(m_text8, m_combo2, m_listPush);
}

void Form1::Command2_Click() {
    m_messages.inform(kRemoveHint, kProgramTitle.toString());
}

void Form1::Command4_Click() {
    m_messages.inform(kRemoveHint, kProgramTitle.toString());
}

void Form1::DeleteM_Click() {
    QList<std::pair<bool, QString>> removed;
    if (const std::int16_t current = m_listClick->currentEntry(); current != -1) {
        removed.append({true, m_listClick->text(current).value_or(QString())});
        m_listClick->remove(current);
    }
    if (const std::int16_t current = m_listPush->currentEntry(); current != -1) {
        removed.append({false, m_listPush->text(current).value_or(QString())});
        m_listPush->remove(current);
    }
    ListUpdate();
    for (const auto &[linkList, entry] : removed)
        Q_EMIT ruleRemoved(linkList, entry);
}

void Form1::ListClick_Click() {
    m_listPush->setCurrentEntry(-1);
    ListUpdate();
}

void Form1::ListPush_Click() {
    m_listClick->setCurrentEntry(-1);
    ListUpdate();
}

void Form1::popUpRmenu(int button, const QPoint &globalPos) {
    if (button == 2)
        m_rmenu->popup(globalPos);
}

void Form1::ListClick_MouseDown(int button, const QPoint &globalPos) {
    popUpRmenu(button, globalPos);
}

void Form1::ListPush_MouseDown(int button, const QPoint &globalPos) {
    popUpRmenu(button, globalPos);
}

void Form1::Calibration_Click() {
    m_frame1->show();
}

void Form1::Command5_Click() {
    const QString text = m_text1->text();
    m_settings.save(SettingKey::IntervalText, text);
    // A text the timer cannot take leaves the running interval alone.
    if (const std::optional<int> interval = IntervalFromText(text))
        Timer1().setInterval(*interval);
    m_frame1->hide();
}

void Form1::Command8_Click() {
    m_frame1->hide();
}

void Form1::About() {
    m_messages.inform(kAboutText.toString(), kProgramTitle.toString());
}

void Form1::AboutFF_Click() {
    About();
}

void Form1::About2_Click() {
    About();
}

// The checkable action has ticked or cleared itself by the time it triggers.
void Form1::MinimizeApplicationonStartup_Click() {
    m_settings.save(SettingKey::StartMinimized, m_minimizeOnStartup->isChecked()
                                                    ? QStringLiteral("True")
                                                    : QStringLiteral("False"));
}

} // namespace pressbird
