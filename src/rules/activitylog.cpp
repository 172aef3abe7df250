#include "activitylog.h"

#include "sqlitefiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

namespace pressbird {

namespace {

constexpr const char *kSchema =
    "CREATE TABLE IF NOT EXISTS presses(id INTEGER PRIMARY KEY, time TEXT NOT NULL, "
    "list TEXT NOT NULL, entry TEXT NOT NULL, element TEXT NOT NULL, title TEXT NOT NULL, "
    "address TEXT NOT NULL, browser TEXT NOT NULL, outcome TEXT NOT NULL DEFAULT '', "
    "frame TEXT NOT NULL DEFAULT '')";
// The columns a log written by an earlier release lacks: it gains them, and
// its rows read as plain presses in the page itself.
constexpr const char *kLaterColumns[] = {"outcome", "frame"};

ActivityEntry entryAt(const SqliteStatement &row) {
    return {QDateTime::fromString(row.columnText(0), Qt::ISODateWithMs),
            row.columnText(1) == u"link",
            row.columnText(2),
            row.columnText(3),
            row.columnText(4),
            row.columnText(5),
            row.columnText(6),
            row.columnText(7),
            row.columnText(8)};
}

} // namespace

ActivityLog::ActivityLog(const QString &path)
    : m_path(path) {
    if (m_path.isEmpty() || openFile())
        return;
    // A damaged file is kept for whoever wants to look at it; the log starts afresh.
    closeFile();
    if (const std::optional<QString> moved = moveAside(m_path); moved && openFile()) {
        m_pendingReport =
            QStringLiteral("The activity log %1 was damaged. It has been kept as %2, and a new "
                           "log has been started; your rules and settings are not affected.")
                .arg(QDir::toNativeSeparators(m_path), QDir::toNativeSeparators(*moved));
        return;
    }
    closeFile();
    fail(QStringLiteral("it cannot be opened"));
}

ActivityLog::~ActivityLog() {
    closeFile();
}

void ActivityLog::closeFile() {
    m_onFile = false;
    m_insert.reset();
    m_trim.reset();
    m_db.close();
}

bool ActivityLog::openFile() {
    if (!QFileInfo::exists(m_path)) {
        QFile create(m_path);
        create.open(QIODevice::WriteOnly | QIODevice::NewOnly,
                    QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }
    if (m_db.open(m_path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE) != SQLITE_OK)
        return false;
    sqlite3_busy_timeout(m_db.get(), 500);
    int rc = SQLITE_OK;
    const std::optional<QString> check = querySingleText(m_db.get(), "PRAGMA quick_check", &rc);
    // A log need not survive a power cut to the last press: no sync per write.
    if (!check || *check != u"ok" || m_db.exec("PRAGMA journal_mode = WAL") != SQLITE_OK ||
        m_db.exec("PRAGMA synchronous = NORMAL") != SQLITE_OK || m_db.exec(kSchema) != SQLITE_OK)
        return false;
    for (const char *column : kLaterColumns) {
        const QByteArray has =
            QByteArray("SELECT count(*) FROM pragma_table_info('presses') WHERE name = '") +
            column + "'";
        const QByteArray add =
            QByteArray("ALTER TABLE presses ADD COLUMN ") + column + " TEXT NOT NULL DEFAULT ''";
        const std::optional<QString> found = querySingleText(m_db.get(), has.constData(), &rc);
        if (!found || (*found == u"0" && m_db.exec(add.constData()) != SQLITE_OK))
            return false;
    }
    m_insert = std::make_unique<SqliteStatement>();
    m_trim = std::make_unique<SqliteStatement>();
    m_onFile = m_insert->prepare(m_db.get(),
                                 "INSERT INTO presses(time, list, entry, element, title, address, "
                                 "browser, outcome, frame) VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?)",
                                 true) == SQLITE_OK &&
               m_trim->prepare(m_db.get(),
                               "DELETE FROM presses WHERE id <= (SELECT max(id) FROM presses) - ?",
                               true) == SQLITE_OK;
    return m_onFile;
}

void ActivityLog::setReporter(std::function<void(const QString &)> reporter) {
    m_report = std::move(reporter);
    if (m_report && !m_pendingReport.isEmpty())
        m_report(std::exchange(m_pendingReport, QString()));
}

void ActivityLog::fail(const QString &what) {
    m_onFile = false;
    if (m_failureTold)
        return;
    m_failureTold = true;
    const QString text = QStringLiteral("The activity log %1 cannot be written: %2. Presses are "
                                        "listed until Pressbird ends, but not kept.")
                             .arg(QDir::toNativeSeparators(m_path), what);
    if (m_report)
        m_report(text);
    else
        m_pendingReport = text;
}

void ActivityLog::append(const ActivityEntry &entry) {
    if (m_onFile) {
        SqliteStatement &insert = *m_insert;
        SqliteStatement &trim = *m_trim;
        const bool bound =
            insert.bind(1, entry.time.toString(Qt::ISODateWithMs)) &&
            insert.bind(2, entry.link ? QStringLiteral("link") : QStringLiteral("button")) &&
            insert.bind(3, entry.entry) && insert.bind(4, entry.element) &&
            insert.bind(5, entry.pageTitle) && insert.bind(6, entry.pageAddress) &&
            insert.bind(7, entry.browser) && insert.bind(8, entry.outcome) &&
            insert.bind(9, entry.frame);
        const int rc = bound ? insert.step() : SQLITE_MISUSE;
        insert.reset();
        const bool trimmed =
            rc == SQLITE_DONE && trim.bind(1, qint64(kMaxEntries)) && trim.step() == SQLITE_DONE;
        trim.reset();
        if (trimmed)
            return;
        closeFile();
        fail(QString::fromUtf8(sqlite3_errstr(rc == SQLITE_DONE ? SQLITE_IOERR : rc)));
    }
    m_memory.append(entry);
    if (m_memory.size() > kMaxEntries)
        m_memory.remove(0, m_memory.size() - kMaxEntries);
}

QList<ActivityEntry> ActivityLog::recent(qsizetype count) const {
    QList<ActivityEntry> entries;
    if (count <= 0)
        return entries;
    if (m_onFile) {
        SqliteStatement rows;
        if (rows.prepare(
                m_db.get(),
                "SELECT time, list, entry, element, title, address, browser, outcome, frame "
                "FROM "
                "(SELECT * FROM presses ORDER BY id DESC LIMIT ?) ORDER BY id") == SQLITE_OK &&
            rows.bind(1, qint64(count))) {
            while (rows.step() == SQLITE_ROW)
                entries.append(entryAt(rows));
        }
    }
    const qsizetype fromMemory = std::min(count, m_memory.size());
    entries.append(m_memory.mid(m_memory.size() - fromMemory));
    if (entries.size() > count)
        entries.remove(0, entries.size() - count);
    return entries;
}

void ActivityLog::clear() {
    m_memory.clear();
    if (m_onFile && m_db.exec("DELETE FROM presses") != SQLITE_OK)
        fail(QStringLiteral("it could not be cleared"));
}

} // namespace pressbird
