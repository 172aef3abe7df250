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
class RuleOptionsBook;
class RuleOptionsWindow;
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
        RuleOptionsBook &ruleOptions;
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
    // The rules or their options changed elsewhere: an open Rule Options
    // window shows them as they are.
    void rulesChanged();

private:
    Task<QJsonObject> preview(bool inWindow);
    QJsonObject exportRules(const QString &path);
    QJsonObject importRules(const QString &path);
    QString statusText() const;
    QString activityText(qsizetype count) const;
    QJsonObject show(const QString &what);
    void showBrowsers();
    void showPreferences();
    void showRuleOptions();

    Parts m_parts;
    std::unique_ptr<ActivityWindow> m_activityWindow;
    std::unique_ptr<PreviewWindow> m_previewWindow;
    std::unique_ptr<BrowsersWindow> m_browsersWindow;
    std::unique_ptr<PreferencesWindow> m_preferencesWindow;
    std::unique_ptr<RuleOptionsWindow> m_ruleOptionsWindow;
    std::optional<Task<>> m_windowPreview;
    bool m_previewRunning = false;
};

} // namespace pressbird
