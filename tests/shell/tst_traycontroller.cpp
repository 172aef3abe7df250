#include "settings.h"
#include "shellfakes.h"
#include "traycontroller.h"

#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTest>

#include <memory>

using namespace pressbird;
using namespace pressbird::testing;

namespace {
const QString kTip = QStringLiteral("Pressbird 2.1 - test publisher");

// Records the marker at the moment the window is shown again.
class ShowWatcher final : public QObject {
public:
    explicit ShowWatcher(FakeHost &host)
        : m_host(host) {}
    QList<WindowMarker> tagsAtShow;

protected:
    bool eventFilter(QObject *, QEvent *event) override {
        if (event->type() == QEvent::Show)
            tagsAtShow << m_host.tag;
        return false;
    }

private:
    FakeHost &m_host;
};
} // namespace

class TestTrayController : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<FakeHost> host;
    std::unique_ptr<FakeTray> tray;
    std::unique_ptr<CountingStore> store;
    std::unique_ptr<Settings> settings;
    std::unique_ptr<TrayController> controller;

    void minimiseFromTitleBar() {
        host->widget.setWindowState(Qt::WindowMinimized);
        QCoreApplication::processEvents();
    }

private Q_SLOTS:
    void init() {
        host = std::make_unique<FakeHost>();
        tray = std::make_unique<FakeTray>();
        store = std::make_unique<CountingStore>();
        settings = std::make_unique<Settings>(*store);
        controller = std::make_unique<TrayController>(*host, *tray, *settings, kTip);
        host->widget.show();
    }
    void cleanup() {
        controller.reset();
        host.reset();
    }

    void minimizeCommand_picksPictureByTimer_data() {
        QTest::addColumn<bool>("timerOn");
        QTest::newRow("timer on: Image1") << true;
        QTest::newRow("scan running: Image2") << false;
    }
    void minimizeCommand_picksPictureByTimer() {
        QFETCH(bool, timerOn);
        host->timer1.setEnabled(timerOn);
        controller->Minimize();
        QVERIFY(tray->shown);
        QCOMPARE(tray->iconKey, (timerOn ? host->image1 : host->image2).cacheKey());
        QCOMPARE(tray->tip, kTip);
        QVERIFY(!host->widget.isVisible());
    }

    void titleBarMinimise_hidesToTray() {
        minimiseFromTitleBar();
        QVERIFY(tray->shown);
        QVERIFY(!host->widget.isVisible());
    }

    void leftPress_restoresNormalWithMarkerAndKeepsIcon() {
        ShowWatcher watcher(*host);
        host->widget.installEventFilter(&watcher);
        minimiseFromTitleBar();
        watcher.tagsAtShow.clear();
        tray->press();
        QCoreApplication::processEvents();
        QVERIFY(host->widget.isVisible());
        QVERIFY(!host->widget.isMinimized());
        QVERIFY(!watcher.tagsAtShow.isEmpty());
        QCOMPARE(watcher.tagsAtShow.count(WindowMarker::SkipMinimize), watcher.tagsAtShow.size());
        QCOMPARE(host->tag, WindowMarker::None);
        QVERIFY(tray->shown);
    }

    void minimiseWhileRestoring_doesNotHideAgain() {
        host->tag = WindowMarker::SkipMinimize;
        minimiseFromTitleBar();
        QVERIFY(host->widget.isVisible());
        QVERIFY(!tray->shown);
    }

    void minimiseRestoreMinimise_leavesOneIconWithCurrentPicture() {
        controller->Minimize();
        tray->press();
        host->timer1.setEnabled(true);
        minimiseFromTitleBar();
        QVERIFY(tray->shown);
        QCOMPARE(tray->adds, 2);
        QCOMPARE(tray->iconKey, host->image1.cacheKey());
    }

    void noTray_minimiseKeepsWindowOnTaskbar() {
        tray->available = false;
        controller->Minimize();
        QVERIFY(host->widget.isVisible());
        QVERIFY(host->widget.isMinimized());
        minimiseFromTitleBar();
        QVERIFY(host->widget.isVisible());
        QVERIFY(!tray->shown);
    }

    void onlyLeftTriggerRestores() {
        SystemTrayIcon real;
        QSignalSpy pressed(&real, &TrayIcon::leftButtonPressed);
        auto *icon = real.findChild<QSystemTrayIcon *>();
        QVERIFY(icon);
        for (auto reason : {QSystemTrayIcon::Context, QSystemTrayIcon::DoubleClick,
                            QSystemTrayIcon::MiddleClick, QSystemTrayIcon::Unknown})
            Q_EMIT icon->activated(reason);
        QCOMPARE(pressed.count(), 0);
        Q_EMIT icon->activated(QSystemTrayIcon::Trigger);
        QCOMPARE(pressed.count(), 1);
    }

    // Cancelling the scan is the shell's answer to ended(): tst_desktopshell.
    void exit_removesIconAndEnds() {
        QSignalSpy ended(controller.get(), &TrayController::ended);
        controller->Minimize();
        controller->ExitM();
        QVERIFY(!tray->shown);
        QVERIFY(host->finalCloseAllowed);
        QCOMPARE(ended.count(), 1);
        controller->Minimize();
        QVERIFY(!tray->shown);
        QCOMPARE(store->writes, 0);
    }

    void exitBeforeAnyMinimise_stillEnds() {
        QSignalSpy ended(controller.get(), &TrayController::ended);
        host->widget.show();
        controller->ExitM();
        QCOMPARE(ended.count(), 1);
        QVERIFY(!host->widget.isVisible());
    }

    void startMinimised_honouredOnlyWithTray_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("trayAvailable");
        QTest::addColumn<bool>("ticked");
        QTest::addColumn<bool>("hide");
        QTest::newRow("ticked, tray") << "True" << true << true << true;
        QTest::newRow("ticked, no tray") << "True" << false << true << false;
        QTest::newRow("clear") << "False" << true << false << false;
        QTest::newRow("unset") << QString() << true << false << false;
    }
    void startMinimised_honouredOnlyWithTray() {
        QFETCH(QString, stored);
        QFETCH(bool, trayAvailable);
        QFETCH(bool, ticked);
        QFETCH(bool, hide);
        if (!stored.isNull())
            store->SaveSetting(QStringLiteral("Pressbird"), QStringLiteral("option"),
                               QStringLiteral("minappsu"), stored);
        tray->available = trayAvailable;
        const int writesBefore = store->writes;
        QCOMPARE(controller->restoreStartMinimized(), hide);
        QCOMPARE(host->minimizeOnStartup.isChecked(), ticked);
        QCOMPARE(store->writes, writesBefore);
    }
};

QTEST_MAIN(TestTrayController)
#include "tst_traycontroller.moc"
