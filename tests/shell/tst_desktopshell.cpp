#include "autostart.h"
#include "desktopshell.h"
#include "fakes.h"
#include "form1.h"
#include "form2255.h"
#include "helppage.h"
#include "memorysettingsstore.h"
#include "messageboxes.h"
#include "program.h"
#include "ruleentry.h"
#include "rulelistwidget.h"
#include "ruleoptions.h"
#include "scancycle.h"
#include "scantimer.h"
#include "settingkeys.h"
#include "shellfakes.h"
#include "simulatedbrowser.h"
#include "usernotifier.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace pressbird;
using namespace pressbird::testing;

namespace {
class NoMessages final : public MessageBoxes {
public:
    QStringList texts;
    void inform(const QString &text, const QString &) override { texts << text; }
};
class RecordingOpener final : public UrlOpener {
public:
    QList<QUrl> opened;
    bool openUrl(const QUrl &url) override {
        opened << url;
        return true;
    }
};
class RecordingNotifier final : public UserNotifier {
public:
    QStringList said; // "summary | body"
    void notify(const QString &summary, const QString &body) override {
        said << summary + u" | "_qs + body;
    }
};
class NoAutostart final : public Autostart {
public:
    int calls = 0;
    AutostartResult installShortcut() override {
        ++calls;
        return {true, {}, {}, {}};
    }
};
} // namespace

// The whole program over fakes of the platform: what a user sees at start,
// on a close request, on Help and on Exit, and a scan on the real event loop
// while the user works in the window.
class TestDesktopShell : public QObject {
    Q_OBJECT

private:
    const QUrl help = QUrl::fromLocalFile(QStringLiteral("/usr/share/pressbird/help.html"));
    std::unique_ptr<MemorySettingsStore> store;
    std::unique_ptr<SimulatedBrowser> browser;
    FakeClock clock; // stands still: a pause lasts until the scan is cancelled
    EventLoopYielder yielder;
    NoMessages recordedMessages;
    MessageBoxes *messages = &recordedMessages;
    FakeTray tray;
    NoAutostart autostart;
    RecordingOpener opener;
    RecordingNotifier notifier;
    QTemporaryDir asideFolder;
    std::unique_ptr<Program> program;
    Form1 *form = nullptr;
    DesktopShell *shell = nullptr;

    void startShell() {
        program = std::make_unique<Program>(
            Program::Platform{*store, *browser, yielder, clock, *messages, tray, autostart, opener,
                              help, asideFolder.path(), QString(), nullptr, &notifier});
        form = &program->window();
        shell = &program->shell();
        program->start();
    }
    SimulatedElementPtr pageWithLink(const QString &text) {
        auto page = std::make_shared<SimulatedPage>();
        SimulatedElementPtr link = page->addLink(text);
        browser->addWindow(page);
        return link;
    }
    void addTickedLinkRule(const QString &name) {
        form->Text5()->setText(name);
        form->Combo1()->setEditText(QStringLiteral("Exact Match"));
        form->Command1()->click();
        form->ListClick()->setTicked(form->ListClick()->count() - 1, true);
        form->ListClick_Click();
    }

private Q_SLOTS:
    void init() {
        store = std::make_unique<MemorySettingsStore>();
        browser = std::make_unique<SimulatedBrowser>();
        messages = &recordedMessages;
        notifier.said.clear();
    }
    void cleanup() {
        program.reset();
        form = nullptr;
        shell = nullptr;
    }

    void firstStart_showsWindowPromptAndRunsTimer() {
        startShell();
        QVERIFY(form->isVisible());
        QVERIFY(shell->prompt());
        QVERIFY(shell->prompt()->isVisible());
        QVERIFY(form->Timer1().isEnabled());
        QCOMPARE(form->Combo1()->count(), 4);
        QVERIFY(!tray.shown);
    }

    void promptNo_hidesItAndRemembersZero() {
        startShell();
        shell->prompt()->Command2()->click();
        QVERIFY(!shell->prompt()->isVisible());
        QCOMPARE(store->GetSetting(QStringLiteral("Pressbird"), QStringLiteral("StartUpQ"),
                                   QStringLiteral("qStrup"), {}),
                 QStringLiteral("0"));
        QCOMPARE(autostart.calls, 0);
    }

    void closeRequest_isRefusedAndWindowStays() {
        startShell();
        QVERIFY(!form->close());
        QVERIFY(form->isVisible());
    }

    void helpMenu_opensInstalledHelpPage() {
        startShell();
        form->Helpf()->trigger();
        QCOMPARE(opener.opened, QList<QUrl>{help});
    }

    void fileExit_removesIconStopsTimerAndEnds() {
        startShell();
        QSignalSpy ended(shell, &DesktopShell::ended);
        form->Minimize()->trigger();
        QVERIFY(tray.shown);
        form->ExitM()->trigger();
        QCOMPARE(ended.count(), 1);
        QVERIFY(!tray.shown);
        QVERIFY(!form->Timer1().isEnabled());
        QVERIFY(!shell->prompt()->isVisible());
        QVERIFY(form->close());
    }

    void scan_readsTheRulesStraightFromTheLists_andStopsWhenTold() {
        auto page = std::make_shared<SimulatedPage>();
        const SimulatedElementPtr link = page->addLink(QStringLiteral("Next page"));
        const SimulatedElementPtr button = page->addInput(QStringLiteral("OK"));
        browser->addWindow(page);
        startShell();
        form->Text5()->setText(QStringLiteral("Next"));
        form->Combo1()->setEditText(QStringLiteral("Starts With"));
        form->Command1()->click();
        form->Text8()->setText(QStringLiteral("OK"));
        form->Combo2()->setEditText(QStringLiteral("Exact Match"));
        form->Command3()->click();
        program->scan().Timer1_Timer();
        QTRY_VERIFY(!program->scan().isScanning());
        QCOMPARE(link->clicks + button->clicks, 0); // new rules start switched off

        form->ListClick()->setTicked(0, true);
        form->ListPush()->setTicked(0, true);
        program->scan().Timer1_Timer();
        QTRY_COMPARE(link->clicks, 1);
        program->scan().stop(); // cancelled in the pause after the first press
        QVERIFY(!form->Timer1().isEnabled());
        program->scan().Timer1_Timer();
        QTest::qWait(100);
        QCOMPARE(link->clicks, 1);
        QCOMPARE(button->clicks, 0); // a stopped scan clicks nothing more
    }

    // A rule that asks for it tells the desktop of each press, and only that
    // rule; deleting its last line drops its options, one line left keeps them.
    void notifyingRule_tellsOfItsPresses_andItsOptionsGoWithItsLastLine() {
        const QString entry = MakeEntryText(u"Next"_qs, u"Exact Match"_qs);
        RuleOptions loud;
        loud.notify = true;
        QVERIFY(
            store->ReplaceSection(kAppName.toString(), kRuleOptionsSection.toString(),
                                  {{kLinkOptionsPrefix.toString() + entry, optionsToJson(loud)}}));
        auto page = std::make_shared<SimulatedPage>();
        const SimulatedElementPtr next = page->addLink(u"Next"_qs);
        const SimulatedElementPtr other = page->addLink(u"Other"_qs);
        browser->addWindow(page)->info = {u"Results"_qs, u"https://example.com/r"_qs, {}};
        startShell();
        addTickedLinkRule(u"Next"_qs);
        addTickedLinkRule(u"Other"_qs);
        program->scan().Timer1_Timer();
        QTRY_COMPARE(next->clicks, 1);
        QTRY_COMPARE(notifier.said,
                     QStringList{u"Pressed \"Next\" | Results\nhttps://example.com/r"_qs});
        program->scan().stop();
        QCOMPARE(other->clicks, 0);

        addTickedLinkRule(u"Next"_qs); // a second line of the same rule
        const auto storedRows = [this] {
            return store->GetAllSettings(kAppName.toString(), kRuleOptionsSection.toString())
                .value_or(SettingRows())
                .size();
        };
        for (const auto &[line, left] : {std::pair<std::int16_t, int>{2, 1}, {0, 0}}) {
            QCOMPARE(form->ListClick()->text(line), entry);
            form->ListClick()->setCurrentEntry(line);
            form->DeleteM_Click();
            QCOMPARE(storedRows(), left);
        }
    }

    // The scan waits for a slow browser in the event loop: the user edits and
    // ticks rules and opens a message box meanwhile, the box stays up and the
    // scan goes on under it, reading the lists as they are now.
    void slowBrowser_userWorksMeanwhile_scanGoesOnUnderAMessageBox() {
        QtMessageBoxes realBoxes;
        messages = &realBoxes;
        const SimulatedElementPtr link = pageWithLink(QStringLiteral("Go"));
        int reads = 0;
        browser->answerDelayMs = [&](const SimulatedCallInfo &info) {
            reads += info.call == SimulatedCall::OuterText;
            return info.call == SimulatedCall::OuterText ? 300 : 0;
        };
        startShell();
        form->Text5()->setText(QStringLiteral("Other"));
        form->Combo1()->setEditText(QStringLiteral("Exact Match"));
        form->Command1()->click(); // one unticked rule: the scan reads the text

        program->scan().Timer1_Timer();
        QTRY_VERIFY(reads > 0); // suspended on the slow read
        QVERIFY(program->scan().isScanning());
        addTickedLinkRule(QStringLiteral("Go"));
        form->AboutFF()->trigger();
        QVERIFY(qobject_cast<QMessageBox *>(QApplication::activeModalWidget()));

        QTRY_COMPARE_WITH_TIMEOUT(link->clicks, 1, 5000);
        QVERIFY(qobject_cast<QMessageBox *>(QApplication::activeModalWidget()));
        QCOMPARE(form->ListClick()->count(), std::int16_t{2});
        QApplication::activeModalWidget()->close();
    }

    // Exit cancels the scan where it waits and ends at once: nothing of it
    // runs afterwards, and no tick follows.
    void exitWhileABrowserCallIsPending_endsAtOnce() {
        const SimulatedElementPtr link = pageWithLink(QStringLiteral("Go"));
        bool answeredAfterExit = false, exited = false;
        browser->answerDelayMs = [](const SimulatedCallInfo &info) {
            return info.call == SimulatedCall::Length ? 200 : 0;
        };
        browser->trace = [&](const SimulatedCallInfo &) { answeredAfterExit |= exited; };
        startShell();
        addTickedLinkRule(QStringLiteral("Go"));
        QSignalSpy ended(shell, &DesktopShell::ended);
        program->scan().Timer1_Timer();
        QTest::qWait(20);
        QVERIFY(program->scan().isScanning());

        form->ExitM()->trigger();
        exited = true;
        QCOMPARE(ended.count(), 1);
        QVERIFY(!program->scan().isScanning());
        QVERIFY(!form->isVisible());
        QTest::qWait(500);
        QVERIFY(!answeredAfterExit);
        QCOMPARE(link->clicks, 0);
        QVERIFY(!form->Timer1().isEnabled());
    }

    void exitWhileThePauseRuns_endsAtOnce() {
        const SimulatedElementPtr first = pageWithLink(QStringLiteral("Go"));
        const SimulatedElementPtr second = pageWithLink(QStringLiteral("Go"));
        startShell();
        addTickedLinkRule(QStringLiteral("Go"));
        QSignalSpy ended(shell, &DesktopShell::ended);
        program->scan().Timer1_Timer();
        QTRY_COMPARE(first->clicks, 1); // now in the pause that follows the press

        form->ExitM()->trigger();
        QCOMPARE(ended.count(), 1);
        QVERIFY(!program->scan().isScanning());
        QTest::qWait(1200); // past the pause's next look at the clock
        QCOMPARE(second->clicks, 0);
    }

    void startMinimisedTicked_startsInTrayWithTickShown() {
        store->SaveSetting(QStringLiteral("Pressbird"), QStringLiteral("option"),
                           QStringLiteral("minappsu"), QStringLiteral("True"));
        store->SaveSetting(QStringLiteral("Pressbird"), QStringLiteral("StartUpQ"),
                           QStringLiteral("qStrup"), QStringLiteral("1"));
        startShell();
        QVERIFY(!form->isVisible());
        QVERIFY(tray.shown);
        QCOMPARE(tray.iconKey, form->Image1().cacheKey());
        QVERIFY(form->MinimizeApplicationonStartup()->isChecked());
        QVERIFY(!shell->prompt());
        tray.press();
        QVERIFY(form->isVisible());
    }
};

QTEST_MAIN(TestDesktopShell)
#include "tst_desktopshell.moc"
