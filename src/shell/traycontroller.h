#pragma once

#include <QObject>
#include <QString>

namespace pressbird {

class Settings;
class ShellHost;
class TrayIcon;

// Hides the main window to the tray and brings it back. Where no tray exists
// the window is minimised to the taskbar instead, so it can always come back.
class TrayController final : public QObject {
    Q_OBJECT

public:
    TrayController(ShellHost &host, TrayIcon &tray, const Settings &settings, QString tip,
                   QObject *parent = nullptr);

    // File, Minimize, and every minimise of the window that is not a restore.
    void Minimize();
    // The left-button press on the icon.
    void Restore();
    // File, Exit: the icon and the window go at once, and ended() tells the
    // shell to cancel the scan and end the program.
    void ExitM();
    // Restores the tick of Options, Minimize Application on Startup (the main
    // window saves it); true when the program should start in the tray.
    bool restoreStartMinimized();

    QString tip() const { return m_tip; }

Q_SIGNALS:
    // The program should end now.
    void ended();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void minimiseTest();

    ShellHost &m_host;
    TrayIcon &m_tray;
    const Settings &m_settings;
    QString m_tip;
    bool m_ending = false;
};

} // namespace pressbird
