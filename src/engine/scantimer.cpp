#include "scantimer.h"

namespace pressbird {

ScanTimer::ScanTimer(QObject *parent)
    : QObject(parent) {
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &ScanTimer::timeout);
}

void ScanTimer::setEnabled(bool enabled) {
    m_enabled = enabled;
    restart();
}

bool ScanTimer::setInterval(int ms) {
    if (ms < 0 || ms > kMaxInterval)
        return false;
    m_interval = ms;
    restart();
    return true;
}

void ScanTimer::restart() {
    if (m_enabled && m_interval > 0)
        m_timer.start(m_interval);
    else
        m_timer.stop();
}

} // namespace pressbird
