#include "preferenceverbs.h"

#include "controlprotocol.h"
#include "preferences.h"

namespace pressbird {

// The pages preference's sentence names the budget.
static_assert(kTodayElementBudget == 200000);

PageOptions pageOptionsOf(const PagePreferences &pages) {
    return {pages.today, pages.visibleOnly};
}

namespace control {

namespace {

QString line(Preferences &preferences, const PreferenceInfo &preference) {
    return preference.name.toString() + u'\t' + preferences.value(preference);
}

} // namespace

QJsonObject getPreferences(Preferences &preferences, const QString &name) {
    if (!name.isEmpty()) {
        const PreferenceInfo *preference = findPreference(name);
        return preference ? success(line(preferences, *preference))
                          : failure(noSuchPreference(name));
    }
    QStringList lines;
    for (const PreferenceInfo &preference : preferenceTable())
        lines.append(line(preferences, preference));
    return success(lines.join(u'\n'));
}

QJsonObject setPreference(Preferences &preferences, const QString &name, const QString &value) {
    if (const std::optional<QString> why = preferences.set(name, value))
        return failure(*why);
    return getPreferences(preferences, name);
}

} // namespace control
} // namespace pressbird
