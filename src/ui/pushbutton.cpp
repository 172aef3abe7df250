#include "pushbutton.h"

#include <QPushButton>

namespace pressbird {

QPushButton *MakeButton(QWidget *parent, const QString &name, const QString &text,
                        const QRect &rect) {
    auto *button = new QPushButton(text, parent);
    button->setObjectName(name);
    button->setGeometry(rect);
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

} // namespace pressbird
