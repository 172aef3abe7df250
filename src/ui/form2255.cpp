#include "form2255.h"

#include "designfont.h"
#include "programtitle.h"
#include "pushbutton.h"
#include "twips.h"

#include <QCheckBox>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>

namespace pressbird {

namespace {

constexpr QSize kClientSize(434, 162);
constexpr double kQuestionPointSize = 13.5;

} // namespace

Form2255::Form2255(QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint) {
    setObjectName(QStringLiteral("Form2255"));
    setWindowTitle(QStringLiteral("Form2255"));
    setFixedSize(kClientSize);
    setFont(DesignSansFont(kDesignPointSize));

    m_label1 = new QLabel(kStartUpQuestion.toString(), this);
    m_label1->setObjectName(QStringLiteral("Label1"));
    m_label1->setGeometry(twipsRect(600, 360, 5415, 735));
    m_label1->setFont(DesignSansFont(kQuestionPointSize));
    m_label1->setWordWrap(true);
    m_label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    m_command1 = MakeButton(this, QStringLiteral("Command1"), QStringLiteral("&Yes"),
                            twipsRect(1560, 1200, 1215, 495));
    m_command2 = MakeButton(this, QStringLiteral("Command2"), QStringLiteral("&No"),
                            twipsRect(3240, 1200, 1215, 495));
    m_check1 = new QCheckBox(QStringLiteral("Do not ask this Qestion Again"), this);
    m_check1->setObjectName(QStringLiteral("Check1"));
    m_check1->setGeometry(twipsRect(1800, 1800, 2655, 255));

    setTabOrder(m_command1, m_command2);
    setTabOrder(m_command2, m_check1);
    m_command1->setFocus();
    centreOnScreen();
}

QRect Form2255::Shape1Rect() {
    return twipsRect(120, 120, 6255, 2175);
}

QRect Form2255::Shape2Rect() {
    return twipsRect(240, 240, 6015, 1935);
}

void Form2255::centreOnScreen() {
    const QScreen *target = screen();
    if (!target)
        return;
    QRect frame(QPoint(), kClientSize);
    frame.moveCenter(target->geometry().center());
    move(frame.topLeft());
}

void Form2255::showEvent(QShowEvent *event) {
    centreOnScreen();
    QWidget::showEvent(event);
}

void Form2255::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    const QColor line = palette().color(QPalette::WindowText);
    // Both outlines are drawn inside their rectangles, as the shapes' borders are.
    const auto outline = [&](const QRect &rect, int width) {
        QPen pen(line, width);
        pen.setJoinStyle(Qt::MiterJoin);
        painter.setPen(pen);
        const qreal inset = width / 2.0;
        painter.drawRect(QRectF(rect).adjusted(inset, inset, -inset, -inset));
    };
    outline(Shape1Rect(), kShape1Width);
    outline(Shape2Rect(), kShape2Width);
}

} // namespace pressbird
