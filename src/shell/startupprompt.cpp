#include "startupprompt.h"

#include "autostart.h"
#include "settingsstore.h"
#include "shellmessages.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QWidget>

namespace pressbird {

StartupPrompt::StartupPrompt(Controls controls, QWidget &mainWindow, SettingsStore &store,
                             Autostart &autostart, ShellMessages &messages, QObject *parent)
    : QObject(parent)
    , m_controls(controls)
    , m_mainWindow(&mainWindow)
    , m_store(store)
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
    m_store.SaveSetting(kAppName.toString(), kStartUpSection.toString(), kStartUpKey.toString(),
                        QStringLiteral("1"));
    finish();
}

void StartupPrompt::Command2_Click() {
    m_store.SaveSetting(kAppName.toString(), kStartUpSection.toString(), kStartUpKey.toString(),
                        m_controls.Check1->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
    finish();
}

void StartupPrompt::finish() {
    m_controls.prompt->hide();
    if (m_mainWindow)
        m_mainWindow->show();
    Q_EMIT answered();
}

bool promptIsDue(SettingsStore &store) {
    const QString stored = store.GetSetting(kAppName.toString(), kStartUpSection.toString(),
                                            kStartUpKey.toString(), QStringLiteral("0"));
    bool ok = false;
    const double value = stored.trimmed().toDouble(&ok);
    return !ok || value == 0;
}

} // namespace pressbird
