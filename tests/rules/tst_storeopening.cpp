#include "settingkeys.h"
#include "settingspath.h"
#include "sqlitesettingsstore.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace pressbird;
using Outcome = SettingsOpenResult::Outcome;

namespace {

const QString kApp = kAppName.toString();
const QString kList = QStringLiteral("list");

QByteArray readAll(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeAll(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

unsigned modeOf(const QString &path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : ~0u;
}

bool run(sqlite3 *db, const char *sql) {
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

// A raw connection, as another program would hold one.
struct RawDatabase {
    explicit RawDatabase(const QString &path) { sqlite3_open(path.toUtf8().constData(), &db); }
    ~RawDatabase() { sqlite3_close(db); }
    RawDatabase(const RawDatabase &) = delete;
    RawDatabase &operator=(const RawDatabase &) = delete;
    sqlite3 *db = nullptr;
};

} // namespace

class TestStoreOpening : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void settingsFilePath_followsXdgConfigHomeOrHome();
    void soundOrEmptyFile_opensWithoutMovingAnything();
    void corruptFile_isMovedAsideWholeAndReported_data();
    void corruptFile_isMovedAsideWholeAndReported();
    void damagedPages_failTheCheckAndAreMovedAside();
    void movedAsideName_neverOverwritesAnEarlierOne();
    void folderCannotBeCreated_fallsBackToMemory();
    void readOnlyFile_isReadButNeverWritten();
    void fileLockedByAnotherProgram_isLeftUntouched();
    void rollbackJournalFileLocked_seedsMemoryWithItsRows();
    void newAndOldFiles_areTheUsersAlone();
    void folderOrDeviceAtThePath_isNamedForWhatItIs();

private:
    QTemporaryDir m_dir;
    QString m_path;
};

void TestStoreOpening::init() {
    QVERIFY(m_dir.isValid());
    // A folder of its own per case: two cases can start within one millisecond.
    static int cases = 0;
    m_path = m_dir.filePath(QStringLiteral("case%1/settings.sqlite3").arg(++cases));
    QVERIFY(QDir().mkpath(QFileInfo(m_path).absolutePath()));
}

void TestStoreOpening::settingsFilePath_followsXdgConfigHomeOrHome() {
    const QByteArray oldXdg = qgetenv("XDG_CONFIG_HOME");
    const QByteArray oldHome = qgetenv("HOME");
    qputenv("XDG_CONFIG_HOME", m_dir.filePath(QStringLiteral("xdg")).toUtf8());
    const QString fromXdg = settingsFilePath();
    qunsetenv("XDG_CONFIG_HOME");
    qputenv("HOME", m_dir.filePath(QStringLiteral("home")).toUtf8());
    const QString fromHome = settingsFilePath();
    qputenv("XDG_CONFIG_HOME", oldXdg);
    qputenv("HOME", oldHome);

    QCOMPARE(fromXdg, m_dir.filePath(QStringLiteral("xdg/Pressbird/settings.sqlite3")));
    QCOMPARE(fromHome, m_dir.filePath(QStringLiteral("home/.config/Pressbird/settings.sqlite3")));
    QVERIFY(QFileInfo(fromXdg).absoluteDir().exists());
    QVERIFY(QFileInfo(fromHome).absoluteDir().exists());
    QCOMPARE(modeOf(QFileInfo(fromXdg).absolutePath()), 0700u);
}

// Other local users must not read the rules: a new file and its journals are
// made 0600, and a file from an earlier version is made so at the next start.
void TestStoreOpening::newAndOldFiles_areTheUsersAlone() {
    {
        SettingsOpenResult opened = SqliteSettingsStore::open(m_path);
        QCOMPARE(opened.outcome, Outcome::Opened);
        QVERIFY(opened.store->SaveSetting(kApp, kList, QStringLiteral("k"), QStringLiteral("v")));
        QCOMPARE(modeOf(m_path), 0600u);
        QCOMPARE(modeOf(m_path + QStringLiteral("-wal")), 0600u);
        QCOMPARE(modeOf(m_path + QStringLiteral("-shm")), 0600u);
    }
    QVERIFY(::chmod(QFile::encodeName(m_path).constData(), 0644) == 0);
    SettingsOpenResult again = SqliteSettingsStore::open(m_path);
    QCOMPARE(again.outcome, Outcome::Opened);
    QCOMPARE(modeOf(m_path), 0600u);
    QCOMPARE(again.store->GetSetting(kApp, kList, QStringLiteral("k"), QString()), u"v"_qs);
}

void TestStoreOpening::folderOrDeviceAtThePath_isNamedForWhatItIs() {
    QVERIFY(QDir().mkpath(m_path));
    SettingsOpenResult folder = SqliteSettingsStore::open(m_path);
    QCOMPARE(folder.outcome, Outcome::Unavailable);
    QVERIFY2(folder.message().contains(u"it is a folder, not a file"_qs),
             qPrintable(folder.message()));
    QVERIFY(QDir(m_path).exists());

    const QString link = m_path + QStringLiteral(".link");
    QVERIFY(QFile::link(QStringLiteral("/dev/zero"), link));
    SettingsOpenResult device = SqliteSettingsStore::open(link);
    QCOMPARE(device.outcome, Outcome::Unavailable);
    QVERIFY2(device.message().contains(u"not an ordinary file (it is a link to /dev/zero)"_qs),
             qPrintable(device.message()));
    QVERIFY(device.message().contains(u"changes will not be kept"_qs));
    QVERIFY(QFileInfo(link).isSymLink());
}

void TestStoreOpening::soundOrEmptyFile_opensWithoutMovingAnything() {
    QVERIFY(writeAll(m_path, QByteArray()));
    {
        SettingsOpenResult opened = SqliteSettingsStore::open(m_path, 100);
        QCOMPARE(opened.outcome, Outcome::Opened);
        QVERIFY(opened.message().isEmpty());
        QVERIFY(opened.store->SaveSetting(kApp, kList, QStringLiteral("k"), QStringLiteral("v")));
    }
    SettingsOpenResult again = SqliteSettingsStore::open(m_path, 100);
    QCOMPARE(again.outcome, Outcome::Opened);
    QCOMPARE(again.store->GetSetting(kApp, kList, QStringLiteral("k"), QString()), u"v"_qs);
    const QStringList files = QFileInfo(m_path).absoluteDir().entryList(QDir::Files);
    QVERIFY(files.filter(QStringLiteral("corrupt")).isEmpty());
}

void TestStoreOpening::corruptFile_isMovedAsideWholeAndReported_data() {
    QTest::addColumn<QByteArray>("setupSql");
    QTest::addColumn<QByteArray>("garbage");
    QTest::newRow("not a database") << QByteArray() << QByteArray("this is no database\n", 20);
    QTest::newRow("settings table of another shape")
        << QByteArray("CREATE TABLE settings(name TEXT, value TEXT)") << QByteArray();
    QTest::newRow("settings table without the unique key")
        << QByteArray("CREATE TABLE settings(app TEXT, section TEXT, key TEXT, value TEXT)")
        << QByteArray();
    QTest::newRow("another program's tables only")
        << QByteArray("CREATE TABLE bookmarks(url TEXT)") << QByteArray();
}

void TestStoreOpening::corruptFile_isMovedAsideWholeAndReported() {
    QFETCH(QByteArray, setupSql);
    QFETCH(QByteArray, garbage);
    if (!setupSql.isEmpty()) {
        RawDatabase raw(m_path);
        QVERIFY(run(raw.db, setupSql.constData()));
    } else {
        QVERIFY(writeAll(m_path, garbage));
        QVERIFY(writeAll(m_path + QStringLiteral("-wal"), "stale journal"));
    }
    const QByteArray original = readAll(m_path);

    SettingsOpenResult opened = SqliteSettingsStore::open(m_path, 100);
    QCOMPARE(opened.outcome, Outcome::ReplacedCorrupt);
    static const QRegularExpression dated(
        QStringLiteral("/settings\\.sqlite3\\.corrupt-\\d{8}-\\d{6}$"));
    QVERIFY2(dated.match(opened.movedAsideTo).hasMatch(), qPrintable(opened.movedAsideTo));
    QCOMPARE(readAll(opened.movedAsideTo), original);
    if (setupSql.isEmpty())
        QCOMPARE(readAll(opened.movedAsideTo + QStringLiteral("-wal")), "stale journal");
    QVERIFY(opened.message().contains(opened.movedAsideTo));

    // The fresh store works and lasts.
    QVERIFY(opened.store->SaveSetting(kApp, kList, QStringLiteral("k"), QStringLiteral("v")));
    opened.store.reset();
    SettingsOpenResult again = SqliteSettingsStore::open(m_path, 100);
    QCOMPARE(again.outcome, Outcome::Opened);
    QCOMPARE(again.store->GetSetting(kApp, kList, QStringLiteral("k"), QString()), u"v"_qs);
}

void TestStoreOpening::damagedPages_failTheCheckAndAreMovedAside() {
    {
        RawDatabase raw(m_path);
        QVERIFY(run(raw.db, "CREATE TABLE settings(app TEXT NOT NULL, section TEXT NOT NULL, "
                            "key TEXT NOT NULL, value TEXT NOT NULL, UNIQUE(app, section, key));"
                            "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
                            "WHERE i < 2000) INSERT INTO settings SELECT 'Pressbird', 'list', "
                            "'listpush-' || i, printf('%0200d', i) FROM n"));
    }
    QByteArray bytes = readAll(m_path);
    QVERIFY(bytes.size() > 40 * 4096);
    // Scribble over a stretch of b-tree pages, keeping the header readable.
    for (qsizetype i = 8 * 4096; i < 12 * 4096; ++i)
        bytes[i] = char(i * 7);
    QVERIFY(writeAll(m_path, bytes));

    SettingsOpenResult opened = SqliteSettingsStore::open(m_path, 100);
    QCOMPARE(opened.outcome, Outcome::ReplacedCorrupt);
    QCOMPARE(readAll(opened.movedAsideTo), bytes);
    QCOMPARE(opened.store->GetAllSettings(kApp, kList), std::nullopt);
}

void TestStoreOpening::movedAsideName_neverOverwritesAnEarlierOne() {
    QVERIFY(writeAll(m_path, "garbage one"));
    SettingsOpenResult first = SqliteSettingsStore::open(m_path, 100);
    QCOMPARE(first.outcome, Outcome::ReplacedCorrupt);
    first.store.reset();
    QFile::remove(m_path + QStringLiteral("-wal"));
    QFile::remove(m_path + QStringLiteral("-shm"));
    QVERIFY(writeAll(m_path, "garbage two"));
    SettingsOpenResult second = SqliteSettingsStore::open(m_path, 100);
    QCOMPARE(second.outcome, Outcome::ReplacedCorrupt);
    QVERIFY(second.movedAsideTo != first.movedAsideTo);
    QCOMPARE(readAll(first.movedAsideTo), "garbage one");
    QCOMPARE(readAll(second.movedAsideTo), "garbage two");
}

void TestStoreOpening::folderCannotBeCreated_fallsBackToMemory() {
    // A file where the folder should be stops even root from creating it.
    const QString blocker = QFileInfo(m_path).absolutePath() + QStringLiteral("/Pressbird");
    QVERIFY(writeAll(blocker, "in the way"));
    SettingsOpenResult opened =
        SqliteSettingsStore::open(blocker + QStringLiteral("/settings.sqlite3"), 100);
    QCOMPARE(opened.outcome, Outcome::Unavailable);
    QVERIFY(!opened.reason.isEmpty());
    QVERIFY(opened.message().contains(u"changes will not be kept"_qs));
    QVERIFY(opened.store->SaveSetting(kApp, kList, QStringLiteral("k"), QStringLiteral("v")));
    QCOMPARE(opened.store->GetSetting(kApp, kList, QStringLiteral("k"), QString()), u"v"_qs);
    QCOMPARE(readAll(blocker), "in the way");
}

void TestStoreOpening::readOnlyFile_isReadButNeverWritten() {
    if (geteuid() == 0)
        QSKIP("root writes through file permissions");
    {
        SettingsOpenResult opened = SqliteSettingsStore::open(m_path, 100);
        QVERIFY(opened.store->SaveSetting(kApp, kList, QStringLiteral("k"), QStringLiteral("v")));
    }
    const QString folder = QFileInfo(m_path).absolutePath();
    QFile::setPermissions(m_path, QFileDevice::ReadOwner);
    QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    const QByteArray before = readAll(m_path);
    SettingsOpenResult opened = SqliteSettingsStore::open(m_path, 100);
    QCOMPARE(opened.outcome, Outcome::Unavailable);
    QCOMPARE(opened.store->GetSetting(kApp, kList, QStringLiteral("k"), QString()), u"v"_qs);
    opened.store.reset();
    QFile::setPermissions(folder,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QFile::setPermissions(m_path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    QCOMPARE(readAll(m_path), before);
}

void TestStoreOpening::fileLockedByAnotherProgram_isLeftUntouched() {
    {
        SettingsOpenResult opened = SqliteSettingsStore::open(m_path, 100);
        QVERIFY(opened.store->SaveSetting(kApp, kList, QStringLiteral("k"), QStringLiteral("v")));
    }
    {
        RawDatabase other(m_path);
        QVERIFY(run(other.db, "PRAGMA locking_mode = EXCLUSIVE; BEGIN EXCLUSIVE"));
        SettingsOpenResult opened = SqliteSettingsStore::open(m_path, 50);
        QCOMPARE(opened.outcome, Outcome::Unavailable);
        QVERIFY2(opened.reason.contains(u"locked"_qs), qPrintable(opened.reason));
        QVERIFY(opened.movedAsideTo.isEmpty());
        QVERIFY(opened.store->SaveSetting(kApp, kList, QStringLiteral("k"), QStringLiteral("mem")));
    }
    SettingsOpenResult later = SqliteSettingsStore::open(m_path, 50);
    QCOMPARE(later.outcome, Outcome::Opened);
    QCOMPARE(later.store->GetSetting(kApp, kList, QStringLiteral("k"), QString()), u"v"_qs);
}

void TestStoreOpening::rollbackJournalFileLocked_seedsMemoryWithItsRows() {
    RawDatabase other(m_path);
    QVERIFY(run(other.db, "CREATE TABLE settings(app TEXT NOT NULL, section TEXT NOT NULL, "
                          "key TEXT NOT NULL, value TEXT NOT NULL, UNIQUE(app, section, key));"
                          "INSERT INTO settings VALUES('Pressbird', 'list', 'b', '1'),"
                          "('Pressbird', 'list', 'a', '2'), ('Pressbird', 'Opt', 'x', '3');"
                          "BEGIN IMMEDIATE; INSERT INTO settings VALUES('P', 's', 'k', 'v')"));
    const QByteArray before = readAll(m_path);

    SettingsOpenResult opened = SqliteSettingsStore::open(m_path, 50);
    QCOMPARE(opened.outcome, Outcome::Unavailable);
    QCOMPARE(opened.store->GetAllSettings(kApp, kList),
             std::optional(SettingRows{{u"b"_qs, u"1"_qs}, {u"a"_qs, u"2"_qs}}));
    QCOMPARE(opened.store->GetSetting(kApp, QStringLiteral("Opt"), QStringLiteral("x"), QString()),
             u"3"_qs);
    QVERIFY(opened.store->DeleteSetting(kApp, kList));
    opened.store.reset();
    QCOMPARE(readAll(m_path), before);
    QVERIFY(run(other.db, "COMMIT"));
}

QTEST_GUILESS_MAIN(TestStoreOpening)
#include "tst_storeopening.moc"
