#include "startupprompt.h"

#include "autostart.h"
#include "settings.h"
#include "shellmessages.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QWidget>

namespace pressbird {

StartupPrompt::StartupPrompt(Controls controls, QWidget &mainWindow, Settings &settings,
                             Autostart &autostart, ShellMessages &messages, QObject *parent)
    : QObject(parent)
    , m_controls(controls)
    , m_mainWindow(&mainWindow)
    , m_settings(settings)
    , m_autostart(autostart)
    , m_messages(messages) {
    connect(m_controls.Command1, &QAbstractButton::clicked, this, &StartupPrompt::Command1_Click);
    connect(m_controls.Command2, &QAbstractButton::clicked, this, &StartupPrompt::Command2_Click);
}

void StartupPrompt::Command1_Click() {
    const AutostartResult copy = m_autostart.installShortcut();
    if (!copy.ok) {
        m_messages.warning(
            QStringLiteral("Pressbird could not be set to run at start up.\n\n%1").arg(copy.error));
        finish();
        return;
    }
    m_controls.Check1->setChecked(true);
    m_settings.save(SettingKey::StartUpAnswer, QStringLiteral("1"));
    finish();
}

void StartupPrompt::Command2_Click() {
    m_settings.save(SettingKey::StartUpAnswer,
                    m_controls.Check1->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
    finish();
}

void StartupPrompt::finish() {
    m_controls.prompt->hide();
    if (m_mainWindow)
        m_mainWindow->show();
    Q_EMIT answered();
}

bool promptIsDue(const Settings &settings) {
    const QString stored = settings.value(SettingKey::StartUpAnswer);
    bool ok = false;
    const double value = stored.trimmed().toDouble(&ok);
    return !ok || value == 0;
}

} // namespace pressbird
