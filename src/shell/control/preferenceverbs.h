#pragma once

#include "pageoptions.h"

#include <QJsonObject>

namespace pressbird {

class Preferences;
struct PagePreferences;

// What the preferences ask of the walks.
PageOptions pageOptionsOf(const PagePreferences &pages);

namespace control {

// get [NAME]: NAME<TAB>VALUE, one line per preference, or the named one's.
QJsonObject getPreferences(Preferences &preferences, const QString &name);
// set NAME VALUE: saved and answered as get answers it, or why not.
QJsonObject setPreference(Preferences &preferences, const QString &name, const QString &value);

} // namespace control
} // namespace pressbird
