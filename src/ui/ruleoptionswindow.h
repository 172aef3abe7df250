#pragma once

#include "ruleoptions.h"

#include <QList>
#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTreeWidget;

namespace pressbird {

// Every rule of both lists with its options, and the options of the one
// selected, to change. A change is told once it reads as options; the
// window saves nothing itself.
class RuleOptionsWindow final : public QWidget {
    Q_OBJECT

public:
    struct Row {
        RuleKey rule;
        RuleOptions options;
    };

    explicit RuleOptionsWindow(QWidget *parent = nullptr);

    // The rules as they stand; the selected rule stays selected while it is
    // there, and what the user typed for it is kept only if it was applied.
    void showRules(const QList<Row> &rows);

Q_SIGNALS:
    void changed(const pressbird::RuleKey &rule, const pressbird::RuleOptions &options);

private:
    void showSelected();
    void apply();

    QList<Row> m_rows;
    QTreeWidget *m_list;
    QLineEdit *m_sites;
    QSpinBox *m_perLoad;
    QSpinBox *m_perHour;
    QCheckBox *m_notify;
    QPushButton *m_apply;
    QLabel *m_problem;
};

} // namespace pressbird
