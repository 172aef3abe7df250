#pragma once

#include <QStringView>

namespace pressbird {

// The title of every message box that names none of its own.
inline constexpr QStringView kProgramTitle = u"Pressbird";

// The main window's caption; the tray tip reuses it, and it must stay within
// the tip's 63 characters.
inline constexpr QStringView kWindowCaption = u"Pressbird 2.1 - pressbird-tools.example";
static_assert(kWindowCaption.size() <= 63);

inline constexpr QStringView kAboutText = u"Pressbird 2.1";

} // namespace pressbird
