#pragma once

#include <QString>

namespace pressbird {

// $XDG_CONFIG_HOME/Pressbird/settings.sqlite3, with ~/.config when the variable
// is unset or empty. Creates the folder when it can; opening the store reports
// the folder that could not be made.
QString settingsFilePath();

} // namespace pressbird
