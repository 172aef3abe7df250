#include "activitylog.h"
#include "activitywindow.h"
#include "autostart.h"
#include "browserswindow.h"
#include "controlcommands.h"
#include "extensioninstaller.h"
#include "fakes.h"
#include "helppage.h"
#include "memorysettingsstore.h"
#include "messageboxes.h"
#include "preferenceswindow.h"
#include "previewwindow.h"
#include "program.h"
#include "ruleentry.h"
#include "rulelistwidget.h"
#include "ruleoptionswindow.h"
#include "ruleverbs.h"
#include "scancycle.h"
#include "scantimer.h"
#include "settingkeys.h"
#include "shellfakes.h"
#include "simulatedbrowser.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

using namespace pressbird;
using namespace pressbird::testing;

namespace {
const QString kApp = QStringLiteral("Pressbird");
class NoMessages final : public MessageBoxes {
public:
    QStringList texts;
    void inform(const QString &text, const QString &) override { texts << text; }
};
class NoOpener final : public UrlOpener {
public:
    bool openUrl(const QUrl &) override { return true; }
};
class NoAutostart final : public Autostart {
public:
    AutostartResult installShortcut() override { return {true, {}, {}, {}}; }
};
// Installs by remembering: the routes change once a family is installed.
class FakeInstaller final : public ExtensionInstaller {
public:
    QStringList installed;
    QString connected;
    QList<ExtensionRoute> routes() const override {
        QList<ExtensionRoute> routes;
        for (const QString &family : {u"Chromium"_qs, u"Firefox"_qs}) {
            if (family == connected)
                routes.append({family, u"extension installed, connected"_qs, false});
            else if (installed.contains(family))
                routes.append({family, u"restart "_qs + family, false});
            else
                routes.append({family, u"extension not installed"_qs, family == u"Chromium"});
        }
        return routes;
    }
    QString install(const QString &family) override {
        installed.append(family);
        return family + u": written; restart it"_qs;
    }
};
} // namespace

// What pressbird-ctl asks of the running program, carried out on the real
// window and scan over a simulated browser.
class TestControlCommands : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> folder;
    MemorySettingsStore store;
    SimulatedBrowser browser;
    FakeClock clock; // stands still: a pause lasts until the scan is cancelled
    EventLoopYielder yielder;
    NoMessages messages;
    FakeTray tray;
    NoAutostart autostart;
    NoOpener opener;
    FakeInstaller installer;
    std::unique_ptr<Program> program;
    SimulatedElementPtr link;
    SimulatedElementPtr button;

    // `changes`: a rule verb's option fields.
    QJsonObject ask(const QString &verb, const QString &argument = {}, const QString &value = {},
                    const control::RuleOptionChanges &changes = {}) {
        QJsonObject request{{u"verb"_qs, verb}};
        changes.addTo(request);
        if (!argument.isNull())
            request.insert(u"argument"_qs, argument);
        if (!value.isNull())
            request.insert(u"value"_qs, value);
        std::optional<QJsonObject> reply;
        Task<QJsonObject> task = program->commands().handle(request);
        task.start([&] { reply = task.result(); });
        if (!QTest::qWaitFor([&] { return reply.has_value(); }, 10000))
            qFatal("no answer to %s", qPrintable(verb));
        return *reply;
    }
    QString text(const QString &verb, const QString &argument = {}) {
        const QJsonObject reply = ask(verb, argument);
        return reply.value(reply.value(u"ok").toBool() ? u"text" : u"error").toString();
    }
    template<typename Window> Window *shownWindow() {
        for (QWidget *widget : QApplication::topLevelWidgets())
            if (auto *window = qobject_cast<Window *>(widget); window && widget->isVisible())
                return window;
        return nullptr;
    }
    static QString cellUnder(const QTableWidget *table, const QString &header, int row) {
        for (int column = 0; column < table->columnCount(); ++column)
            if (table->horizontalHeaderItem(column)->text() == header)
                return table->item(row, column) ? table->item(row, column)->text() : QString();
        return u"no column "_qs + header;
    }
    void startProgram(const QString &activityLog) {
        program = std::make_unique<Program>(Program::Platform{store,
                                                              browser,
                                                              yielder,
                                                              clock,
                                                              messages,
                                                              tray,
                                                              autostart,
                                                              opener,
                                                              {},
                                                              folder->path(),
                                                              activityLog,
                                                              &installer});
        program->start();
    }
    void addRule(RuleListWidget *list, const QString &name, const QString &kind, bool ticked) {
        list->append(MakeEntryText(name, kind));
        list->setTicked(list->count() - 1, ticked);
        program->window().ListUpdate();
    }

private Q_SLOTS:
    void init() {
        folder = std::make_unique<QTemporaryDir>();
        store = MemorySettingsStore();
        store.SaveSetting(u"Pressbird"_qs, u"StartUpQ"_qs, u"qStrup"_qs, u"1"_qs);
        auto page = std::make_shared<SimulatedPage>();
        link = page->addLink(u"Next page"_qs);
        button = page->addInput(u"Continue"_qs);
        page->addLink(u"Other"_qs);
        auto window = browser.addWindow(page);
        window->info = {u"Demo\tpage"_qs, u"https://example.org/demo"_qs, u"127.0.0.1:9222"_qs};
        startProgram(folder->filePath(u"activity.sqlite3"_qs));
        program->window().Timer1().setInterval(0); // scans are run by hand
    }
    void cleanup() {
        messages.texts.clear();
        program.reset();
        for (const SimulatedWindowPtr &window : QList(browser.windows()))
            browser.closeWindow(window);
    }

    void preview_pressesNothingAndListsEveryMatch() {
        addRule(program->window().ListClick(), u"next"_qs, u"Starts With"_qs, true);
        addRule(program->window().ListClick(), u"page"_qs, u"Ends With"_qs, true);
        addRule(program->window().ListClick(), u"Other"_qs, u"Exact Match"_qs, false);
        addRule(program->window().ListPush(), u"Continue"_qs, u"Exact Match"_qs, true);
        QCOMPARE(text(u"preview"_qs),
                 u"link\tnext -Type: Starts With\tNext page\thttps://example.org/demo\n"
                 "link\tpage -Type: Ends With\tNext page\thttps://example.org/demo\n"
                 "button\tContinue -Type: Exact Match\tContinue\thttps://example.org/demo"_qs);
        QCOMPARE(link->clicks + button->clicks, 0);
        QVERIFY(program->activity().recent(10).isEmpty());
    }

    void pause_duringAScan_pressesNothingMore_resumePressesAgain() {
        auto second = std::make_shared<SimulatedPage>();
        const SimulatedElementPtr later = second->addLink(u"Next page"_qs);
        browser.addWindow(second);
        addRule(program->window().ListClick(), u"Next"_qs, u"Starts With"_qs, true);
        program->scan().Timer1_Timer();
        QTRY_COMPARE(link->clicks, 1); // in the pause after the press now
        QCOMPARE(text(u"pause"_qs), u"paused"_qs);
        QVERIFY(!program->scan().isScanning());
        QVERIFY(!program->window().Timer1().isEnabled());
        QVERIFY(text(u"status"_qs).startsWith(u"paused"_qs));
        program->scan().Timer1_Timer(); // a tick while paused does nothing
        QTest::qWait(300);
        QCOMPARE(later->clicks, 0);

        QCOMPARE(text(u"resume"_qs), u"scanning"_qs);
        QVERIFY(program->window().Timer1().isEnabled());
        QVERIFY(text(u"status"_qs).startsWith(u"scanning"_qs));
        program->scan().Timer1_Timer();
        QTRY_COMPARE(link->clicks, 2);
    }

    // What a press led to, as the browser told it, in the sixth field, and
    // its frame in the seventh (none: the page itself); a press the browser
    // refused (the button's) is not logged as one.
    void activity_recordsEveryPressOldestFirst_withWhatItLedTo() {
        addRule(program->window().ListClick(), u"Next"_qs, u"Starts With"_qs, true);
        addRule(program->window().ListPush(), u"Continue"_qs, u"Exact Match"_qs, true);
        link->outcome = PressOutcome::OpenedTab;
        browser.failWhen = [](const SimulatedCallInfo &call) {
            return call.call == SimulatedCall::Click && call.collection == Collection::All;
        };
        program->scan().Timer1_Timer();
        QTRY_COMPARE(link->clicks, 1);
        QTRY_COMPARE(program->activity().recent(5).size(), 1);
        const QStringList fields = text(u"activity"_qs).split(u'\t');
        QCOMPARE(fields.size(), 7);
        QVERIFY(QDateTime::fromString(fields.at(0), Qt::ISODate).isValid());
        QCOMPARE(fields.mid(1),
                 (QStringList{u"link"_qs, u"Next -Type: Starts With"_qs, u"Next page"_qs,
                              u"https://example.org/demo"_qs, u"opened a tab"_qs, QString()}));
        QCOMPARE(program->activity().recent(1).constFirst().pageTitle, u"Demo\tpage"_qs);
        QCOMPARE(text(u"activity"_qs, u"0"_qs), QString());
        QVERIFY(!ask(u"activity"_qs, u"many"_qs).value(u"ok").toBool());
    }

    void frame_isShownInActivityAndPreview() {
        ActivityEntry press;
        press.time = QDateTime::currentDateTime();
        press.frame = u"https://ads.example.net/frame"_qs;
        program->activity().append(press);
        QVERIFY(ask(u"show"_qs, u"activity"_qs).value(u"ok").toBool());
        QVERIFY(shownWindow<ActivityWindow>());
        QCOMPARE(cellUnder(shownWindow<ActivityWindow>()->table(), u"Frame"_qs, 0), press.frame);
        PreviewWindow preview;
        preview.showMatches({press});
        QCOMPARE(cellUnder(preview.table(), u"Frame"_qs, 0), press.frame);
    }

    void exportThenImport_givesTheSameListsAndTicks_refusedImportChangesNothing() {
        addRule(program->window().ListClick(), u"Next"_qs, u"Starts With"_qs, true);
        addRule(program->window().ListPush(), u"OK"_qs, u"Contains"_qs, false);
        const QString file = folder->filePath(u"rules.json"_qs);
        QVERIFY(ask(u"export"_qs, file).value(u"ok").toBool());
        const QStringList links = QStringList{u"Next -Type: Starts With"_qs};

        program.reset();
        store = MemorySettingsStore();
        startProgram(QString());
        QCOMPARE(text(u"import"_qs, file), u"2 rule(s) added"_qs);
        QCOMPARE(program->window().ListClick()->text(0), std::optional(links.constFirst()));
        QCOMPARE(program->window().ListClick()->ticked(0), std::optional(true));
        QCOMPARE(program->window().ListPush()->ticked(0), std::optional(false));
        QCOMPARE(store.GetAllSettings(u"Pressbird"_qs, u"list"_qs)->size(), 2); // saved at once

        QFile bad(folder->filePath(u"bad.json"_qs));
        QVERIFY(bad.open(QIODevice::WriteOnly));
        bad.write(R"({"format": "pressbird-rules", "links": [{"name": "x", "kind": "Maybe"}]})");
        bad.close();
        const QJsonObject refused = ask(u"import"_qs, bad.fileName());
        QVERIFY(!refused.value(u"ok").toBool());
        QVERIFY(refused.value(u"error").toString().contains(u"links[0].kind"_qs));
        QCOMPARE(program->window().ListClick()->count(), 1);
    }

    // Each time it is shown, the window ticks what is stored then; a click
    // is saved at once, and a set from pressbird-ctl shows in the open window.
    void preferencesWindow_showsWhatIsStored_andSavesAClickAtOnce() {
        QVERIFY(store.SaveSetting(kApp, u"preferences"_qs, u"pages"_qs, u"today"_qs));
        QVERIFY(ask(u"show"_qs, u"preferences"_qs).value(u"ok").toBool());
        auto *window = shownWindow<PreferencesWindow>();
        QVERIFY(window);
        QCOMPARE(window->windowTitle(), u"Pressbird Preferences"_qs);
        const auto choice = [window](const QString &name) {
            return window->findChild<QRadioButton *>(name);
        };
        QVERIFY(choice(u"pages today"_qs)->isChecked());
        QVERIFY(choice(u"visible-only off"_qs)->isChecked());
        choice(u"visible-only on"_qs)->click();
        QCOMPARE(store.GetSetting(kApp, u"preferences"_qs, u"visible-only"_qs, {}), u"on"_qs);
        QVERIFY(ask(u"set"_qs, u"pages"_qs, u"classic"_qs).value(u"ok").toBool());
        QVERIFY(choice(u"pages classic"_qs)->isChecked());

        window->hide();
        QVERIFY(store.SaveSetting(kApp, u"preferences"_qs, u"visible-only"_qs, u"off"_qs));
        QVERIFY(ask(u"show"_qs, u"preferences"_qs).value(u"ok").toBool());
        QVERIFY(choice(u"visible-only off"_qs)->isChecked());
    }

    // A change from pressbird-ctl or the window reaches both engines as the
    // next scan starts, before its first walk, and a preview reads it too; a
    // stored value Pressbird does not know is told once, not at every scan.
    void changedPreference_appliesFromTheNextScanOn() {
        QVERIFY(store.SaveSetting(kApp, u"preferences"_qs, u"visible-only"_qs, u"yes"_qs));
        QVERIFY(ask(u"set"_qs, u"pages"_qs, u"today"_qs).value(u"ok").toBool());
        for (int scan = 0; scan < 2; ++scan) {
            program->scan().Timer1_Timer();
            QCOMPARE(program->engine().pageOptions(), (PageOptions{true, false}));
            QCOMPARE(program->previewEngine().pageOptions(), (PageOptions{true, false}));
            QTRY_VERIFY(!program->scan().isScanning());
        }
        QCOMPARE(messages.texts.size(), 1);

        QVERIFY(ask(u"show"_qs, u"preferences"_qs).value(u"ok").toBool());
        shownWindow<PreferencesWindow>()->findChild<QRadioButton *>(u"visible-only on"_qs)->click();
        program->scan().Timer1_Timer();
        QCOMPARE(program->engine().pageOptions(), (PageOptions{true, true}));
        QTRY_VERIFY(!program->scan().isScanning());

        QVERIFY(ask(u"set"_qs, u"pages"_qs, u"classic"_qs).value(u"ok").toBool());
        QVERIFY(ask(u"preview"_qs).value(u"ok").toBool());
        QCOMPARE(program->previewEngine().pageOptions(), (PageOptions{false, true}));
    }

    // The Rule Options window, opened from Preferences, lists each rule once
    // with its options; a site that is not one is refused with its reason and
    // nothing saved; an applied change is stored, printed by rules, and shown
    // again; a change from pressbird-ctl shows in the open window; a limit
    // reached shows in the preview.
    void ruleOptionsWindow_appliesWhatReadsAsOptions_showsChangesFromCtl_andPreviewHoldsBack() {
        addRule(program->window().ListClick(), u"Next"_qs, u"Starts With"_qs, true);
        addRule(program->window().ListClick(), u"Next"_qs, u"Starts With"_qs, false);
        addRule(program->window().ListPush(), u"Continue"_qs, u"Exact Match"_qs, true);
        // Reached from the Preferences window.
        QVERIFY(ask(u"show"_qs, u"preferences"_qs).value(u"ok").toBool());
        shownWindow<PreferencesWindow>()->findChild<QPushButton *>(u"RuleOptions"_qs)->click();
        auto *window = shownWindow<RuleOptionsWindow>();
        QVERIFY(window);
        QCOMPARE(window->windowTitle(), u"Pressbird Rule Options"_qs);
        auto *rules = window->findChild<QTreeWidget *>(u"Rules"_qs);
        auto *sites = window->findChild<QLineEdit *>(u"Sites"_qs);
        auto *perLoad = window->findChild<QSpinBox *>(u"PerLoad"_qs);
        auto *problem = window->findChild<QLabel *>(u"Problem"_qs);
        auto *apply = window->findChild<QPushButton *>(u"Apply"_qs);
        QVERIFY(rules && sites && perLoad && problem && apply);
        QCOMPARE(rules->topLevelItemCount(), 2);
        const auto storedRows = [this] {
            return store.GetAllSettings(kApp, kRuleOptionsSection.toString())
                .value_or(SettingRows());
        };

        rules->setCurrentItem(rules->topLevelItem(0));
        sites->setText(u"example.org, not a site!"_qs);
        apply->click();
        QVERIFY2(problem->text().contains(u"is not a site"_qs), qPrintable(problem->text()));
        QVERIFY(storedRows().isEmpty());

        sites->setText(u"example.org"_qs);
        perLoad->setValue(2);
        apply->click();
        QCOMPARE(storedRows().size(), 1);
        QCOMPARE(text(u"rules"_qs),
                 u"link\tNext -Type: Starts With\texample.org\t2/load\toff\n"
                 "button\tContinue -Type: Exact Match\teverywhere\tnone\toff"_qs);
        QCOMPARE(rules->topLevelItem(0)->text(2), u"example.org"_qs);

        control::RuleOptionChanges changes;
        changes.limits = {u"3/hour"_qs};
        const QJsonObject reply = ask(u"rule"_qs, u"buttons"_qs, u"Continue"_qs, changes);
        QVERIFY2(reply.value(u"ok").toBool(), qPrintable(reply.value(u"error").toString()));
        QCOMPARE(rules->topLevelItem(1)->text(3), u"3/hour"_qs);
        QCOMPARE(rules->currentItem(), rules->topLevelItem(0)); // the selection stays
        QCOMPARE(perLoad->value(), 2);

        // Pressed as often as its limit lets it, the rule is held back, and
        // the preview says so.
        perLoad->setValue(1);
        apply->click();
        program->scan().Timer1_Timer();
        QTRY_COMPARE(link->clicks, 1);
        program->scan().stop();
        QCOMPARE(text(u"preview"_qs),
                 u"link\tNext -Type: Starts With\tNext page\thttps://example.org/demo\t"
                 "held back: 1 per load\n"
                 "button\tContinue -Type: Exact Match\tContinue\thttps://example.org/demo"_qs);
    }

    void showWindows_andUnknownVerbs() {
        QVERIFY(ask(u"show"_qs, u"activity"_qs).value(u"ok").toBool());
        QVERIFY(ask(u"show"_qs, u"browsers"_qs).value(u"ok").toBool());
        QVERIFY(ask(u"show"_qs, u"preview"_qs).value(u"ok").toBool());
        QVERIFY(ask(u"show"_qs, u"preferences"_qs).value(u"ok").toBool());
        const auto windows = QApplication::topLevelWidgets();
        for (const char *name :
             {"ActivityWindow", "BrowsersWindow", "PreviewWindow", "PreferencesWindow"}) {
            const bool shown = std::any_of(windows.cbegin(), windows.cend(), [&](QWidget *w) {
                return w->objectName() == QLatin1String(name) && w->isVisible();
            });
            QVERIFY2(shown, name);
        }
        QVERIFY(!ask(u"show"_qs, u"everything"_qs).value(u"ok").toBool());
        QVERIFY(ask(u"retry"_qs).value(u"ok").toBool());
        QVERIFY(text(u"frobnicate"_qs).contains(u"unknown verb"_qs));
    }

    // The Connector per family: Install where there is one, what it led to,
    // and the state kept current by the scans while the window is open.
    void browsersWindow_installButton_thenTheScanShowsItConnected() {
        QVERIFY(ask(u"show"_qs, u"browsers"_qs).value(u"ok").toBool());
        BrowsersWindow *window = nullptr;
        for (QWidget *widget : QApplication::topLevelWidgets())
            if (auto *browsers = qobject_cast<BrowsersWindow *>(widget);
                browsers && widget->isVisible())
                window = browsers;
        QVERIFY(window);
        QTableWidget *routes = window->connectorTable();
        QCOMPARE(routes->rowCount(), 2);
        QCOMPARE(routes->item(1, 2)->text(), u"extension not installed"_qs);
        QVERIFY(!routes->cellWidget(1, 1)); // Firefox: nothing to press
        auto *install = window->findChild<QPushButton *>(u"Install Chromium"_qs);
        QVERIFY(install);
        install->click();
        QCOMPARE(installer.installed, QStringList{u"Chromium"_qs});
        QCOMPARE(window->findChild<QLabel *>(u"InstallOutcome"_qs)->text(),
                 u"Chromium: written; restart it"_qs);
        QCOMPARE(routes->item(0, 2)->text(), u"restart Chromium"_qs);
        QVERIFY(!routes->cellWidget(0, 1));

        installer.connected = u"Chromium"_qs;
        program->scan().Timer1_Timer();
        QTRY_COMPARE(routes->item(0, 2)->text(), u"extension installed, connected"_qs);

        // Today's walk stopped at a page's budget: the window names the tab
        // after the scan, and no more once a scan reads it whole.
        QLabel *cutShort = window->findChild<QLabel *>(u"CutShort"_qs);
        QVERIFY(!cutShort->isVisible());
        browser.windows().constFirst()->page->cutShortWhenToday = true;
        QVERIFY(ask(u"set"_qs, u"pages"_qs, u"today"_qs).value(u"ok").toBool());
        program->scan().Timer1_Timer();
        QTRY_VERIFY(cutShort->isVisible());
        QVERIFY(cutShort->text().contains(u"Demo"));
        QVERIFY(ask(u"set"_qs, u"pages"_qs, u"classic"_qs).value(u"ok").toBool());
        QTRY_VERIFY(!program->scan().isScanning());
        program->scan().Timer1_Timer();
        QTRY_VERIFY(!cutShort->isVisible());
    }
};

QTEST_MAIN(TestControlCommands)
#include "tst_controlcommands.moc"
