#include "autostart.h"
#include "desktopshell.h"
#include "fakes.h"
#include "form1.h"
#include "form2255.h"
#include "helppage.h"
#include "memorysettingsstore.h"
#include "messageboxes.h"
#include "scancycle.h"
#include "scantimer.h"
#include "shellfakes.h"
#include "simulatedbrowser.h"

#include <QAction>
#include <QCheckBox>
#include <QPushButton>
#include <QSignalSpy>
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
class NoAutostart final : public Autostart {
public:
    int calls = 0;
    AutostartResult installShortcut() override {
        ++calls;
        return {true, {}, {}, {}};
    }
};
} // namespace

// The shell around the real main window: what a user sees at start, on a
// close request, on Help and on Exit.
class TestDesktopShell : public QObject {
    Q_OBJECT

private:
    const QUrl help = QUrl::fromLocalFile(QStringLiteral("/usr/share/pressbird/help.html"));
    MemorySettingsStore store;
    SimulatedBrowser browser;
    FakeClock clock;
    FakeYielder yielder{&clock};
    NoMessages messages;
    FakeTray tray;
    NoAutostart autostart;
    RecordingOpener opener;
    std::unique_ptr<Form1> form;
    std::unique_ptr<DesktopShell> shell;

    void startShell() {
        form = std::make_unique<Form1>(store, browser, yielder, clock, messages);
        shell = std::make_unique<DesktopShell>(
            *form, DesktopShell::Services{store, messages, tray, autostart, opener, help});
        shell->start();
    }

private Q_SLOTS:
    void cleanup() {
        shell.reset();
        form.reset();
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
        QCOMPARE(store.GetSetting(QStringLiteral("Pressbird"), QStringLiteral("StartUpQ"),
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
        QSignalSpy ended(shell.get(), &DesktopShell::ended);
        form->Minimize()->trigger();
        QVERIFY(tray.shown);
        form->ExitM()->trigger();
        QCOMPARE(ended.count(), 1);
        QVERIFY(!tray.shown);
        QVERIFY(!form->Timer1().isEnabled());
        QVERIFY(!shell->prompt()->isVisible());
        QVERIFY(form->close());
    }

    // Ending the event loop while the scan waits for the browser in a nested
    // loop leaves that wait spinning: the program must end only once the
    // scan has returned, and no tick may follow.
    void exitInsideScan_endsOnlyAfterScanReturns() {
        auto page = std::make_shared<SimulatedPage>();
        page->addLink(QStringLiteral("Next page"));
        browser.addWindow(page);
        startShell();
        QSignalSpy ended(shell.get(), &DesktopShell::ended);
        int endedInsideScan = -1;
        browser.trace = [&](const SimulatedCallInfo &info) {
            if (info.call != SimulatedCall::Length || endedInsideScan != -1)
                return;
            form->ExitM()->trigger();
            QTest::qWait(30); // what a browser wait would run meanwhile
            endedInsideScan = ended.count();
        };
        form->scanCycle().Timer1_Timer();
        browser.trace = nullptr;
        QCOMPARE(endedInsideScan, 0);
        QVERIFY(!form->isVisible());
        QTRY_COMPARE(ended.count(), 1);
        QVERIFY(!form->Timer1().isEnabled());
        QVERIFY(!form->scanCycle().isScanning());
    }

    void startMinimisedTicked_startsInTrayWithTickShown() {
        store.SaveSetting(QStringLiteral("Pressbird"), QStringLiteral("option"),
                          QStringLiteral("minappsu"), QStringLiteral("True"));
        store.SaveSetting(QStringLiteral("Pressbird"), QStringLiteral("StartUpQ"),
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
