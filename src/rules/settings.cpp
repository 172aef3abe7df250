#include "settings.h"

#include <QDateTime>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

namespace pressbird {

namespace {

const QString kSaveRefused = QStringLiteral(
    "Your change could not be saved. What was saved before is kept as it was, and your changes "
    "stay in this window; Pressbird saves them again at your next change.");

bool write(SettingsStore &store, SettingKey key, const QString &value) {
    const SettingKeyInfo info = infoOf(key);
    return store.SaveSetting(kAppName.toString(), info.section.toString(), info.key.toString(),
                             value);
}

QByteArray rowsAsJson(const SettingRows &rows) {
    QJsonArray list;
    for (const SettingRow &row : rows)
        list.append(
            QJsonObject{{QStringLiteral("key"), row.key}, {QStringLiteral("value"), row.value}});
    const QJsonObject file{{QStringLiteral("app"), kAppName.toString()},
                           {QStringLiteral("section"), kListSection.toString()},
                           {QStringLiteral("rows"), list}};
    return QJsonDocument(file).toJson(QJsonDocument::Indented);
}

} // namespace

Settings::Settings(SettingsStore &store, QString asideFolder)
    : m_store(store)
    , m_asideFolder(std::move(asideFolder)) {}

QString Settings::value(SettingKey key) const {
    if (const auto unsaved = m_unsaved.constFind(key); unsaved != m_unsaved.cend())
        return *unsaved;
    const SettingKeyInfo info = infoOf(key);
    return m_store.GetSetting(kAppName.toString(), info.section.toString(), info.key.toString(),
                              info.defaultValue.toString());
}

bool Settings::save(SettingKey key, const QString &value) {
    m_unsaved.insert(key, value);
    return reportSave(retryUnsaved());
}

std::optional<SettingRows> Settings::ruleRows(qsizetype limit) const {
    return m_store.GetFirstSettings(kAppName.toString(), kListSection.toString(), limit);
}

qsizetype Settings::ruleRowCount() const {
    return m_store.CountSettings(kAppName.toString(), kListSection.toString());
}

QString Settings::ruleValue(const QString &key) const {
    return m_store.GetSetting(kAppName.toString(), kListSection.toString(), key, QString());
}

void Settings::noteRulesNotAllLoaded(qsizetype notLoaded) {
    if (m_rulesNeedSettingAside)
        return;
    m_rulesNeedSettingAside = true;
    tell(QStringLiteral("%1 of your saved rules could not be loaded: a saved rule could not be "
                        "read, or there were more than the lists can hold. They are not lost: "
                        "before your rules are next saved, Pressbird copies all the saved rules "
                        "to a file next to its settings file and tells you its name.")
             .arg(notLoaded));
}

bool Settings::saveRules(const SettingRows &rows) {
    if (m_rulesNeedSettingAside && !setRulesAside())
        return reportSave(false);
    const bool others = retryUnsaved();
    const bool rules = m_store.ReplaceSection(kAppName.toString(), kListSection.toString(), rows);
    return reportSave(others && rules);
}

std::optional<SettingRows> Settings::sectionRows(QStringView section) const {
    return m_store.GetAllSettings(kAppName.toString(), section.toString());
}

bool Settings::saveSection(QStringView section, const SettingRows &rows) {
    const bool others = retryUnsaved();
    const bool saved = m_store.ReplaceSection(kAppName.toString(), section.toString(), rows);
    return reportSave(others && saved);
}

// Written whole or not at all, readable by the user only, never over another file.
bool Settings::setRulesAside() {
    const SettingRows stored = m_store.GetAllSettings(kAppName.toString(), kListSection.toString())
                                   .value_or(SettingRows());
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString path =
        QDir(m_asideFolder).filePath(QStringLiteral("rules-not-loaded-%1.json").arg(stamp));
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = QDir(m_asideFolder)
                   .filePath(QStringLiteral("rules-not-loaded-%1-%2.json").arg(stamp).arg(n));
    QSaveFile file(path);
    const bool written = !m_asideFolder.isEmpty() && file.open(QIODevice::WriteOnly) &&
                         file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) &&
                         file.write(rowsAsJson(stored)) >= 0 && file.commit();
    if (!written) {
        if (m_asideFailureReported)
            return false;
        m_asideFailureReported = true;
        tell(QStringLiteral("Your saved rules could not be copied to %1 (%2), so they are not "
                            "overwritten: your changes stay in this window but are not saved.")
                 .arg(QDir::toNativeSeparators(path),
                      m_asideFolder.isEmpty() ? QStringLiteral("no folder to keep them in")
                                              : file.errorString()));
        return false;
    }
    m_rulesNeedSettingAside = false;
    tell(QStringLiteral("Not all of your saved rules could be loaded, so before saving your change "
                        "Pressbird kept all the rules as they were saved in\n%1")
             .arg(QDir::toNativeSeparators(path)));
    return true;
}

bool Settings::retryUnsaved() {
    for (auto it = m_unsaved.begin(); it != m_unsaved.end();) {
        if (!write(m_store, it.key(), it.value()))
            return false;
        it = m_unsaved.erase(it);
    }
    return true;
}

bool Settings::reportSave(bool saved) {
    if (saved) {
        m_refusalReported = false;
    } else if (!m_refusalReported) {
        m_refusalReported = true;
        tell(kSaveRefused);
    }
    return saved;
}

void Settings::tell(const QString &text) const {
    if (m_report)
        m_report(text);
}

} // namespace pressbird
