#pragma once

#include <QObject>
#include <QPointer>

class QAbstractButton;
class QCheckBox;
class QWidget;

namespace pressbird {

class Autostart;
class SettingsStore;
class ShellMessages;

inline constexpr QStringView kStartUpSection = u"StartUpQ";
inline constexpr QStringView kStartUpKey = u"qStrup";

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

    StartupPrompt(Controls controls, QWidget &mainWindow, SettingsStore &store,
                  Autostart &autostart, ShellMessages &messages, QObject *parent = nullptr);

    void Command1_Click();
    void Command2_Click();

Q_SIGNALS:
    void answered();

private:
    void finish();

    Controls m_controls;
    QPointer<QWidget> m_mainWindow;
    SettingsStore &m_store;
    Autostart &m_autostart;
    ShellMessages &m_messages;
};

// True when the stored answer asks for the prompt: missing, "0", or text that
// does not read as a number.
bool promptIsDue(SettingsStore &store);

} // namespace pressbird
