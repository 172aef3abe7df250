#include "preferences.h"

#include "settings.h"

#include <QStringList>

#include <algorithm>

namespace pressbird {

namespace {

constexpr PreferenceInfo kPreferences[] = {
    {u"pages",
     u"Pages",
     SettingKey::PagesPreference,
     {{{u"classic", u"Classic"}, {u"today", u"Today's pages"}}},
     u"Today's pages also pushes <button> elements, role=\"button\" elements and image inputs, "
     u"presses role=\"link\" elements, and looks inside open shadow roots and every frame, up to "
     u"200,000 elements per tab; Classic reads only the input buttons and links of the page "
     u"itself."},
    {u"visible-only",
     u"Visible only",
     SettingKey::VisibleOnlyPreference,
     {{{u"off", u"Off"}, {u"on", u"On"}}},
     u"On presses only what a person could see: an element with a rendered, non-empty box that "
     u"is not visibility:hidden, transparent, clipped or outside the page's scrollable area; Off "
     u"presses hidden elements too."},
};

const PreferenceInfo &preferenceOf(SettingKey key) {
    for (const PreferenceInfo &preference : kPreferences)
        if (preference.key == key)
            return preference;
    Q_UNREACHABLE();
}

QString valuesOf(const PreferenceInfo &preference) {
    QStringList values;
    for (const PreferenceChoice &choice : preference.choices)
        values.append(choice.value.toString());
    return values.join(QStringLiteral(" or "));
}

} // namespace

bool PreferenceInfo::allows(QStringView value) const {
    return std::any_of(choices.cbegin(), choices.cend(),
                       [value](const PreferenceChoice &choice) { return choice.value == value; });
}

std::span<const PreferenceInfo> preferenceTable() {
    return kPreferences;
}

const PreferenceInfo *findPreference(QStringView name) {
    for (const PreferenceInfo &preference : kPreferences)
        if (preference.name == name)
            return &preference;
    return nullptr;
}

QString noSuchPreference(const QString &name) {
    QStringList names;
    for (const PreferenceInfo &known : kPreferences)
        names.append(known.name.toString());
    return QStringLiteral("there is no preference \"%1\"; the preferences are %2")
        .arg(name.left(40), names.join(QStringLiteral(" and ")));
}

QString Preferences::value(const PreferenceInfo &preference) {
    const QString stored = m_settings.value(preference.key);
    if (preference.allows(stored))
        return stored;
    const QString name = preference.name.toString();
    if (!m_told.contains(name + u'=' + stored)) {
        m_told.insert(name + u'=' + stored);
        m_settings.tell(QStringLiteral("The saved preference %1 is \"%2\", but it takes %3: "
                                       "Pressbird uses %4 until you choose again in its "
                                       "Preferences window or with pressbird-ctl set %1.")
                            .arg(name, stored.left(40), valuesOf(preference),
                                 preference.defaultValue().toString()));
    }
    return preference.defaultValue().toString();
}

PagePreferences Preferences::pages() {
    return {value(preferenceOf(SettingKey::PagesPreference)) == u"today",
            value(preferenceOf(SettingKey::VisibleOnlyPreference)) == u"on"};
}

std::optional<QString> Preferences::set(const QString &name, const QString &value) {
    const PreferenceInfo *preference = findPreference(name);
    if (!preference)
        return noSuchPreference(name);
    if (!preference->allows(value))
        return QStringLiteral("%1 is %2, not \"%3\"")
            .arg(name, valuesOf(*preference), value.left(40));
    if (!m_settings.save(preference->key, value))
        return QStringLiteral("%1 could not be saved: the settings file does not take changes")
            .arg(name);
    return std::nullopt;
}

} // namespace pressbird
