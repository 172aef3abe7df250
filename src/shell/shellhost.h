#pragma once

#include "windowmarker.h"

#include <QIcon>
#include <QString>

class QAction;
class QComboBox;
class QLineEdit;
class QWidget;

namespace pressbird {

class ScanTimer;

// What the shell needs of the main window. Form1 answers it through a thin
// adapter; tests answer it with a few plain widgets.
class ShellHost {
public:
    virtual ~ShellHost() = default;

    virtual QWidget &window() = 0;
    virtual WindowMarker Tag() const = 0;
    virtual void setTag(WindowMarker tag) = 0;

    virtual QComboBox &Combo1() = 0;
    virtual QComboBox &Combo2() = 0;
    virtual QLineEdit &Text1() = 0;
    virtual ScanTimer &Timer1() = 0;
    virtual QAction &MinimizeApplicationonStartup() = 0;
    virtual QIcon Image1() const = 0;
    virtual QIcon Image2() const = 0;

    virtual void FillList() = 0;
    // Lets the next close request through; the main window refuses all others.
    virtual void allowFinalClose() = 0;
};

} // namespace pressbird
