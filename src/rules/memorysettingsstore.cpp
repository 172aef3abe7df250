#include "memorysettingsstore.h"

namespace pressbird {

void MemorySettingsStore::upsert(SettingRows &rows, const QString &key, const QString &value) {
    for (SettingRow &row : rows) {
        if (row.key == key) {
            row.value = value;
            return;
        }
    }
    rows.append({key, value});
}

bool MemorySettingsStore::SaveSetting(const QString &app, const QString &section,
                                      const QString &key, const QString &value) {
    if (m_failing)
        return false;
    upsert(m_sections[{app, section}], key, value);
    return true;
}

QString MemorySettingsStore::GetSetting(const QString &app, const QString &section,
                                        const QString &key, const QString &defaultValue) {
    if (m_failing)
        return defaultValue;
    const auto found = m_sections.constFind({app, section});
    if (found == m_sections.cend())
        return defaultValue;
    for (const SettingRow &row : *found) {
        if (row.key == key)
            return row.value;
    }
    return defaultValue;
}

std::optional<SettingRows> MemorySettingsStore::GetAllSettings(const QString &app,
                                                               const QString &section) {
    const auto found = m_sections.constFind({app, section});
    if (m_failing || found == m_sections.cend() || found->isEmpty())
        return std::nullopt;
    return *found;
}

bool MemorySettingsStore::DeleteSetting(const QString &app, const QString &section) {
    if (m_failing)
        return false;
    return m_sections.remove({app, section}) > 0;
}

bool MemorySettingsStore::ReplaceSection(const QString &app, const QString &section,
                                         const SettingRows &rows) {
    if (m_failing)
        return false;
    SettingRows fresh;
    for (const SettingRow &row : rows)
        upsert(fresh, row.key, row.value);
    if (fresh.isEmpty())
        m_sections.remove({app, section});
    else
        m_sections.insert({app, section}, fresh);
    return true;
}

} // namespace pressbird
