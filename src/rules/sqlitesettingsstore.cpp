#include "sqlitesettingsstore.h"

#include <sqlite3.h>

namespace pressbird {

namespace {

// Resets a statement on every way out, so that no read stays open.
class ResetGuard {
public:
    explicit ResetGuard(SqliteStatement &statement)
        : m_statement(statement) {}
    ~ResetGuard() { m_statement.reset(); }
    ResetGuard(const ResetGuard &) = delete;
    ResetGuard &operator=(const ResetGuard &) = delete;

private:
    SqliteStatement &m_statement;
};

bool bindAll(SqliteStatement &statement, std::initializer_list<QString> texts) {
    int index = 1;
    for (const QString &text : texts) {
        if (!statement.bind(index++, text))
            return false;
    }
    return true;
}

} // namespace

bool SqliteSettingsStore::prepareStatements() {
    sqlite3 *db = m_db.get();
    // Never REPLACE: it deletes and reinserts, which moves the rowid.
    return m_upsert.prepare(db,
                            "INSERT INTO settings(app, section, key, value) VALUES(?, ?, ?, ?) "
                            "ON CONFLICT(app, section, key) DO UPDATE SET value = excluded.value",
                            true) == SQLITE_OK &&
           m_selectOne.prepare(
               db, "SELECT value FROM settings WHERE app = ? AND section = ? AND key = ?", true) ==
               SQLITE_OK &&
           m_selectSection.prepare(db,
                                   "SELECT key, value FROM settings WHERE app = ? AND "
                                   "section = ? ORDER BY rowid",
                                   true) == SQLITE_OK &&
           m_selectFirst.prepare(db,
                                 "SELECT key, value FROM settings WHERE app = ? AND "
                                 "section = ? ORDER BY rowid LIMIT ?",
                                 true) == SQLITE_OK &&
           m_countSection.prepare(db, "SELECT count(*) FROM settings WHERE app = ? AND section = ?",
                                  true) == SQLITE_OK &&
           m_deleteSection.prepare(db, "DELETE FROM settings WHERE app = ? AND section = ?",
                                   true) == SQLITE_OK
           // IMMEDIATE takes the write lock at once, waiting out the busy time-out,
           // instead of failing later on a read-to-write upgrade.
           && m_begin.prepare(db, "BEGIN IMMEDIATE", true) == SQLITE_OK &&
           m_commit.prepare(db, "COMMIT", true) == SQLITE_OK &&
           m_rollback.prepare(db, "ROLLBACK", true) == SQLITE_OK;
}

bool SqliteSettingsStore::upsert(const QString &app, const QString &section, const QString &key,
                                 const QString &value) {
    ResetGuard guard(m_upsert);
    return bindAll(m_upsert, {app, section, key, value}) && m_upsert.step() == SQLITE_DONE;
}

int SqliteSettingsStore::deleteSection(const QString &app, const QString &section) {
    ResetGuard guard(m_deleteSection);
    if (!bindAll(m_deleteSection, {app, section}) || m_deleteSection.step() != SQLITE_DONE)
        return -1;
    return sqlite3_changes(m_db.get());
}

bool SqliteSettingsStore::SaveSetting(const QString &app, const QString &section,
                                      const QString &key, const QString &value) {
    return upsert(app, section, key, value);
}

QString SqliteSettingsStore::GetSetting(const QString &app, const QString &section,
                                        const QString &key, const QString &defaultValue) {
    ResetGuard guard(m_selectOne);
    if (!bindAll(m_selectOne, {app, section, key}) || m_selectOne.step() != SQLITE_ROW)
        return defaultValue;
    return m_selectOne.columnText(0);
}

namespace {
std::optional<SettingRows> readRows(SqliteStatement &statement) {
    SettingRows rows;
    int rc;
    while ((rc = statement.step()) == SQLITE_ROW)
        rows.append({statement.columnText(0), statement.columnText(1)});
    if (rc != SQLITE_DONE || rows.isEmpty())
        return std::nullopt;
    return rows;
}
} // namespace

std::optional<SettingRows> SqliteSettingsStore::GetAllSettings(const QString &app,
                                                               const QString &section) {
    ResetGuard guard(m_selectSection);
    if (!bindAll(m_selectSection, {app, section}))
        return std::nullopt;
    return readRows(m_selectSection);
}

std::optional<SettingRows>
SqliteSettingsStore::GetFirstSettings(const QString &app, const QString &section, qsizetype limit) {
    ResetGuard guard(m_selectFirst);
    if (!bindAll(m_selectFirst, {app, section}) || !m_selectFirst.bind(3, qint64(limit)))
        return std::nullopt;
    return readRows(m_selectFirst);
}

qsizetype SqliteSettingsStore::CountSettings(const QString &app, const QString &section) {
    ResetGuard guard(m_countSection);
    if (!bindAll(m_countSection, {app, section}) || m_countSection.step() != SQLITE_ROW)
        return 0;
    return qsizetype(m_countSection.columnInt64(0));
}

bool SqliteSettingsStore::DeleteSetting(const QString &app, const QString &section) {
    return deleteSection(app, section) > 0;
}

bool SqliteSettingsStore::ReplaceSection(const QString &app, const QString &section,
                                         const SettingRows &rows) {
    {
        ResetGuard guard(m_begin);
        if (m_begin.step() != SQLITE_DONE)
            return false;
    }
    bool ok = deleteSection(app, section) >= 0;
    for (qsizetype i = 0; ok && i < rows.size(); ++i)
        ok = upsert(app, section, rows.at(i).key, rows.at(i).value);
    if (ok) {
        ResetGuard guard(m_commit);
        ok = m_commit.step() == SQLITE_DONE;
    }
    // A failed COMMIT can leave the transaction open (SQLITE_BUSY); roll it back
    // so that the next save starts clean and the old section stays whole.
    if (!ok && !sqlite3_get_autocommit(m_db.get())) {
        ResetGuard guard(m_rollback);
        m_rollback.step();
    }
    return ok;
}

} // namespace pressbird
