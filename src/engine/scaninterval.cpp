#include "scaninterval.h"

#include "scantimer.h"

#include <cmath>

namespace pressbird {

std::optional<int> IntervalFromText(const QString &text) {
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    const double rounded = std::nearbyint(value);
    if (rounded < 0 || rounded > ScanTimer::kMaxInterval)
        return std::nullopt;
    return static_cast<int>(rounded);
}

} // namespace pressbird
