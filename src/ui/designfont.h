#pragma once

#include <QFont>

namespace pressbird {

// The windows' own font size, which every control without a font of its own uses.
inline constexpr double kDesignPointSize = 8.25;

// The sans font the layout names, or the nearest sans face the system has.
QFont DesignSansFont(double pointSize);

} // namespace pressbird
