#include "loadstep.h"
#include "settings.h"
#include "shellfakes.h"

#include <QTest>

using namespace pressbird;
using namespace pressbird::testing;

class TestLoadStep : public QObject {
    Q_OBJECT

private:
    int prompts = 0;
    std::unique_ptr<CountingStore> store = std::make_unique<CountingStore>();
    void run(FakeHost &host) {
        RunLoadStep(host, Settings(*store), [this] { ++prompts; });
    }
    void storeInterval(const QString &text) {
        store->SaveSetting(QStringLiteral("Pressbird"), QStringLiteral("Opt"),
                           QStringLiteral("Text1Text"), text);
    }

private Q_SLOTS:
    void init() {
        prompts = 0;
        store = std::make_unique<CountingStore>();
    }

    void firstRun_fillsKindsAsksAndRunsAtDesignInterval() {
        FakeHost host;
        run(host);
        QCOMPARE(host.combo1.count(), 4);
        QCOMPARE(host.combo1.itemText(3), QStringLiteral("Contains "));
        QCOMPARE(host.combo2.itemText(3), QStringLiteral("Contains"));
        QCOMPARE(host.combo2.itemText(0), QStringLiteral("Starts With"));
        QCOMPARE(host.fillListCalls, 1);
        QCOMPARE(prompts, 1);
        QCOMPARE(host.text1.text(), QStringLiteral("5000"));
        QCOMPARE(host.timer1.interval(), 5000);
        QVERIFY(host.timer1.isEnabled());
    }

    void rulesLoadedBeforePromptAndTimer_noScanDuringLoad() {
        FakeHost host;
        bool timerOnDuringFill = true;
        int promptsDuringFill = -1;
        host.onFillList = [&] {
            timerOnDuringFill = host.timer1.isEnabled();
            promptsDuringFill = prompts;
        };
        run(host);
        QVERIFY(!timerOnDuringFill);
        QCOMPARE(promptsDuringFill, 0);
    }

    void storedInterval_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("interval");
        QTest::newRow("plain") << "250"
                               << "250" << 250;
        QTest::newRow("fraction rounds") << "1500.4"
                                         << "1500.4" << 1500;
        QTest::newRow("half to even") << "1500.5"
                                      << "1500.5" << 1500;
        QTest::newRow("blanks and sign") << " +2000 "
                                         << " +2000 " << 2000;
        QTest::newRow("exponent, as Calibration takes it") << "2.5e3"
                                                           << "2.5e3" << 2500;
        QTest::newRow("zero never fires") << "0"
                                          << "0" << 0;
        QTest::newRow("top of range") << "65535"
                                      << "65535" << 65535;
        QTest::newRow("letters") << "fast"
                                 << "1000" << 1000;
        QTest::newRow("empty") << ""
                               << "1000" << 1000;
        QTest::newRow("hex is not decimal") << "0x10"
                                            << "1000" << 1000;
        QTest::newRow("infinity") << "inf"
                                  << "1000" << 1000;
        QTest::newRow("above timer range") << "70000"
                                           << "1000" << 1000;
        QTest::newRow("negative") << "-5"
                                  << "1000" << 1000;
    }
    void storedInterval() {
        QFETCH(QString, stored);
        QFETCH(QString, shown);
        QFETCH(int, interval);
        storeInterval(stored);
        FakeHost host;
        run(host);
        QCOMPARE(host.text1.text(), shown);
        QCOMPARE(host.timer1.interval(), interval);
        QVERIFY(host.timer1.isEnabled());
    }

    void badInterval_storedTextKeptForNextStart() {
        storeInterval(QStringLiteral("fast"));
        FakeHost host;
        run(host);
        QCOMPARE(store->value(QStringLiteral("Opt"), QStringLiteral("Text1Text")),
                 QStringLiteral("fast"));
    }

    void promptAnswer_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("prompts");
        QTest::newRow("yes or ticked") << "1" << 0;
        QTest::newRow("no, unticked") << "0" << 1;
        QTest::newRow("zero as decimal") << "0.0" << 1;
        QTest::newRow("unreadable asks again") << "maybe" << 1;
    }
    void promptAnswer() {
        QFETCH(QString, stored);
        QFETCH(int, prompts);
        store->SaveSetting(QStringLiteral("Pressbird"), QStringLiteral("StartUpQ"),
                           QStringLiteral("qStrup"), stored);
        FakeHost host;
        run(host);
        QCOMPARE(this->prompts, prompts);
    }
};

QTEST_MAIN(TestLoadStep)
#include "tst_loadstep.moc"
