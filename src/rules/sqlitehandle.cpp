#include "sqlitehandle.h"

#include <sqlite3.h>

namespace pressbird {

SqliteDatabase::~SqliteDatabase() {
    close();
}

int SqliteDatabase::open(const QString &path, int flags) {
    close();
    const int rc = sqlite3_open_v2(path.toUtf8().constData(), &m_db, flags, nullptr);
    if (rc == SQLITE_OK)
        sqlite3_extended_result_codes(m_db, 0);
    return rc;
}

void SqliteDatabase::close() {
    // Statements are finalized by their owners first, so close_v2 never defers.
    if (m_db)
        sqlite3_close_v2(m_db);
    m_db = nullptr;
}

QString SqliteDatabase::errorText() const {
    if (!m_db)
        return QStringLiteral("out of memory");
    return QString::fromUtf8(sqlite3_errmsg(m_db));
}

int SqliteDatabase::exec(const char *sql) {
    if (!m_db)
        return SQLITE_MISUSE;
    return sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr);
}

SqliteStatement::~SqliteStatement() {
    sqlite3_finalize(m_stmt);
}

int SqliteStatement::prepare(sqlite3 *db, const char *sql, bool persistent) {
    sqlite3_finalize(m_stmt);
    m_stmt = nullptr;
    if (!db)
        return SQLITE_MISUSE;
    const unsigned flags = persistent ? SQLITE_PREPARE_PERSISTENT : 0;
    return sqlite3_prepare_v3(db, sql, -1, flags, &m_stmt, nullptr);
}

bool SqliteStatement::bind(int index, const QString &text) {
    const QByteArray utf8 = text.toUtf8();
    // The 64-bit length: an int would wrap on a huge text and store a cut one.
    return sqlite3_bind_text64(m_stmt, index, utf8.constData(),
                               static_cast<sqlite3_uint64>(utf8.size()), SQLITE_TRANSIENT,
                               SQLITE_UTF8) == SQLITE_OK;
}

bool SqliteStatement::bind(int index, qint64 number) {
    return sqlite3_bind_int64(m_stmt, index, number) == SQLITE_OK;
}

int SqliteStatement::step() {
    return sqlite3_step(m_stmt);
}

void SqliteStatement::reset() {
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
}

qint64 SqliteStatement::columnInt64(int column) const {
    return sqlite3_column_int64(m_stmt, column);
}

QString SqliteStatement::columnText(int column) const {
    const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(m_stmt, column));
    const int bytes = sqlite3_column_bytes(m_stmt, column);
    return text ? QString::fromUtf8(text, bytes) : QString();
}

std::optional<QString> querySingleText(sqlite3 *db, const char *sql, int *resultCode) {
    SqliteStatement statement;
    int rc = statement.prepare(db, sql);
    if (rc == SQLITE_OK)
        rc = statement.step();
    if (resultCode)
        *resultCode = rc;
    if (rc != SQLITE_ROW)
        return std::nullopt;
    return statement.columnText(0);
}

} // namespace pressbird
