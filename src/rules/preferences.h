#pragma once

#include "settingkeys.h"

#include <QSet>
#include <QString>

#include <array>
#include <optional>
#include <span>

namespace pressbird {

class Settings;

struct PreferenceChoice {
    QStringView value; // as stored and as pressbird-ctl spells it
    QStringView caption;
};

// One choice the user makes in the Preferences window or with pressbird-ctl
// set. Its default is its key's (settingkeys.h).
struct PreferenceInfo {
    QStringView name;
    QStringView caption;
    SettingKey key;
    std::array<PreferenceChoice, 2> choices;
    QStringView explanation; // one sentence

    QStringView defaultValue() const { return infoOf(key).defaultValue; }
    bool allows(QStringView value) const;
};

std::span<const PreferenceInfo> preferenceTable();
const PreferenceInfo *findPreference(QStringView name);
// Why a name is none of the preferences'.
QString noSuchPreference(const QString &name);

// What the preferences ask of the walks, in plain values; the engine's page
// options are made from them above this layer.
struct PagePreferences {
    bool today = false;
    bool visibleOnly = false;
    friend bool operator==(const PagePreferences &, const PagePreferences &) = default;
};

// Reads and sets the preferences through Settings. A stored value that is
// none of the allowed ones reads as the default, and the user is told once
// per value, however often it is read.
class Preferences final {
public:
    explicit Preferences(Settings &settings)
        : m_settings(settings) {}

    QString value(const PreferenceInfo &preference);
    PagePreferences pages();
    // Saves the value; on an unknown name or value, or a refused save, says
    // why, and an unknown name or value changes nothing.
    std::optional<QString> set(const QString &name, const QString &value);

private:
    Settings &m_settings;
    QSet<QString> m_told; // name and value of each unreadable value told
};

} // namespace pressbird
