#include "activitylog.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>
#include <sys/stat.h>

using namespace pressbird;

// The log of presses: kept to the newest 10,000, on a file of its own that a
// damaged or unwritable state never turns into a lost rule or a failed scan.
class TestActivityLog : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void presses_comeBackOldestFirst_acrossARestart();
    void pastTheLimit_theOldestGo();
    void damagedFile_isSetAsideAndAFreshLogStarts();
    void unwritableFile_keepsPressesInMemoryAndSaysSoOnce();
    void logOfAnEarlierRelease_keepsItsPressesAndGainsTheNewColumns_data();
    void logOfAnEarlierRelease_keepsItsPressesAndGainsTheNewColumns();
};

namespace {
ActivityEntry press(int n) {
    return {QDateTime(QDate(2026, 12, 8), QTime(10, 0)).addSecs(n),
            n % 2 == 0,
            QStringLiteral("Next -Type: Starts With"),
            QStringLiteral("Next page %1").arg(n),
            QStringLiteral("Title\t%1").arg(n),
            QStringLiteral("https://example.org/%1").arg(n),
            QStringLiteral("127.0.0.1:9222"),
            n % 3 == 0 ? QStringLiteral("opened a tab") : QString(),
            n % 4 == 1 ? QStringLiteral("https://ads.example.net/frame?%1").arg(n) : QString()};
}
} // namespace

void TestActivityLog::presses_comeBackOldestFirst_acrossARestart() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("activity.sqlite3"));
    {
        ActivityLog log(path);
        for (int n = 0; n < 5; ++n)
            log.append(press(n));
        QCOMPARE(log.recent(2), (QList<ActivityEntry>{press(3), press(4)}));
    }
    ActivityLog again(path);
    QCOMPARE(again.recent(100).size(), 5);
    QCOMPARE(again.recent(100).constFirst(), press(0));
    QCOMPARE(again.recent(100).at(1), press(1)); // the one pressed in a frame
    struct stat mode {};
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &mode), 0);
    QCOMPARE(mode.st_mode & 0777, 0600u);
    again.clear();
    QVERIFY(again.recent(100).isEmpty());
}

void TestActivityLog::pastTheLimit_theOldestGo() {
    QTemporaryDir dir;
    for (const QString &path : {dir.filePath(QStringLiteral("a.sqlite3")), QString()}) {
        ActivityLog log(path);
        for (int n = 0; n < ActivityLog::kMaxEntries + 25; ++n)
            log.append(press(n));
        const QList<ActivityEntry> all = log.recent(ActivityLog::kMaxEntries * 2);
        QCOMPARE(all.size(), ActivityLog::kMaxEntries);
        QCOMPARE(all.constFirst(), press(25));
        QCOMPARE(all.constLast(), press(ActivityLog::kMaxEntries + 24));
    }
}

void TestActivityLog::damagedFile_isSetAsideAndAFreshLogStarts() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("activity.sqlite3"));
    QFile garbage(path);
    QVERIFY(garbage.open(QIODevice::WriteOnly));
    garbage.write(QByteArray(8192, 'x'));
    garbage.close();
    QStringList told;
    ActivityLog log(path);
    log.setReporter([&](const QString &text) { told << text; });
    QCOMPARE(told.size(), 1);
    QVERIFY2(told.constFirst().contains(u"damaged"_qs), qPrintable(told.constFirst()));
    QCOMPARE(QDir(dir.path()).entryList({u"activity.sqlite3.corrupt-*"_qs}).size(), 1);
    log.append(press(1));
    QCOMPARE(log.recent(5), QList<ActivityEntry>{press(1)});
}

void TestActivityLog::unwritableFile_keepsPressesInMemoryAndSaysSoOnce() {
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("in-the-way"));
    QFile blocker(folder);
    QVERIFY(blocker.open(QIODevice::WriteOnly)); // a file where the folder should be
    QStringList told;
    ActivityLog log(folder + QStringLiteral("/activity.sqlite3"));
    log.setReporter([&](const QString &text) { told << text; });
    log.append(press(1));
    log.append(press(2));
    QCOMPARE(log.recent(5), (QList<ActivityEntry>{press(1), press(2)}));
    QCOMPARE(told.size(), 1);
    QVERIFY2(told.constFirst().contains(u"cannot be written"_qs), qPrintable(told.constFirst()));
}

// A log written before presses told what they led to, or before they named
// their frame: its rows stay, as plain presses in the page itself, and new
// ones carry both.
void TestActivityLog::logOfAnEarlierRelease_keepsItsPressesAndGainsTheNewColumns_data() {
    QTest::addColumn<QByteArray>("columns");
    QTest::newRow("before the outcome") << QByteArray();
    QTest::newRow("before the frame") << QByteArray(", outcome TEXT NOT NULL DEFAULT ''");
}

void TestActivityLog::logOfAnEarlierRelease_keepsItsPressesAndGainsTheNewColumns() {
    QFETCH(QByteArray, columns);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("activity.sqlite3"));
    sqlite3 *db = nullptr;
    QCOMPARE(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
    const QByteArray schema = "CREATE TABLE presses(id INTEGER PRIMARY KEY, time TEXT NOT NULL, "
                              "list TEXT NOT NULL, entry TEXT NOT NULL, element TEXT NOT NULL, "
                              "title TEXT NOT NULL, address TEXT NOT NULL, browser TEXT NOT NULL" +
                              columns +
                              ");"
                              "INSERT INTO presses(time, list, entry, element, title, address, "
                              "browser) VALUES('2026-12-08T09:00:00.000', 'link', 'Next', 'Next', "
                              "'t', 'https://example.org/', 'b')";
    QCOMPARE(sqlite3_exec(db, schema.constData(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);

    QString told;
    {
        ActivityLog log(path);
        log.setReporter([&told](const QString &text) { told = text; });
        log.append(press(1));
    }
    ActivityLog reopened(path);
    const QList<ActivityEntry> entries = reopened.recent(10);
    QCOMPARE(entries.size(), 2);
    QCOMPARE(entries.first().element, QStringLiteral("Next"));
    QCOMPARE(entries.first().outcome, QString());
    QCOMPARE(entries.first().frame, QString());
    QCOMPARE(entries.last(), press(1));
    QVERIFY2(told.isEmpty(), qPrintable(told));
}

QTEST_GUILESS_MAIN(TestActivityLog)
#include "tst_activitylog.moc"
