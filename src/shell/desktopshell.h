#pragma once

#include <QObject>
#include <QUrl>

#include <memory>

namespace pressbird {

class Autostart;
class Form1;
class Form2255;
class MessageBoxes;
class ScanCycle;
class Settings;
class StartupPrompt;
class TrayController;
class TrayIcon;
class UrlOpener;

// Owns what lies around the main window: the tray, the start-up prompt and the
// help page; wires Form1's menu commands to them, and ends the scan at Exit.
class DesktopShell final : public QObject {
    Q_OBJECT

public:
    struct Services {
        Settings &settings;
        ScanCycle &scan;
        MessageBoxes &messages;
        TrayIcon &tray;
        Autostart &autostart;
        UrlOpener &urlOpener;
        QUrl helpPage;
    };

    DesktopShell(Form1 &form, Services services, QObject *parent = nullptr);
    ~DesktopShell() override;

    // The load step, then the main window shown, or put in the tray when the
    // user asked to start minimised.
    void start();

    // Created the first time the prompt is due; nullptr before.
    Form2255 *prompt() const { return m_prompt.get(); }
    TrayController &trayController() { return *m_trayController; }

    void Helpf();

Q_SIGNALS:
    // File, Exit was chosen: the icon and the windows are gone and the scan
    // is cancelled, so the event loop may end now.
    void ended();

private:
    class Host;
    class Messages;

    void showPrompt();
    void end();

    Form1 &m_form;
    Services m_services;
    std::unique_ptr<Host> m_host;
    std::unique_ptr<Messages> m_messages;
    std::unique_ptr<TrayController> m_trayController;
    std::unique_ptr<Form2255> m_prompt;
    std::unique_ptr<StartupPrompt> m_promptLogic;
};

} // namespace pressbird
