#pragma once

#include <QObject>
#include <QPointer>

class QAbstractButton;
class QCheckBox;
class QWidget;

namespace pressbird {

class Autostart;
class Settings;
class ShellMessages;

// The answers of the run-at-log-on prompt. Yes copies the shortcut and
// remembers "1"; No remembers the tick. A copy that fails is reported and the
// answer is not saved, so the question comes again at the next start.
class StartupPrompt final : public QObject {
    Q_OBJECT

public:
    struct Controls {
        QWidget *prompt = nullptr;
        QAbstractButton *Command1 = nullptr; // Yes
        QAbstractButton *Command2 = nullptr; // No
        QCheckBox *Check1 = nullptr;
    };

    StartupPrompt(Controls controls, QWidget &mainWindow, Settings &settings, Autostart &autostart,
                  ShellMessages &messages, QObject *parent = nullptr);

    void Command1_Click();
    void Command2_Click();

Q_SIGNALS:
    void answered();

private:
    void finish();

    Controls m_controls;
    QPointer<QWidget> m_mainWindow;
    Settings &m_settings;
    Autostart &m_autostart;
    ShellMessages &m_messages;
};

// True when the stored answer asks for the prompt: missing, "0", or text that
// does not read as a number.
bool promptIsDue(const Settings &settings);

} // namespace pressbird
