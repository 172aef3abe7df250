#pragma once

#include <QString>

#include <optional>

struct sqlite3;
struct sqlite3_stmt;

namespace pressbird {

class SqliteDatabase {
public:
    SqliteDatabase() = default;
    ~SqliteDatabase();
    SqliteDatabase(const SqliteDatabase &) = delete;
    SqliteDatabase &operator=(const SqliteDatabase &) = delete;

    // Returns the SQLite result code; the connection is usable only on SQLITE_OK.
    int open(const QString &path, int flags);
    void close();
    sqlite3 *get() const { return m_db; }
    QString errorText() const;

    int exec(const char *sql);

private:
    sqlite3 *m_db = nullptr;
};

// Owns one prepared statement. SQLite binds from 1 but reads columns from 0.
class SqliteStatement {
public:
    SqliteStatement() = default;
    ~SqliteStatement();
    SqliteStatement(const SqliteStatement &) = delete;
    SqliteStatement &operator=(const SqliteStatement &) = delete;

    int prepare(sqlite3 *db, const char *sql, bool persistent = false);

    bool bind(int index, const QString &text);
    bool bind(int index, qint64 number);
    int step();
    // Clears bindings too, so that no text is kept alive between calls.
    void reset();

    QString columnText(int column) const;
    qint64 columnInt64(int column) const;

private:
    sqlite3_stmt *m_stmt = nullptr;
};

std::optional<QString> querySingleText(sqlite3 *db, const char *sql, int *resultCode = nullptr);

} // namespace pressbird
