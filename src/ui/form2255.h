#pragma once

#include <QWidget>

class QCheckBox;
class QLabel;
class QPushButton;

namespace pressbird {

// The borderless start-up prompt. Its buttons do nothing here: the shell
// connects them.
class Form2255 final : public QWidget {
    Q_OBJECT

public:
    explicit Form2255(QWidget *parent = nullptr);

    QLabel *Label1() const { return m_label1; }
    QPushButton *Command1() const { return m_command1; }
    QPushButton *Command2() const { return m_command2; }
    QCheckBox *Check1() const { return m_check1; }

    // The two outlines of the double frame, in pixels, and their pen widths.
    static QRect Shape1Rect();
    static QRect Shape2Rect();
    static constexpr int kShape1Width = 2;
    static constexpr int kShape2Width = 1;

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void centreOnScreen();

    QLabel *m_label1 = nullptr;
    QPushButton *m_command1 = nullptr;
    QPushButton *m_command2 = nullptr;
    QCheckBox *m_check1 = nullptr;
};

} // namespace pressbird
