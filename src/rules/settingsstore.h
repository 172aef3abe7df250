#pragma once

#include <QList>
#include <QString>

#include <optional>

namespace pressbird {

struct SettingRow {
    QString key;
    QString value;
    friend bool operator==(const SettingRow &, const SettingRow &) = default;
};
using SettingRows = QList<SettingRow>;

// A per-user store of text values addressed by application, section and key.
// Sections enumerate their keys in the order in which each key was first
// written; overwriting a key keeps its place.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;

    // Creates the section when missing; writes or overwrites the value.
    virtual bool SaveSetting(const QString &app, const QString &section, const QString &key,
                             const QString &value) = 0;
    // The stored text, or the default when the section, the key or the read fails.
    virtual QString GetSetting(const QString &app, const QString &section, const QString &key,
                               const QString &defaultValue) = 0;
    // nullopt ("no table") when the section is missing, empty or unreadable.
    virtual std::optional<SettingRows> GetAllSettings(const QString &app,
                                                      const QString &section) = 0;
    // The same, but no more than the first `limit` rows.
    virtual std::optional<SettingRows> GetFirstSettings(const QString &app, const QString &section,
                                                        qsizetype limit) = 0;
    // How many rows the section holds; 0 when missing or unreadable.
    virtual qsizetype CountSettings(const QString &app, const QString &section) = 0;
    // False when the section is missing or the delete fails.
    virtual bool DeleteSetting(const QString &app, const QString &section) = 0;

    // Deletes the section and writes the rows, in order, as one transaction:
    // afterwards the store holds either all of the new section or the old one.
    // An empty row list leaves the section deleted.
    virtual bool ReplaceSection(const QString &app, const QString &section,
                                const SettingRows &rows) = 0;
};

} // namespace pressbird
