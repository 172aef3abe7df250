#pragma once

#include "settingsstore.h"
#include "sqlitehandle.h"

#include <memory>

namespace pressbird {

struct SettingsOpenResult;

// The settings store on one SQLite file, shared safely by several running
// copies of the program (WAL mode, busy time-out).
class SqliteSettingsStore final : public SettingsStore {
public:
    // Another copy holds the write lock only for the few milliseconds of a save,
    // so two seconds is a wide margin, yet well below the five seconds after
    // which the desktop marks a silent window as not responding.
    static constexpr int kBusyTimeoutMs = 2000;

    // Never fails: the result always carries a working store (see SettingsOpenResult).
    static SettingsOpenResult open(const QString &path, int busyTimeoutMs = kBusyTimeoutMs);

    bool SaveSetting(const QString &app, const QString &section, const QString &key,
                     const QString &value) override;
    QString GetSetting(const QString &app, const QString &section, const QString &key,
                       const QString &defaultValue) override;
    std::optional<SettingRows> GetAllSettings(const QString &app, const QString &section) override;
    std::optional<SettingRows> GetFirstSettings(const QString &app, const QString &section,
                                                qsizetype limit) override;
    qsizetype CountSettings(const QString &app, const QString &section) override;
    bool DeleteSetting(const QString &app, const QString &section) override;
    bool ReplaceSection(const QString &app, const QString &section,
                        const SettingRows &rows) override;

private:
    friend class SqliteStoreOpener;
    SqliteSettingsStore() = default;

    bool prepareStatements();
    bool upsert(const QString &app, const QString &section, const QString &key,
                const QString &value);
    int deleteSection(const QString &app, const QString &section);

    // Declared first so that it closes after the statements are finalized.
    SqliteDatabase m_db;
    SqliteStatement m_upsert;
    SqliteStatement m_selectOne;
    SqliteStatement m_selectSection;
    SqliteStatement m_selectFirst;
    SqliteStatement m_countSection;
    SqliteStatement m_deleteSection;
    SqliteStatement m_begin;
    SqliteStatement m_commit;
    SqliteStatement m_rollback;
};

// What opening the settings file came to. The store is never null.
struct SettingsOpenResult {
    enum class Outcome {
        Opened,
        // The file was damaged: it now lies at movedAsideTo and the store is a fresh file.
        ReplacedCorrupt,
        // The file cannot be used (reason says why): the store is held in memory,
        // seeded with what could be read, and changes will not be kept.
        Unavailable,
    };

    Outcome outcome = Outcome::Unavailable;
    std::unique_ptr<SettingsStore> store;
    QString path;
    QString movedAsideTo;
    QString reason;

    // The text to show the user once, or empty when there is nothing to say.
    QString message() const;
};

} // namespace pressbird
