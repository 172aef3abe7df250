// pressbird-ctl: asks the running pressbird to pause, resume, report, preview,
// export, import or get and set a preference, over its control socket; where
// none runs, does what it can on its own (activity, preview, export, import,
// get, set) and says so otherwise.

#include "activitylog.h"
#include "bidibrowser.h"
#include "clock.h"
#include "compositebrowser.h"
#include "connectorbrowser.h"
#include "connectorframes.h"
#include "controlclient.h"
#include "controlprotocol.h"
#include "devtoolsbrowser.h"
#include "externalextensions.h"
#include "memoryrulelist.h"
#include "preferences.h"
#include "preferenceverbs.h"
#include "presslimits.h"
#include "ruleoptionsbook.h"
#include "rulepersistence.h"
#include "rulesfile.h"
#include "ruleverbs.h"
#include "scanengine.h"
#include "settings.h"
#include "settingspath.h"
#include "sqlitesettingsstore.h"
#include "waitseconds.h"
#include "yielder.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QSaveFile>

#include <cstdio>
#include <cstdlib>

using namespace pressbird;

namespace {

constexpr int kUsage = 2;

struct Verb {
    const char *name;
    int arguments; // -1: an optional one
    bool needsInstance;
    int resultMs; // how long the answer may take once acknowledged
};
constexpr Verb kVerbs[] = {
    {"pause", 0, true, 2000},      {"resume", 0, true, 2000},     {"status", 0, true, 2000},
    {"activity", -1, false, 5000}, {"preview", 0, false, 120000}, {"export", 1, false, 10000},
    {"import", 1, false, 10000},   {"show", 1, true, 2000},       {"retry", 0, true, 2000},
    {"get", -1, false, 2000},      {"set", 2, false, 2000},       {"rule", 2, false, 2000},
    {"rules", 0, false, 5000},
};

void print(FILE *to, const QString &text) {
    if (text.isEmpty())
        return;
    std::fputs(text.toUtf8().constData(), to);
    std::fputc('\n', to);
}

int fail(const QString &text) {
    print(stderr, QStringLiteral("pressbird-ctl: ") + text);
    return EXIT_FAILURE;
}

bool instanceRuns(const QString &folder) {
    QLockFile probe(control::lockFileName(folder));
    probe.setStaleLockTime(0);
    if (!probe.tryLock(0))
        return probe.error() == QLockFile::LockFailedError;
    probe.unlock();
    return false;
}

int printReply(const QJsonObject &reply) {
    if (!reply.value(u"ok").toBool())
        return fail(reply.value(u"error").toString());
    print(stdout, reply.value(u"text").toString());
    return EXIT_SUCCESS;
}

int askInstance(QCoreApplication &app, const QString &folder, const Verb &verb,
                const QString &argument, const QString &value,
                const control::RuleOptionChanges &changes) {
    ControlClient client(control::socketName(folder));
    int status = EXIT_FAILURE;
    QObject::connect(&client, &ControlClient::answered, &app, [&](const QJsonObject &reply) {
        status = printReply(reply);
        app.quit();
    });
    QObject::connect(&client, &ControlClient::failed, &app,
                     [&](ControlClient::Failure, const QString &why) {
                         status = fail(why);
                         app.quit();
                     });
    QJsonObject request = control::request(QString::fromLatin1(verb.name), argument, value);
    changes.addTo(request);
    client.ask(request, control::kAckTimeoutMs, verb.resultMs);
    app.exec();
    return status;
}

// --- on its own, when no pressbird runs ---------------------------------------------

struct StoredSettings {
    SettingsOpenResult opened;
    std::unique_ptr<Settings> settings;
};

StoredSettings openStoredSettings() {
    StoredSettings stored{SqliteSettingsStore::open(settingsFilePath()), nullptr};
    print(stderr, stored.opened.message());
    stored.settings = std::make_unique<Settings>(*stored.opened.store,
                                                 QFileInfo(settingsFilePath()).absolutePath());
    stored.settings->setReporter([](const QString &text) { print(stderr, text); });
    return stored;
}

struct StoredRules {
    SettingsOpenResult opened;
    std::unique_ptr<Settings> settings;
    MemoryRuleList links;
    MemoryRuleList buttons;
    WindowMarker marker = WindowMarker::None;
    std::unique_ptr<RuleOptionsBook> options;
};

std::unique_ptr<StoredRules> loadStoredRules() {
    auto rules = std::make_unique<StoredRules>();
    auto [opened, settings] = openStoredSettings();
    rules->opened = std::move(opened);
    rules->settings = std::move(settings);
    FillList(*rules->settings, rules->links, rules->buttons, rules->marker);
    rules->options = std::make_unique<RuleOptionsBook>(*rules->settings);
    rules->options->load();
    return rules;
}

int ruleOptionsAlone(const QString &verb, const QString &list, const QString &text,
                     const control::RuleOptionChanges &changes) {
    const auto rules = loadStoredRules();
    return printReply(verb == u"rules"
                          ? control::listRuleOptions(rules->links, rules->buttons, *rules->options)
                          : control::setRuleOptions(rules->links, rules->buttons, *rules->options,
                                                    list, text, changes));
}

int preferencesAlone(const QString &verb, const QString &name, const QString &value) {
    const StoredSettings stored = openStoredSettings();
    Preferences preferences(*stored.settings);
    return printReply(verb == u"get" ? control::getPreferences(preferences, name)
                                     : control::setPreference(preferences, name, value));
}

int exportAlone(const QString &path) {
    const auto rules = loadStoredRules();
    const QByteArray bytes = ExportRules(rules->links, rules->buttons, rules->options.get());
    if (path == u"-") {
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
        return EXIT_SUCCESS;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        return fail(QStringLiteral("%1 could not be written: %2").arg(path, file.errorString()));
    return EXIT_SUCCESS;
}

int importAlone(const QString &path) {
    const RulesFileRead read = ReadRulesFile(path);
    if (!read.rules)
        return fail(QStringLiteral("%1 was not imported: %2").arg(path, read.error));
    const auto rules = loadStoredRules();
    int added = 0;
    if (const std::optional<QString> why = AddImportedRules(
            *read.rules, rules->links, rules->buttons, &added, rules->options.get()))
        return fail(QStringLiteral("%1 was not imported: %2").arg(path, *why));
    if (!ListUpdate(*rules->settings, rules->links, rules->buttons, WindowMarker::None))
        return fail(QStringLiteral("%1 was not imported: the rules could not be saved").arg(path));
    print(stdout, QStringLiteral("%1 rule(s) added").arg(added));
    return EXIT_SUCCESS;
}

int activityAlone(const QString &count) {
    const std::optional<qsizetype> wanted = control::activityCount(count);
    if (!wanted)
        return fail(QStringLiteral("activity takes a number of presses, not \"%1\"").arg(count));
    ActivityLog log(QDir(QFileInfo(settingsFilePath()).absolutePath())
                        .filePath(QStringLiteral("activity.sqlite3")));
    log.setReporter([](const QString &text) { print(stderr, text); });
    for (const ActivityEntry &entry : log.recent(*wanted))
        print(stdout, control::activityLine(entry));
    return EXIT_SUCCESS;
}

Task<> previewInto(ScanEngine &engine, QList<ActivityEntry> &matches, Browser &browser) {
    matches = co_await engine.Preview();
    co_await browser.release();
}

int previewAlone(QCoreApplication &app, const std::optional<QString> &folder) {
    const auto rules = loadStoredRules();
    // No Pressbird runs: the browsers' Connector hosts come to us meanwhile.
    ConnectorServer connectorServer;
    if (folder)
        connectorServer.listen(connector::socketName(*folder));
    ConnectorBrowser connector(connectorServer, {});
    DevToolsBrowser chromium;
    BidiBrowser firefox;
    CompositeBrowser browser({&connector, &chromium, &firefox});
    EventLoopYielder yielder;
    SystemClock clock;
    Pause pause(clock, yielder);
    ScanEngine engine(browser, rules->links, rules->buttons, yielder, pause);
    engine.setPageOptions(pageOptionsOf(Preferences(*rules->settings).pages()));
    // Without the program, no presses are counted: nothing is held back.
    PressLimits limits;
    engine.setRuleOptions(rules->options.get(), &limits);
    QList<ActivityEntry> matches;
    Task<> run = previewInto(engine, matches, browser);
    run.start(
        [&app] { QMetaObject::invokeMethod(&app, &QCoreApplication::quit, Qt::QueuedConnection); });
    app.exec();
    for (const ActivityEntry &match : matches)
        print(stdout, control::previewLine(match));
    return EXIT_SUCCESS;
}

// --- the Connector's files, for this user; no instance needed -------------------------

int connectorFiles(const QString &action, const QString &browser) {
    const BrowserFolders folders = BrowserFolders::ofThisUser();
    const QStringList families = externalExtensionFamilies(folders, browser);
    if (families.isEmpty())
        return fail(
            QStringLiteral("connector installs into chromium or edge, not \"%1\"").arg(browser));
    QList<ExternalExtensionFile> done;
    if (action == u"install") {
        const QString packed = installedPackedExtension();
        if (packed.isEmpty())
            return fail(QStringLiteral("the packed Connector (pressbird-connector.crx) is not "
                                       "installed beside pressbird-ctl"));
        done = writeExternalExtensionFiles(folders, families, packed, packedExtensionVersion());
    } else {
        done = removeExternalExtensionFiles(folders, families);
    }
    bool failed = false;
    for (const ExternalExtensionFile &file : done) {
        failed = failed || !file.done;
        if (file.done)
            print(stdout, installMessage(file, action == u"install"));
        else
            print(stderr, u"pressbird-ctl: "_qs + installMessage(file, action == u"install"));
    }
    return failed ? EXIT_FAILURE : EXIT_SUCCESS;
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("pressbird-ctl"));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Steers the running Pressbird.\n\n"
        "  pause              stop scanning until resume (a scan under way presses nothing more)\n"
        "  resume             scan again\n"
        "  status             scanning or paused, then one line per browser known\n"
        "  retry              ask again a browser whose Allow prompt was refused\n"
        "  activity [N]       the last N presses (20), oldest first\n"
        "  preview            what a scan would press now; presses nothing\n"
        "  export FILE        both rule lists as JSON (- for standard output)\n"
        "  import FILE        add the rules of FILE to the end of their lists\n"
        "  show activity|preview|browsers|preferences|rules   open that window\n"
        "  get [NAME]         the preferences, or the one named: NAME<TAB>VALUE lines\n"
        "  set pages classic|today   today: <button>s, role=button and role=link too,\n"
        "                            in open shadow roots and every frame\n"
        "  set visible-only off|on   on: press only what a person could see\n"
        "  rules              every rule with its options: list, rule, sites, limits, notify\n"
        "  rule links|buttons TEXT [--sites P,...] [--limit N[/hour]] [--notify on|off]\n"
        "                     set a rule's options; TEXT is its line or its name. Sites are\n"
        "                     hosts (*.example.com for every host below), with a path if\n"
        "                     you like; --sites \"\" for everywhere; --limit none for no limit\n"
        "  connector install [chromium|edge]   let the browser install the Pressbird Connector\n"
        "  connector remove [chromium|edge]    undo connector install"));
    parser.addHelpOption();
    const QCommandLineOption sitesOption(QStringLiteral("sites"),
                                         QStringLiteral("rule: where it may press."),
                                         QStringLiteral("P,..."));
    const QCommandLineOption limitOption(QStringLiteral("limit"),
                                         QStringLiteral("rule: N per page load, N/hour, or none."),
                                         QStringLiteral("N[/hour]"));
    const QCommandLineOption notifyOption(
        QStringLiteral("notify"), QStringLiteral("rule: a desktop notification at each press."),
        QStringLiteral("on|off"));
    parser.addOptions({sitesOption, limitOption, notifyOption});
    parser.addPositionalArgument(QStringLiteral("verb"), QStringLiteral("What to do."));
    parser.process(app);
    const QStringList words = parser.positionalArguments();
    if (!words.isEmpty() && words.constFirst() == u"connector") {
        if (words.size() < 2 || words.size() > 3 ||
            (words.at(1) != u"install" && words.at(1) != u"remove")) {
            print(stderr, parser.helpText());
            return kUsage;
        }
        return connectorFiles(words.at(1), words.value(2));
    }
    const Verb *verb = nullptr;
    for (const Verb &candidate : kVerbs)
        if (!words.isEmpty() && words.constFirst() == QLatin1String(candidate.name))
            verb = &candidate;
    const qsizetype given = words.size() - 1;
    if (!verb || (verb->arguments >= 0 && given != verb->arguments) ||
        (verb->arguments < 0 && given > 1)) {
        print(stderr, parser.helpText());
        return kUsage;
    }
    control::RuleOptionChanges changes;
    if (parser.isSet(sitesOption))
        changes.sites = parser.value(sitesOption);
    changes.limits = parser.values(limitOption);
    if (parser.isSet(notifyOption))
        changes.notify = parser.value(notifyOption);
    if (!changes.isEmpty() && words.constFirst() != u"rule") {
        print(stderr, parser.helpText());
        return kUsage;
    }
    // Refused here, before a request too large for the socket is made of it.
    if (const auto checked = changes.applyTo({}); std::holds_alternative<QString>(checked))
        return fail(std::get<QString>(checked));
    QString argument = given > 0 ? words.at(1) : QString();
    const QString value = given > 1 ? words.at(2) : QString();
    // The instance runs elsewhere: it gets an absolute path.
    if ((words.constFirst() == u"export" || words.constFirst() == u"import") && argument != u"-")
        argument = QFileInfo(argument).absoluteFilePath();

    QString why;
    const std::optional<QString> folder = runtimeFolder(&why);
    if (folder && instanceRuns(*folder))
        return askInstance(app, *folder, *verb, argument, value, changes);
    if (verb->needsInstance)
        return fail(QStringLiteral("Pressbird is not running."));
    const QString name = QString::fromLatin1(verb->name);
    if (name == u"activity")
        return activityAlone(argument);
    if (name == u"preview")
        return previewAlone(app, folder);
    if (name == u"export")
        return exportAlone(argument);
    if (name == u"get" || name == u"set")
        return preferencesAlone(name, argument, value);
    if (name == u"rule" || name == u"rules")
        return ruleOptionsAlone(name, argument, value, changes);
    return importAlone(argument);
}
