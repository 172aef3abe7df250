#include "preferenceswindow.h"

#include "preferences.h"
#include "programtitle.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace pressbird {

PreferencesWindow::PreferencesWindow(QWidget *parent)
    : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("PreferencesWindow"));
    setWindowTitle(QStringLiteral("%1 Preferences").arg(kProgramTitle));
    auto *layout = new QVBoxLayout(this);
    for (const PreferenceInfo &preference : preferenceTable()) {
        const QString name = preference.name.toString();
        auto *box = new QGroupBox(preference.caption.toString(), this);
        box->setObjectName(name);
        auto *choices = new QButtonGroup(box);
        auto *row = new QHBoxLayout;
        for (int index = 0; index < int(preference.choices.size()); ++index) {
            const PreferenceChoice &choice = preference.choices.at(index);
            auto *button = new QRadioButton(choice.caption.toString(), box);
            button->setObjectName(name + u' ' + choice.value.toString());
            choices->addButton(button, index);
            row->addWidget(button);
            // Clicked, not toggled: showing the stored value is no change.
            connect(button, &QRadioButton::clicked, this,
                    [this, name, value = choice.value.toString()] { Q_EMIT changed(name, value); });
        }
        row->addStretch(1);
        auto *explanation = new QLabel(preference.explanation.toString(), box);
        explanation->setTextFormat(Qt::PlainText);
        explanation->setWordWrap(true);
        auto *inBox = new QVBoxLayout(box);
        inBox->addLayout(row);
        inBox->addWidget(explanation);
        layout->addWidget(box);
        m_choices.insert(name, choices);
    }
    auto *when = new QLabel(QStringLiteral("A change is saved at once and applies from the next "
                                           "scan."),
                            this);
    when->setWordWrap(true);
    layout->addWidget(when);
    auto *ruleOptions = new QPushButton(QStringLiteral("Rule options..."), this);
    ruleOptions->setObjectName(QStringLiteral("RuleOptions"));
    connect(ruleOptions, &QPushButton::clicked, this, &PreferencesWindow::ruleOptionsRequested);
    auto *ruleRow = new QHBoxLayout;
    ruleRow->addWidget(new QLabel(QStringLiteral("Where each rule presses, how often, and "
                                                 "whether you hear of it:"),
                                  this),
                       1);
    ruleRow->addWidget(ruleOptions);
    layout->addLayout(ruleRow);
    layout->addStretch(1);
    resize(520, 330);
}

void PreferencesWindow::showValue(const QString &name, const QString &value) {
    const PreferenceInfo *preference = findPreference(name);
    QButtonGroup *choices = m_choices.value(name);
    if (!preference || !choices)
        return;
    for (int index = 0; index < int(preference->choices.size()); ++index)
        if (preference->choices.at(index).value == value)
            choices->button(index)->setChecked(true);
}

} // namespace pressbird
