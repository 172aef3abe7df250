// Opening the settings file: check it, move a damaged one aside, and fall back
// to memory when it cannot be used. Nothing here deletes or truncates a file.

#include "memorysettingsstore.h"
#include "sqlitefiles.h"
#include "sqlitesettingsstore.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <QUrl>

#include <sqlite3.h>

namespace pressbird {

namespace {

enum class Verdict { Usable, Corrupt, Unavailable };

struct Check {
    Verdict verdict = Verdict::Usable;
    QString reason;
    int code = SQLITE_OK;
};

Check failure(int rc, const SqliteDatabase &db) {
    switch (rc) {
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
        return {Verdict::Corrupt, QStringLiteral("the file is not a readable settings database"),
                rc};
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return {Verdict::Unavailable, QStringLiteral("the file is locked by another program"), rc};
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_CANTOPEN:
    case SQLITE_AUTH:
        return {Verdict::Unavailable, QStringLiteral("the file or its folder cannot be written"),
                rc};
    case SQLITE_FULL:
        return {Verdict::Unavailable, QStringLiteral("the disk is full"), rc};
    default:
        return {Verdict::Unavailable, db.errorText(), rc};
    }
}

std::optional<QStringList> queryColumn(sqlite3 *db, const char *sql, int column, int &rc) {
    SqliteStatement statement;
    rc = statement.prepare(db, sql);
    if (rc != SQLITE_OK)
        return std::nullopt;
    QStringList values;
    while ((rc = statement.step()) == SQLITE_ROW)
        values.append(statement.columnText(column));
    if (rc != SQLITE_DONE)
        return std::nullopt;
    rc = SQLITE_OK;
    return values;
}

const QStringList kColumns = {QStringLiteral("app"), QStringLiteral("section"),
                              QStringLiteral("key"), QStringLiteral("value")};

bool renameAll(const QString &from, const QString &to, const QStringList &suffixes) {
    QStringList done;
    for (const QString &suffix : suffixes) {
        if (!QFileInfo::exists(from + suffix))
            continue;
        if (!QFile::rename(from + suffix, to + suffix)) {
            // A journal left beside a fresh file would be replayed into it: undo.
            for (const QString &back : done)
                QFile::rename(to + back, from + back);
            return false;
        }
        done.append(suffix);
    }
    return true;
}

} // namespace

std::optional<QString> moveAside(const QString &path) {
    const QStringList suffixes = {QString(), QStringLiteral("-wal"), QStringLiteral("-shm"),
                                  QStringLiteral("-journal")};
    const QString base = path + QStringLiteral(".corrupt-") +
                         QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString target = base;
    auto taken = [&] {
        for (const QString &suffix : suffixes) {
            if (QFileInfo::exists(target + suffix))
                return true;
        }
        return false;
    };
    for (int n = 2; taken(); ++n)
        target = base + u'-' + QString::number(n);
    if (!renameAll(path, target, suffixes))
        return std::nullopt;
    return target;
}

class SqliteStoreOpener {
public:
    static Check connect(SqliteSettingsStore &store, const QString &path, int busyTimeoutMs);
    static std::unique_ptr<SettingsStore> readableCopy(const QString &path, int busyTimeoutMs);
};

Check SqliteStoreOpener::connect(SqliteSettingsStore &store, const QString &path,
                                 int busyTimeoutMs) {
    SqliteDatabase &db = store.m_db;
    int rc = db.open(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    if (rc != SQLITE_OK)
        return failure(rc, db);
    sqlite3_busy_timeout(db.get(), busyTimeoutMs);
    // Until the file is known to be sound, closing must not fold the WAL into it.
    sqlite3_db_config(db.get(), SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);

    const std::optional<QString> verdict = querySingleText(db.get(), "PRAGMA quick_check", &rc);
    if (!verdict)
        return failure(rc, db);
    if (*verdict != u"ok")
        return {Verdict::Corrupt, QStringLiteral("the file fails the integrity check"),
                SQLITE_CORRUPT};

    const auto columns = queryColumn(db.get(), "PRAGMA table_info(settings)", 1, rc);
    const auto otherTables =
        queryColumn(db.get(),
                    "SELECT name FROM sqlite_schema WHERE type = 'table' AND name <> 'settings' "
                    "AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\'",
                    0, rc);
    if (!columns || !otherTables)
        return failure(rc, db);
    const bool hasTable = !columns->isEmpty();
    if ((hasTable && *columns != kColumns) || (!hasTable && !otherTables->isEmpty()))
        return {Verdict::Corrupt, QStringLiteral("the file holds other data than settings"),
                SQLITE_CORRUPT};

    // The upsert prepares only against UNIQUE(app, section, key): check it before
    // anything, even the journal mode, is written to a file that may not be ours.
    // Only a plain SQL error means the wrong shape; a passing failure (busy, out of
    // memory, I/O) must not send a sound file aside.
    if (hasTable && !store.prepareStatements()) {
        if (const int code = sqlite3_errcode(db.get()); code != SQLITE_ERROR)
            return failure(code, db);
        return {Verdict::Corrupt, QStringLiteral("the settings table has the wrong shape"),
                SQLITE_CORRUPT};
    }
    if (sqlite3_db_readonly(db.get(), "main") == 1)
        return failure(SQLITE_READONLY, db);
    const std::optional<QString> mode = querySingleText(db.get(), "PRAGMA journal_mode = WAL", &rc);
    if (!mode)
        return failure(rc, db);
    if (mode->compare(u"wal", Qt::CaseInsensitive) != 0)
        return {Verdict::Unavailable, QStringLiteral("the file cannot be shared safely"), rc};

    if (!hasTable) {
        rc =
            db.exec("CREATE TABLE IF NOT EXISTS settings(app TEXT NOT NULL, section TEXT NOT NULL, "
                    "key TEXT NOT NULL, value TEXT NOT NULL, UNIQUE(app, section, key))");
        if (rc != SQLITE_OK)
            return failure(rc, db);
        if (!store.prepareStatements())
            return failure(sqlite3_errcode(db.get()), db);
    }
    sqlite3_db_config(db.get(), SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 0, nullptr);
    return {};
}

namespace {

int copyRows(const QString &uri, int busyTimeoutMs, MemorySettingsStore &copy) {
    SqliteDatabase db;
    int rc = db.open(uri, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI);
    if (rc != SQLITE_OK)
        return rc;
    sqlite3_busy_timeout(db.get(), busyTimeoutMs);
    SqliteStatement rows;
    rc = rows.prepare(db.get(), "SELECT app, section, key, value FROM settings ORDER BY rowid");
    if (rc != SQLITE_OK)
        return rc;
    // Rowid order is the order of first writing, which the copy then keeps.
    while ((rc = rows.step()) == SQLITE_ROW)
        copy.SaveSetting(rows.columnText(0), rows.columnText(1), rows.columnText(2),
                         rows.columnText(3));
    return rc;
}

} // namespace

std::unique_ptr<SettingsStore> SqliteStoreOpener::readableCopy(const QString &path,
                                                               int busyTimeoutMs) {
    auto copy = std::make_unique<MemorySettingsStore>();
    if (!QFileInfo::exists(path))
        return copy;
    const QString uri =
        QStringLiteral("file:") + QString::fromLatin1(QUrl::toPercentEncoding(path, "/"));
    const int rc = copyRows(uri, busyTimeoutMs, *copy);
    // In a folder that cannot be written, a WAL file cannot get its shared-memory
    // index; reading it as immutable needs none. Not while another program holds
    // a lock, since the file may then be half-written.
    if (rc != SQLITE_DONE && rc != SQLITE_BUSY && rc != SQLITE_LOCKED) {
        copy = std::make_unique<MemorySettingsStore>();
        copyRows(uri + QStringLiteral("?immutable=1"), 0, *copy);
    }
    return copy;
}

namespace {

constexpr QFileDevice::Permissions kOwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

// What stands at the path when it is no file SQLite could use, in words the
// user can act on; empty when it is a file or nothing yet.
QString whatIsInTheWay(const QString &path) {
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return {};
    if (info.isDir())
        return QStringLiteral("it is a folder, not a file. Move or rename that folder, then start "
                              "Pressbird again");
    if (!info.isFile()) {
        const QString what = info.isSymLink()
                                 ? QStringLiteral(" (it is a link to %1)")
                                       .arg(QDir::toNativeSeparators(info.symLinkTarget()))
                                 : QString();
        return QStringLiteral("it is not an ordinary file%1. Remove it, then start Pressbird "
                              "again")
            .arg(what);
    }
    return {};
}

// The rules are the user's own: a new file is made readable by them alone
// before SQLite opens it, and SQLite gives its journal files the same mode.
void createPrivately(const QString &path) {
    if (QFileInfo(path).isSymLink() || QFileInfo::exists(path))
        return;
    QFile file(path);
    file.open(QIODevice::WriteOnly | QIODevice::NewOnly, kOwnerOnly);
}

} // namespace

SettingsOpenResult SqliteSettingsStore::open(const QString &path, int busyTimeoutMs) {
    SettingsOpenResult result;
    result.path = path;
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        result.reason = QStringLiteral("its folder cannot be created");
        result.store = std::make_unique<MemorySettingsStore>();
        return result;
    }
    if (const QString inTheWay = whatIsInTheWay(path); !inTheWay.isEmpty()) {
        result.reason = inTheWay;
        result.store = std::make_unique<MemorySettingsStore>();
        return result;
    }
    createPrivately(path);

    std::unique_ptr<SqliteSettingsStore> store(new SqliteSettingsStore);
    Check check = SqliteStoreOpener::connect(*store, path, busyTimeoutMs);
    // Two copies making a new file at the same moment: SQLite refuses one at
    // once, without its busy wait, while the other turns the file to WAL. A
    // lock that is really held has waited out the time-out already.
    QElapsedTimer waited;
    waited.start();
    while (check.verdict == Verdict::Unavailable &&
           (check.code == SQLITE_BUSY || check.code == SQLITE_LOCKED) &&
           waited.elapsed() < busyTimeoutMs) {
        store.reset(new SqliteSettingsStore);
        QThread::msleep(10);
        check = SqliteStoreOpener::connect(*store, path, busyTimeoutMs);
    }
    if (check.verdict == Verdict::Corrupt) {
        store.reset();
        const std::optional<QString> moved = moveAside(path);
        if (!moved) {
            result.reason = check.reason + QStringLiteral(", and it cannot be moved aside");
            result.store = std::make_unique<MemorySettingsStore>();
            return result;
        }
        result.movedAsideTo = *moved;
        store.reset(new SqliteSettingsStore);
        check = SqliteStoreOpener::connect(*store, path, busyTimeoutMs);
        if (check.verdict == Verdict::Usable) {
            result.outcome = SettingsOpenResult::Outcome::ReplacedCorrupt;
            result.store = std::move(store);
            return result;
        }
    }
    if (check.verdict != Verdict::Usable) {
        store.reset();
        result.reason = check.reason;
        // A lock that outlasted one time-out will outlast another: read without waiting.
        const bool locked = check.code == SQLITE_BUSY || check.code == SQLITE_LOCKED;
        result.store = SqliteStoreOpener::readableCopy(path, locked ? 0 : busyTimeoutMs);
        return result;
    }
    // Files made before Pressbird kept them private become so now.
    for (const char *suffix : {"", "-wal", "-shm"}) {
        const QString file = path + QLatin1String(suffix);
        if (QFileInfo(file).isFile() && (QFile::permissions(file) & ~kOwnerOnly & 0x0777) != 0)
            QFile::setPermissions(file, kOwnerOnly);
    }
    result.outcome = SettingsOpenResult::Outcome::Opened;
    result.store = std::move(store);
    return result;
}

QString SettingsOpenResult::message() const {
    const QString file = QDir::toNativeSeparators(path);
    switch (outcome) {
    case Outcome::Opened:
        return {};
    case Outcome::ReplacedCorrupt:
        return QStringLiteral("The settings file %1 was damaged. It has been kept as %2, and "
                              "Pressbird has started with empty settings.")
            .arg(file, QDir::toNativeSeparators(movedAsideTo));
    case Outcome::Unavailable:
        break;
    }
    QString text = QStringLiteral("The settings file %1 cannot be used: %2. Pressbird will run "
                                  "with the settings it could read, but changes will not be kept.")
                       .arg(file, reason);
    if (!movedAsideTo.isEmpty())
        text.append(QStringLiteral(" The damaged file has been kept as %1.")
                        .arg(QDir::toNativeSeparators(movedAsideTo)));
    return text;
}

} // namespace pressbird
