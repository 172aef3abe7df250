#include "desktopnotifier.h"
#include "fakenotifications.h"
#include "shellfakes.h"

#include <QDBusConnectionInterface>
#include <QDBusPendingCallWatcher>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace pressbird;
using namespace pressbird::testing;

class TestDesktopNotifier : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir;
    QProcess daemon;
    QString address;
    QStringList names; // this case's connections, closed after it

    QDBusConnection connect(const QString &to = {}) {
        names << QStringLiteral("test%1").arg(names.size());
        return QDBusConnection::connectToBus(to.isEmpty() ? address : to, names.last());
    }
    // A connection holding the notification service, or nullptr for none.
    std::unique_ptr<FakeNotifications> serve(QDBusConnection bus) {
        auto service = std::make_unique<FakeNotifications>();
        bus.registerVirtualObject(kNotificationsPath, service.get());
        if (!bus.registerService(kNotificationsService))
            return nullptr;
        return service;
    }

private Q_SLOTS:
    void initTestCase() {
        // A bus of our own with no service files: nothing may be started on demand.
        const QString config = dir.filePath(QStringLiteral("bus.conf"));
        QFile file(config);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QStringLiteral("<busconfig><type>session</type><listen>unix:dir=%1</listen>"
                                  "<auth>EXTERNAL</auth><policy context=\"default\">"
                                  "<allow send_destination=\"*\"/><allow receive_sender=\"*\"/>"
                                  "<allow own=\"*\"/>"
                                  "</policy></busconfig>")
                       .arg(dir.path())
                       .toUtf8());
        file.close();
        daemon.start(QStringLiteral("dbus-daemon"),
                     {QStringLiteral("--config-file=") + config, QStringLiteral("--nofork"),
                      QStringLiteral("--print-address")});
        QVERIFY2(daemon.waitForStarted(5000), "dbus-daemon is needed (package dbus-daemon)");
        QVERIFY(daemon.waitForReadyRead(5000));
        address = QString::fromUtf8(daemon.readLine()).trimmed();
        QVERIFY(connect().isConnected());
        cleanup();
    }
    void cleanup() {
        for (const QString &name : std::as_const(names))
            QDBusConnection::disconnectFromBus(name);
        names.clear();
    }
    void cleanupTestCase() {
        daemon.kill();
        daemon.waitForFinished(5000);
    }

    void notification_reachesService_andReplacesTheLastOne() {
        auto service = serve(connect());
        QVERIFY(service);
        FakeTray tray;
        DesktopNotifier notifier(tray, connect());

        notifier.notify(QStringLiteral("Pressed"), QStringLiteral("Next page"));
        QTRY_COMPARE(service->calls.size(), 1);
        const NotifyCall first = service->calls.first();
        QCOMPARE(first.app, QStringLiteral("Pressbird"));
        QCOMPARE(first.replacesId, 0u);
        QCOMPARE(first.icon, QStringLiteral("pressbird"));
        QCOMPARE(first.summary, QStringLiteral("Pressed"));
        QCOMPARE(first.body, QStringLiteral("Next page"));
        QVERIFY(first.actions.isEmpty() && first.hints.isEmpty());
        QCOMPARE(first.timeout, -1);

        // The id is known once the answer is in: once no call is left waiting.
        QTRY_VERIFY(notifier.findChildren<QDBusPendingCallWatcher *>().isEmpty());
        notifier.notify(QStringLiteral("Pressed"), QStringLiteral("Next page"));
        QTRY_COMPARE(service->calls.size(), 2);
        QCOMPARE(service->calls.at(1).replacesId, 7u);
        QVERIFY(tray.messages.isEmpty());
    }

    void body_isSentAsPlainText_data() {
        QTest::addColumn<QString>("body");
        QTest::addColumn<QString>("sent");
        QTest::newRow("markup") << QStringLiteral("<b>Go</b> & <a href=x>on</a>")
                                << QStringLiteral("&lt;b&gt;Go&lt;/b&gt; &amp; &lt;a href=x&gt;on"
                                                  "&lt;/a&gt;");
        QTest::newRow("entity") << QStringLiteral("&amp;") << QStringLiteral("&amp;amp;");
        QTest::newRow("long") << QString(5000, u'x')
                              << QString(DesktopNotifier::kMaxBody - 1, u'x') + QChar(0x2026);
        // A pair cut in half is not text.
        const QString pairAtCut =
            QString(DesktopNotifier::kMaxBody - 2, u'x') + QStringLiteral("\U0001F600yy");
        QTest::newRow("pair at the cut")
            << pairAtCut << QString(DesktopNotifier::kMaxBody - 2, u'x') + QChar(0x2026);
    }
    void body_isSentAsPlainText() {
        QFETCH(QString, body);
        QFETCH(QString, sent);
        auto service = serve(connect());
        QVERIFY(service);
        FakeTray tray;
        DesktopNotifier notifier(tray, connect());
        notifier.notify(QString(500, u's'), body);
        QTRY_COMPARE(service->calls.size(), 1);
        QCOMPARE(service->calls.first().body, sent);
        QCOMPARE(service->calls.first().summary.size(), DesktopNotifier::kMaxSummary);
    }

    void noService_fallsBackToTrayPromptly_data() {
        QTest::addColumn<bool>("connected");
        QTest::newRow("bus without the service") << true;
        QTest::newRow("no bus") << false;
    }
    void noService_fallsBackToTrayPromptly() {
        QFETCH(bool, connected);
        FakeTray tray;
        DesktopNotifier notifier(
            tray, connect(connected ? QString() : QStringLiteral("unix:path=/nonexistent")));
        QElapsedTimer clock;
        clock.start();
        notifier.notify(QStringLiteral("Pressed"), QStringLiteral("<b>"));
        QTRY_COMPARE(tray.messages.size(), 1);
        QVERIFY(clock.elapsed() < DesktopNotifier::kCallTimeoutMs / 2);
        QCOMPARE(tray.messages.first(),
                 std::pair(QStringLiteral("Pressed"), QStringLiteral("<b>")));
    }

    void failingService_fallsBack_andIsLeftAloneAWhile_data() {
        QTest::addColumn<int>("mode");
        QTest::newRow("hung") << int(FakeNotifications::Hang);
        QTest::newRow("refusing") << int(FakeNotifications::Refuse);
    }
    void failingService_fallsBack_andIsLeftAloneAWhile() {
        QFETCH(int, mode);
        auto service = serve(connect());
        QVERIFY(service);
        service->mode = FakeNotifications::Mode(mode);
        FakeTray tray;
        DesktopNotifier notifier(tray, connect());
        notifier.setCallTimeout(200);
        notifier.setBackOff(600);

        notifier.notify(QStringLiteral("one"), QString());
        QTRY_COMPARE(service->calls.size(), 1);
        QTRY_COMPARE(tray.messages.size(), 1);
        notifier.notify(QStringLiteral("two"), QString());
        QCOMPARE(tray.messages.size(), 2); // at once, no call made
        QCOMPARE(tray.messages.last().first, QStringLiteral("two"));

        // The back-off runs on real time: kept short.
        QTest::qWait(700);
        service->mode = FakeNotifications::Answer;
        notifier.notify(QStringLiteral("three"), QString());
        QTRY_COMPARE(service->calls.size(), 2);
        QCOMPARE(tray.messages.size(), 2);
    }

    void callsPastTheLimit_goToTray() {
        auto service = serve(connect());
        QVERIFY(service);
        service->mode = FakeNotifications::Hang;
        FakeTray tray;
        DesktopNotifier notifier(tray, connect());
        for (int i = 0; i < DesktopNotifier::kMaxInFlight; ++i)
            notifier.notify(QStringLiteral("held"), QString());
        QTRY_COMPARE(service->calls.size(), DesktopNotifier::kMaxInFlight);
        notifier.notify(QStringLiteral("over"), QString());
        QCOMPARE(tray.messages.size(), 1);
    }
};

QTEST_MAIN(TestDesktopNotifier)
#include "tst_desktopnotifier.moc"
