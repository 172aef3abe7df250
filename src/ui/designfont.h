#pragma once

#include <QFont>

namespace pressbird {

// The sans font the layout names, or the nearest sans face the system has.
QFont DesignSansFont(double pointSize);

} // namespace pressbird
