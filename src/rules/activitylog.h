#pragma once

#include "sqlitehandle.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>
#include <memory>

namespace pressbird {

// One press a scan made.
struct ActivityEntry {
    QDateTime time;
    bool link = true; // a link of the link list, else an input of the button list
    QString entry;    // the rule line that matched
    QString element;  // the link's text or the input's value
    QString pageTitle;
    QString pageAddress;
    QString browser;
    QString outcome;    // what the press led to: "opened a tab", ...; empty for a plain press
    QString frame = {}; // the address of the frame the element was in; empty for the page itself
    friend bool operator==(const ActivityEntry &, const ActivityEntry &) = default;
};

// The presses of the last while, in a SQLite file of their own beside the
// settings file (the settings are never touched), kept to the newest
// kMaxEntries. A damaged file is moved aside and a fresh one started; a file
// that cannot be written leaves the log in memory only. Either is told once.
class ActivityLog final {
public:
    static constexpr qsizetype kMaxEntries = 10000;

    // An empty path keeps the log in memory.
    explicit ActivityLog(const QString &path);
    ~ActivityLog();
    ActivityLog(const ActivityLog &) = delete;
    ActivityLog &operator=(const ActivityLog &) = delete;

    void append(const ActivityEntry &entry);
    // The newest `count` entries, oldest first.
    QList<ActivityEntry> recent(qsizetype count) const;
    void clear();

    // What the user should hear about the log's file, once.
    void setReporter(std::function<void(const QString &)> reporter);

private:
    bool openFile();
    void closeFile();
    void fail(const QString &what);

    QString m_path;
    SqliteDatabase m_db;
    std::unique_ptr<SqliteStatement> m_insert;
    std::unique_ptr<SqliteStatement> m_trim;
    bool m_onFile = false;
    QList<ActivityEntry> m_memory; // while the file cannot be used
    std::function<void(const QString &)> m_report;
    QString m_pendingReport;
    bool m_failureTold = false;
};

} // namespace pressbird
