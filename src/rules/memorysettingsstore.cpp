#include "memorysettingsstore.h"

namespace pressbird {

void MemorySettingsStore::Section::upsert(const QString &key, const QString &value) {
    const auto found = rowOfKey.constFind(key);
    if (found != rowOfKey.cend()) {
        rows[*found].value = value;
        return;
    }
    rowOfKey.insert(key, rows.size());
    rows.append({key, value});
}

bool MemorySettingsStore::SaveSetting(const QString &app, const QString &section,
                                      const QString &key, const QString &value) {
    if (m_failing)
        return false;
    m_sections[{app, section}].upsert(key, value);
    return true;
}

QString MemorySettingsStore::GetSetting(const QString &app, const QString &section,
                                        const QString &key, const QString &defaultValue) {
    if (m_failing)
        return defaultValue;
    const auto found = m_sections.constFind({app, section});
    if (found == m_sections.cend())
        return defaultValue;
    const auto row = found->rowOfKey.constFind(key);
    return row == found->rowOfKey.cend() ? defaultValue : found->rows.at(*row).value;
}

std::optional<SettingRows> MemorySettingsStore::GetAllSettings(const QString &app,
                                                               const QString &section) {
    const auto found = m_sections.constFind({app, section});
    if (m_failing || found == m_sections.cend() || found->rows.isEmpty())
        return std::nullopt;
    return found->rows;
}

std::optional<SettingRows>
MemorySettingsStore::GetFirstSettings(const QString &app, const QString &section, qsizetype limit) {
    std::optional<SettingRows> rows = GetAllSettings(app, section);
    if (rows && limit >= 0 && rows->size() > limit)
        rows->resize(limit);
    if (rows && rows->isEmpty())
        return std::nullopt;
    return rows;
}

qsizetype MemorySettingsStore::CountSettings(const QString &app, const QString &section) {
    const auto found = m_sections.constFind({app, section});
    return m_failing || found == m_sections.cend() ? 0 : found->rows.size();
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
    Section fresh;
    for (const SettingRow &row : rows)
        fresh.upsert(row.key, row.value);
    if (fresh.rows.isEmpty())
        m_sections.remove({app, section});
    else
        m_sections.insert({app, section}, fresh);
    return true;
}

} // namespace pressbird
