#include "messageboxes.h"

#include <QApplication>
#include <QMessageBox>

namespace pressbird {

// open() rather than exec(): a nested event loop would hold the caller, and
// any scan resumed inside it, until the user answers.
void QtMessageBoxes::inform(const QString &text, const QString &title) {
    QWidget *parent = m_parent ? m_parent.data() : QApplication::activeWindow();
    auto *box = new QMessageBox(QMessageBox::NoIcon, title, text, QMessageBox::Ok, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::ApplicationModal);
    box->open();
}

} // namespace pressbird
