#pragma once

#include "activitylog.h"
#include "controlcommands.h"
#include "desktopshell.h"
#include "form1.h"
#include "preferences.h"
#include "presslimits.h"
#include "ruleoptionsbook.h"
#include "scancycle.h"
#include "scanengine.h"
#include "scantimer.h"
#include "settings.h"
#include "waitseconds.h"

#include <QTimer>
#include <QUrl>

namespace pressbird {

class Autostart;
class Browser;
class Clock;
class ExtensionInstaller;
class MessageBoxes;
class UserNotifier;
class SettingsStore;
class TrayIcon;
class UrlOpener;
class Yielder;

// The whole program over the platform it is given: the one place where the
// window, the scan over its lists and the shell around them are wired. The
// members are declared so that the scan goes first at the end, before the
// window whose lists it reads.
class Program final {
public:
    struct Platform {
        SettingsStore &store;
        Browser &browser;
        Yielder &yielder;
        const Clock &clock;
        MessageBoxes &messages;
        TrayIcon &tray;
        Autostart &autostart;
        UrlOpener &urlOpener;
        QUrl helpPage;
        // Where saved rules that could not be loaded are kept before a rewrite.
        QString settingsFolder;
        // The activity log's file; empty keeps the log in memory.
        QString activityLogPath;
        // How the Connector gets into each browser family; none shows none.
        ExtensionInstaller *installer = nullptr;
        // Where a rule that asks for it tells of its presses; none: nowhere.
        UserNotifier *notifier = nullptr;
    };

    explicit Program(Platform platform);
    ~Program();

    // The load step, then the window shown or put in the tray.
    void start() { m_shell.start(); }

    Settings &settings() { return m_settings; }
    Form1 &window() { return m_form; }
    ScanCycle &scan() { return m_cycle; }
    DesktopShell &shell() { return m_shell; }
    ActivityLog &activity() { return m_activity; }
    Preferences &preferences() { return m_preferences; }
    RuleOptionsBook &ruleOptions() { return m_ruleOptions; }
    // The scan's engine and the preview's.
    const ScanEngine &engine() const { return m_engine; }
    const ScanEngine &previewEngine() const { return m_previewEngine; }
    // What pressbird-ctl asks of this program.
    ControlCommands &commands() { return m_commands; }

private:
    void recordPress(const ActivityEntry &press);
    void writePresses();
    void applyPreferences();
    void forgetRemovedRule(bool linkList, const QString &entry);

    Settings m_settings;
    Preferences m_preferences;
    RuleOptionsBook m_ruleOptions;
    PressLimits m_pressLimits;
    ActivityLog m_activity;
    ScanTimer m_timer;
    Form1 m_form;
    Pause m_pause;
    ScanEngine m_engine;
    ScanEngine m_previewEngine;
    ScanCycle m_cycle;
    DesktopShell m_shell;
    ControlCommands m_commands;
    UserNotifier *m_notifier;
    QList<ActivityEntry> m_unwrittenPresses;
    QTimer m_writePresses;
};

} // namespace pressbird
