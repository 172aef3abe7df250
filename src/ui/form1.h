#pragma once

#include "windowmarker.h"

#include <QMainWindow>
#include <QString>

class QAction;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;

namespace pressbird {

class MessageBoxes;
class RuleListWidget;
class ScanTimer;
class Settings;

// The main window: the two rule lists with their entry fields, the hidden
// Calibration frame and the menus. It shows the scan timer it is given; the
// scan that reads its lists, the start-up load, the tray and the start-up
// prompt are wired around it.
class Form1 final : public QMainWindow {
    Q_OBJECT

public:
    Form1(Settings &settings, ScanTimer &timer, MessageBoxes &messages, QWidget *parent = nullptr);
    ~Form1() override;

    // Both rule lists from the store, and back.
    void FillList();
    void ListUpdate();

    WindowMarker Tag() const { return m_tag; }
    void setTag(WindowMarker tag) { m_tag = tag; }

    ScanTimer &Timer1() { return m_timer1; }

    RuleListWidget *ListClick() const { return m_listClick; }
    RuleListWidget *ListPush() const { return m_listPush; }
    QLineEdit *Text1() const { return m_text1; }
    QLineEdit *Text5() const { return m_text5; }
    QLineEdit *Text8() const { return m_text8; }
    QComboBox *Combo1() const { return m_combo1; }
    QComboBox *Combo2() const { return m_combo2; }
    QPushButton *Command1() const { return m_command1; }
    QPushButton *Command2() const { return m_command2; }
    QPushButton *Command3() const { return m_command3; }
    QPushButton *Command4() const { return m_command4; }
    QPushButton *Command5() const { return m_command5; }
    QPushButton *Command8() const { return m_command8; }
    QGroupBox *Frame1() const { return m_frame1; }
    QLabel *Label1() const { return m_label1; }
    QLabel *Label2() const { return m_label2; }
    QLabel *Label4() const { return m_label4; }
    QIcon Image1() const;
    QIcon Image2() const;

    QMenu *FileM() const { return m_fileM; }
    QMenu *OptionsM() const { return m_optionsM; }
    QMenu *Help2() const { return m_help2; }
    QMenu *Rmenu() const { return m_rmenu; }
    QAction *AboutFF() const { return m_aboutFF; }
    QAction *Minimize() const { return m_minimize; }
    QAction *ExitM() const { return m_exitM; }
    QAction *MinimizeApplicationonStartup() const { return m_minimizeOnStartup; }
    QAction *Calibration() const { return m_calibration; }
    QAction *About2() const { return m_about2; }
    QAction *Helpf() const { return m_helpf; }
    QAction *DeleteM() const { return m_deleteM; }

    // Every close request is refused until allowFinalClose().
    void allowFinalClose() { m_closeAllowed = true; }

    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Command4_Click();
    void Command5_Click();
    void Command8_Click();
    void DeleteM_Click();
    void ListClick_Click();
    void ListPush_Click();
    void ListClick_MouseDown(int button, const QPoint &globalPos);
    void ListPush_MouseDown(int button, const QPoint &globalPos);
    void Calibration_Click();
    void AboutFF_Click();
    void About2_Click();
    void MinimizeApplicationonStartup_Click();

Q_SIGNALS:
    void minimizeRequested();
    void exitRequested();
    void helpRequested();
    // Delete took a line away; a line of the same text may be left.
    void ruleRemoved(bool linkList, const QString &entry);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void createControls(QWidget *client);
    void createMenus();
    void setStackingAndTabOrder();
    void connectHandlers();
    void About();
    void addRule(QLineEdit *nameBox, QComboBox *kindBox, RuleListWidget *list);
    void popUpRmenu(int button, const QPoint &globalPos);

    Settings &m_settings;
    ScanTimer &m_timer1;
    MessageBoxes &m_messages;
    WindowMarker m_tag = WindowMarker::None;
    bool m_closeAllowed = false;

    QLabel *m_label1 = nullptr;
    QLabel *m_label2 = nullptr;
    QLabel *m_image1Holder = nullptr;
    QLabel *m_image2Holder = nullptr;
    QLineEdit *m_text5 = nullptr;
    QLineEdit *m_text8 = nullptr;
    RuleListWidget *m_listClick = nullptr;
    RuleListWidget *m_listPush = nullptr;
    QPushButton *m_command1 = nullptr;
    QPushButton *m_command2 = nullptr;
    QPushButton *m_command3 = nullptr;
    QPushButton *m_command4 = nullptr;
    QComboBox *m_combo1 = nullptr;
    QComboBox *m_combo2 = nullptr;
    QGroupBox *m_frame1 = nullptr;
    QLabel *m_label4 = nullptr;
    QLineEdit *m_text1 = nullptr;
    QPushButton *m_command5 = nullptr;
    QPushButton *m_command8 = nullptr;

    QMenu *m_fileM = nullptr;
    QMenu *m_optionsM = nullptr;
    QMenu *m_help2 = nullptr;
    QMenu *m_rmenu = nullptr;
    QAction *m_aboutFF = nullptr;
    QAction *m_minimize = nullptr;
    QAction *m_exitM = nullptr;
    QAction *m_minimizeOnStartup = nullptr;
    QAction *m_calibration = nullptr;
    QAction *m_about2 = nullptr;
    QAction *m_helpf = nullptr;
    QAction *m_deleteM = nullptr;

    QIcon m_image1;
    QIcon m_image2;
};

} // namespace pressbird
