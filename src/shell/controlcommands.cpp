#include "controlcommands.h"

#include "activitylog.h"
#include "activitywindow.h"
#include "browser.h"
#include "browserswindow.h"
#include "controlprotocol.h"
#include "extensioninstaller.h"
#include "form1.h"
#include "preferences.h"
#include "preferenceswindow.h"
#include "preferenceverbs.h"
#include "previewwindow.h"
#include "rulelistwidget.h"
#include "ruleoptionsbook.h"
#include "ruleoptionswindow.h"
#include "rulesfile.h"
#include "ruleverbs.h"
#include "scancycle.h"
#include "scanengine.h"

#include <QDir>
#include <QSaveFile>

namespace pressbird {

namespace {

constexpr int kOutlineMs = 4000;

using control::field;

} // namespace

ControlCommands::ControlCommands(Parts parts)
    : m_parts(std::move(parts)) {}

ControlCommands::~ControlCommands() = default;

Task<QJsonObject> ControlCommands::handle(QJsonObject request) {
    const QString verb = request.value(u"verb").toString();
    const QString argument = request.value(u"argument").toString();
    if (verb == u"show" && argument.isEmpty()) {
        m_parts.showMainWindow();
        co_return control::success();
    }
    if (verb == u"pause") {
        m_parts.scan.pause();
        co_return control::success(QStringLiteral("paused"));
    }
    if (verb == u"resume") {
        m_parts.scan.resume();
        co_return control::success(QStringLiteral("scanning"));
    }
    if (verb == u"status")
        co_return control::success(statusText());
    if (verb == u"retry") {
        m_parts.browser.retry();
        co_return control::success(QStringLiteral("browsers that refused are asked again at the "
                                                  "next scan"));
    }
    if (verb == u"activity") {
        const std::optional<qsizetype> count = control::activityCount(argument);
        if (!count)
            co_return control::failure(
                QStringLiteral("activity takes a number of presses, not \"%1\"")
                    .arg(argument.left(40)));
        co_return control::success(activityText(*count));
    }
    if (verb == u"preview")
        co_return co_await preview(false);
    if (verb == u"export")
        co_return exportRules(argument);
    if (verb == u"import")
        co_return importRules(argument);
    if (verb == u"show")
        co_return show(argument);
    if (verb == u"get")
        co_return control::getPreferences(m_parts.preferences, argument);
    if (verb == u"set") {
        const QJsonObject reply = control::setPreference(m_parts.preferences, argument,
                                                         request.value(u"value").toString());
        if (m_preferencesWindow && m_preferencesWindow->isVisible())
            showPreferences();
        co_return reply;
    }
    if (verb == u"rules")
        co_return control::listRuleOptions(*m_parts.window.ListClick(), *m_parts.window.ListPush(),
                                           m_parts.ruleOptions);
    if (verb == u"rule") {
        const QJsonObject reply = control::setRuleOptions(
            *m_parts.window.ListClick(), *m_parts.window.ListPush(), m_parts.ruleOptions, argument,
            request.value(u"value").toString(), control::RuleOptionChanges::of(request));
        rulesChanged();
        co_return reply;
    }
    co_return control::failure(QStringLiteral("unknown verb \"%1\"").arg(verb.left(40)));
}

void ControlCommands::pressed() {
    if (m_activityWindow && m_activityWindow->isVisible())
        m_activityWindow->refresh();
}

void ControlCommands::rulesChanged() {
    if (m_ruleOptionsWindow && m_ruleOptionsWindow->isVisible())
        showRuleOptions();
}

void ControlCommands::showRuleOptions() {
    QList<RuleOptionsWindow::Row> rows;
    for (const RuleKey &rule :
         control::distinctRules(*m_parts.window.ListClick(), *m_parts.window.ListPush()))
        rows.append({rule, m_parts.ruleOptions.options(rule)});
    m_ruleOptionsWindow->showRules(rows);
}

QString ControlCommands::statusText() const {
    QStringList lines{m_parts.scan.isPaused() ? QStringLiteral("paused")
                                              : QStringLiteral("scanning")};
    for (const BrowserState &state : m_parts.browser.states())
        lines.append(
            QStringList{field(state.browser), field(state.state), QString::number(state.tabs)}.join(
                u'\t'));
    return lines.join(u'\n');
}

QString ControlCommands::activityText(qsizetype count) const {
    QStringList lines;
    for (const ActivityEntry &entry : m_parts.activity.recent(count))
        lines.append(control::activityLine(entry));
    return lines.join(u'\n');
}

Task<QJsonObject> ControlCommands::preview(bool inWindow) {
    if (m_previewRunning)
        co_return control::failure(QStringLiteral("a preview is already running"));
    // Cleared however the preview ends, cancelled with its client included.
    struct Running {
        bool &flag;
        ~Running() { flag = false; }
    } running{m_previewRunning = true};
    // A preview walks as the next scan would.
    m_parts.previewEngine.setPageOptions(pageOptionsOf(m_parts.preferences.pages()));
    const QList<ActivityEntry> matches =
        co_await m_parts.previewEngine.Preview(inWindow ? kOutlineMs : 0);
    if (inWindow && m_previewWindow)
        m_previewWindow->showMatches(matches);
    QStringList lines;
    for (const ActivityEntry &match : matches)
        lines.append(control::previewLine(match));
    co_return control::success(lines.join(u'\n'));
}

QJsonObject ControlCommands::exportRules(const QString &path) {
    const QByteArray bytes =
        ExportRules(*m_parts.window.ListClick(), *m_parts.window.ListPush(), &m_parts.ruleOptions);
    if (path == u"-")
        return control::success(QString::fromUtf8(bytes));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        return control::failure(QStringLiteral("%1 could not be written: %2")
                                    .arg(QDir::toNativeSeparators(path), file.errorString()));
    return control::success();
}

QJsonObject ControlCommands::importRules(const QString &path) {
    const RulesFileRead read = ReadRulesFile(path);
    if (!read.rules)
        return control::failure(QStringLiteral("%1 was not imported: %2")
                                    .arg(QDir::toNativeSeparators(path), read.error));
    int added = 0;
    if (const std::optional<QString> why =
            AddImportedRules(*read.rules, *m_parts.window.ListClick(), *m_parts.window.ListPush(),
                             &added, &m_parts.ruleOptions))
        return control::failure(
            QStringLiteral("%1 was not imported: %2").arg(QDir::toNativeSeparators(path), *why));
    // An import is a rule edit like Add: the lists are saved whole.
    m_parts.window.setTag(WindowMarker::None);
    m_parts.window.ListUpdate();
    rulesChanged();
    return control::success(QStringLiteral("%1 rule(s) added").arg(added));
}

void ControlCommands::showBrowsers() {
    m_browsersWindow->showStates(m_parts.browser.states());
    m_browsersWindow->showCutShort(m_parts.scanEngine.cutShortPages());
    m_browsersWindow->showRoutes(m_parts.installer ? m_parts.installer->routes()
                                                   : QList<ExtensionRoute>());
}

void ControlCommands::showPreferences() {
    for (const PreferenceInfo &preference : preferenceTable())
        m_preferencesWindow->showValue(preference.name.toString(),
                                       m_parts.preferences.value(preference));
}

QJsonObject ControlCommands::show(const QString &what) {
    QWidget *window = nullptr;
    if (what == u"activity") {
        if (!m_activityWindow)
            m_activityWindow = std::make_unique<ActivityWindow>(m_parts.activity);
        m_activityWindow->refresh();
        window = m_activityWindow.get();
    } else if (what == u"browsers") {
        if (!m_browsersWindow) {
            m_browsersWindow = std::make_unique<BrowsersWindow>(m_parts.helpPage);
            QObject::connect(m_browsersWindow.get(), &BrowsersWindow::installRequested,
                             m_browsersWindow.get(), [this](const QString &family) {
                                 m_browsersWindow->showInstallOutcome(
                                     m_parts.installer->install(family));
                                 showBrowsers();
                             });
            // Kept current by the scans, which are what learn of browsers.
            QObject::connect(&m_parts.scan, &ScanCycle::scanFinished, m_browsersWindow.get(),
                             [this] {
                                 if (m_browsersWindow->isVisible())
                                     showBrowsers();
                             });
        }
        showBrowsers();
        window = m_browsersWindow.get();
    } else if (what == u"preview") {
        if (!m_previewWindow) {
            m_previewWindow = std::make_unique<PreviewWindow>();
            QObject::connect(m_previewWindow.get(), &PreviewWindow::runRequested,
                             m_previewWindow.get(), [this] { show(QStringLiteral("preview")); });
        }
        window = m_previewWindow.get();
        if (!m_previewRunning) {
            m_previewWindow->showRunning();
            m_windowPreview.emplace(
                [](ControlCommands *self) -> Task<> { co_await self->preview(true); }(this));
            m_windowPreview->start();
        }
    } else if (what == u"preferences") {
        if (!m_preferencesWindow) {
            m_preferencesWindow = std::make_unique<PreferencesWindow>();
            // A save the store refuses is told by the settings themselves.
            QObject::connect(m_preferencesWindow.get(), &PreferencesWindow::changed,
                             m_preferencesWindow.get(),
                             [this](const QString &name, const QString &value) {
                                 m_parts.preferences.set(name, value);
                                 showPreferences();
                             });
            QObject::connect(m_preferencesWindow.get(), &PreferencesWindow::ruleOptionsRequested,
                             m_preferencesWindow.get(), [this] { show(QStringLiteral("rules")); });
        }
        showPreferences();
        window = m_preferencesWindow.get();
    } else if (what == u"rules") {
        if (!m_ruleOptionsWindow) {
            m_ruleOptionsWindow = std::make_unique<RuleOptionsWindow>();
            // A save the store refuses is told by the settings themselves.
            QObject::connect(m_ruleOptionsWindow.get(), &RuleOptionsWindow::changed,
                             m_ruleOptionsWindow.get(),
                             [this](const RuleKey &rule, const RuleOptions &options) {
                                 m_parts.ruleOptions.set(rule, options);
                                 showRuleOptions();
                             });
        }
        showRuleOptions();
        window = m_ruleOptionsWindow.get();
    } else {
        return control::failure(QStringLiteral("show what? activity, preview, browsers, "
                                               "preferences or rules (not \"%1\")")
                                    .arg(what.left(40)));
    }
    window->show();
    window->raise();
    window->activateWindow();
    return control::success();
}

} // namespace pressbird
