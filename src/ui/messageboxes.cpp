#include "messageboxes.h"

#include <QApplication>
#include <QMessageBox>

namespace pressbird {

void QtMessageBoxes::inform(const QString &text, const QString &title) {
    QWidget *parent = m_parent ? m_parent.data() : QApplication::activeWindow();
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok, parent);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

} // namespace pressbird
