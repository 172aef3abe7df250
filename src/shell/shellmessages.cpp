#include "shellmessages.h"

#include <QMessageBox>

namespace pressbird {

void MessageBoxShellMessages::warning(const QString &text) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Pressbird"), text, QMessageBox::Ok);
    box.exec();
}

} // namespace pressbird
