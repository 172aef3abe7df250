#pragma once

#include "version.h"

#include <QStringView>

namespace pressbird {

inline constexpr QStringView kVersion = u"" PRESSBIRD_VERSION;

// The title of every message box that names none of its own.
inline constexpr QStringView kProgramTitle = u"Pressbird";

// The main window's caption; the tray tip reuses it, and it must stay within
// the tip's 63 characters.
inline constexpr QStringView kWindowCaption =
    u"Pressbird " PRESSBIRD_VERSION " - pressbird-tools.example";
static_assert(kWindowCaption.size() <= 63);

inline constexpr QStringView kAboutText = u"Pressbird " PRESSBIRD_VERSION;

inline constexpr QStringView kStartUpQuestion =
    u"Would you like to have Pressbird " PRESSBIRD_VERSION " run at Start up?";

} // namespace pressbird
