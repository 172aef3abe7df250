#pragma once

#include "settingsstore.h"

#include <QHash>
#include <QMap>

#include <utility>

namespace pressbird {

// A store held in memory: what the tests use, and what the program falls back
// to when the settings file cannot be used.
class MemorySettingsStore final : public SettingsStore {
public:
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

    // While failing, every write returns false and changes nothing, and every
    // read answers as for a missing key.
    void setFailing(bool failing) { m_failing = failing; }

private:
    using SectionId = std::pair<QString, QString>;
    // Rows in the order of first writing, and each key's row: no search per key.
    struct Section {
        SettingRows rows;
        QHash<QString, qsizetype> rowOfKey;
        void upsert(const QString &key, const QString &value);
    };

    QMap<SectionId, Section> m_sections;
    bool m_failing = false;
};

} // namespace pressbird
