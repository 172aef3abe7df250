#include "clock.h"

#include <QTime>

namespace pressbird {

double SystemClock::secondsSinceMidnight() const {
    return QTime::currentTime().msecsSinceStartOfDay() / 1000.0;
}

} // namespace pressbird
