#pragma once

#include "async/task.h"

#include <QJsonObject>
#include <QPointer>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

namespace pressbird {

class ActivityLog;
class ActivityWindow;
class Browser;
class BrowsersWindow;
class ExtensionInstaller;
class Form1;
class Preferences;
class PreferencesWindow;
class PreviewWindow;
class ScanCycle;
class ScanEngine;
struct ActivityEntry;

// What pressbird-ctl may ask of the running program: every verb of the
// control socket, carried out on the live window, lists and scan, so the
// window and the store never differ.
class ControlCommands final {
public:
    struct Parts {
        Form1 &window;
        ScanCycle &scan;
        ScanEngine &previewEngine;
        const ScanEngine &scanEngine; // what the latest scan found cut short
        Browser &browser;
        ActivityLog &activity;
        Preferences &preferences;
        QUrl helpPage;
        std::function<void()> showMainWindow;
        // The Connector's routes into each browser family; none shows none.
        ExtensionInstaller *installer = nullptr;
    };

    explicit ControlCommands(Parts parts);
    ~ControlCommands();

    Task<QJsonObject> handle(QJsonObject request);

    // Called after every press, so an open Activity window stays current.
    void pressed();

private:
    Task<QJsonObject> preview(bool inWindow);
    QJsonObject exportRules(const QString &path);
    QJsonObject importRules(const QString &path);
    QString statusText() const;
    QString activityText(qsizetype count) const;
    QJsonObject show(const QString &what);
    void showBrowsers();
    void showPreferences();

    Parts m_parts;
    std::unique_ptr<ActivityWindow> m_activityWindow;
    std::unique_ptr<PreviewWindow> m_previewWindow;
    std::unique_ptr<BrowsersWindow> m_browsersWindow;
    std::unique_ptr<PreferencesWindow> m_preferencesWindow;
    std::optional<Task<>> m_windowPreview;
    bool m_previewRunning = false;
};

} // namespace pressbird
