#pragma once

#include <QHash>
#include <QWidget>

class QButtonGroup;

namespace pressbird {

// The user's preferences, one group of choices each with what it does
// beneath. A choice is told at once; the window saves nothing itself.
class PreferencesWindow final : public QWidget {
    Q_OBJECT

public:
    explicit PreferencesWindow(QWidget *parent = nullptr);

    // Ticks the value stored now; called each time the window is shown.
    void showValue(const QString &name, const QString &value);

Q_SIGNALS:
    void changed(const QString &name, const QString &value);
    // The user asks for the rules' options (sites, limits, notifications).
    void ruleOptionsRequested();

private:
    QHash<QString, QButtonGroup *> m_choices;
};

} // namespace pressbird
