#pragma once

#include <QString>

#include <optional>

namespace pressbird {

// The interval text of the Calibration box as whole milliseconds, a fraction
// going to the nearest whole number (halves to even). nullopt when the text
// is no number or the result lies outside what the scan timer takes.
std::optional<int> IntervalFromText(const QString &text);

} // namespace pressbird
