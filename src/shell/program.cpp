#include "program.h"

#include "messageboxes.h"
#include "preferenceverbs.h"
#include "programtitle.h"
#include "rulelistwidget.h"
#include "traycontroller.h"
#include "usernotifier.h"

namespace pressbird {

Program::Program(Platform platform)
    : m_settings(platform.store, platform.settingsFolder)
    , m_preferences(m_settings)
    , m_ruleOptions(m_settings)
    , m_activity(platform.activityLogPath)
    , m_form(m_settings, m_timer, platform.messages)
    , m_pause(platform.clock, platform.yielder)
    , m_engine(platform.browser, *m_form.ListClick(), *m_form.ListPush(), platform.yielder, m_pause)
    , m_previewEngine(platform.browser, *m_form.ListClick(), *m_form.ListPush(), platform.yielder,
                      m_pause)
    , m_cycle(m_engine, platform.yielder, m_timer)
    , m_shell(m_form, {m_settings, m_cycle, platform.messages, platform.tray, platform.autostart,
                       platform.urlOpener, platform.helpPage})
    , m_commands({m_form, m_cycle, m_previewEngine, m_engine, platform.browser, m_activity,
                  m_preferences, m_ruleOptions, platform.helpPage,
                  [this] { m_shell.trayController().Restore(); }, platform.installer})
    , m_notifier(platform.notifier) {
    const auto tell = [&messages = platform.messages](const QString &text) {
        messages.inform(text, kProgramTitle.toString());
    };
    m_settings.setReporter(tell);
    m_activity.setReporter(tell);
    m_ruleOptions.load();
    m_engine.setRuleOptions(&m_ruleOptions, &m_pressLimits);
    m_previewEngine.setRuleOptions(&m_ruleOptions, &m_pressLimits);
    QObject::connect(
        &m_form, &Form1::ruleRemoved, &m_form,
        [this](bool linkList, const QString &entry) { forgetRemovedRule(linkList, entry); });
    m_engine.setPressObserver([this](const ActivityEntry &press) { recordPress(press); });
    // Before the scan's first walk: a change from pressbird-ctl or the
    // Preferences window applies from the next scan on.
    QObject::connect(&m_cycle, &ScanCycle::scanStarted, &m_cycle, [this] { applyPreferences(); });
    m_writePresses.setSingleShot(true);
    QObject::connect(&m_writePresses, &QTimer::timeout, &m_writePresses,
                     [this] { writePresses(); });
}

Program::~Program() = default;

void Program::applyPreferences() {
    const PageOptions options = pageOptionsOf(m_preferences.pages());
    m_engine.setPageOptions(options);
    m_previewEngine.setPageOptions(options);
}

// The options go with the last line of their text: an equal line left is
// the same rule still.
void Program::forgetRemovedRule(bool linkList, const QString &entry) {
    const RuleListWidget &list = linkList ? *m_form.ListClick() : *m_form.ListPush();
    for (std::int16_t i = 0; i < list.count(); ++i)
        if (list.text(i) == entry)
            return;
    m_ruleOptions.forget(ruleKeyOf(linkList, entry));
    m_commands.rulesChanged();
}

// Written from the event loop, after the scan's step that pressed, so a slow
// disk never holds the scan.
void Program::recordPress(const ActivityEntry &press) {
    m_unwrittenPresses.append(press);
    m_writePresses.start(0);
    const RuleOptions *options = m_ruleOptions.find(ruleKeyOf(press.link, press.entry));
    if (m_notifier && options && options->notify)
        m_notifier->notify(QStringLiteral("Pressed \"%1\"").arg(press.element.simplified()),
                           QStringLiteral("%1\n%2").arg(press.pageTitle, press.pageAddress));
}

void Program::writePresses() {
    for (const ActivityEntry &press : std::exchange(m_unwrittenPresses, {}))
        m_activity.append(press);
    m_commands.pressed();
}

} // namespace pressbird
