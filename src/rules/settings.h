#pragma once

#include "settingkeys.h"
#include "settingsstore.h"

#include <QMap>

#include <functional>

namespace pressbird {

// The one owner of what Pressbird stores: every read and save of a key or of
// the rule section goes through here. A save the store refuses is reported
// once, until a save goes through again; a refused key is retried with the
// next save of anything, so the user's latest change is kept as soon as the
// store takes writes again.
//
// When the rule lists were not loaded whole, the rule section as stored is
// written to a dated file in asideFolder before its first rewrite, so that
// no stored rule is ever lost unseen.
class Settings final {
public:
    explicit Settings(SettingsStore &store, QString asideFolder = {});

    QString value(SettingKey key) const;
    bool save(SettingKey key, const QString &value);

    // The first `limit` rows of the rule section, and how many it holds.
    std::optional<SettingRows> ruleRows(qsizetype limit) const;
    qsizetype ruleRowCount() const;
    QString ruleValue(const QString &key) const;
    // The load stopped before the end of the rule section: `notLoaded` rows
    // were not read. Says so once; the section is set aside before it is
    // next rewritten.
    void noteRulesNotAllLoaded(qsizetype notLoaded);
    // Rewrites the rule section in one transaction; empty rows delete it.
    bool saveRules(const SettingRows &rows);

    // A section of its own, besides the keys and the rules (the rules'
    // options): read whole, rewritten whole in one transaction.
    std::optional<SettingRows> sectionRows(QStringView section) const;
    bool saveSection(QStringView section, const SettingRows &rows);

    // Where the user is told what happened to their settings, in a sentence
    // or two: a refused save (once, until a save goes through), rules left
    // unloaded and the file they were kept in.
    void setReporter(std::function<void(const QString &)> reporter) {
        m_report = std::move(reporter);
    }
    // Tells the user something about what is stored, where the above is told.
    void tell(const QString &text) const;

    SettingsStore &store() const { return m_store; }

private:
    bool retryUnsaved();
    bool setRulesAside();
    bool reportSave(bool saved);

    SettingsStore &m_store;
    QString m_asideFolder;
    std::function<void(const QString &)> m_report;
    QMap<SettingKey, QString> m_unsaved;
    bool m_refusalReported = false;
    bool m_rulesNeedSettingAside = false;
    bool m_asideFailureReported = false;
};

} // namespace pressbird
