#pragma once

class QPushButton;
class QRect;
class QString;
class QWidget;

namespace pressbird {

// A named push button at a fixed place that never becomes the window's
// default button by taking the focus, as the designed windows' buttons are.
QPushButton *MakeButton(QWidget *parent, const QString &name, const QString &text,
                        const QRect &rect);

} // namespace pressbird
