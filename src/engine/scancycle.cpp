#include "scancycle.h"

#include "scanengine.h"
#include "scantimer.h"
#include "yielder.h"

namespace pressbird {

ScanCycle::ScanCycle(ScanEngine &engine, Yielder &yielder, ScanTimer &timer, QObject *parent)
    : QObject(parent)
    , m_engine(engine)
    , m_yielder(yielder)
    , m_timer(timer) {
    connect(&m_timer, &ScanTimer::timeout, this, &ScanCycle::Timer1_Timer);
}

// A scan still suspended is destroyed with its frames, before the engine and
// the browser it waits on.
ScanCycle::~ScanCycle() = default;

void ScanCycle::Timer1_Timer() {
    if (m_scan || m_stopped || m_paused)
        return; // a tick can only come in while the timer is off if called by hand
    m_timer.setEnabled(false);
    Q_EMIT scanStarted();
    m_scan.emplace(scan());
    m_scan->start([this] { finished(); });
}

Task<> ScanCycle::scan() {
    co_await m_yielder.yield();
    co_await m_engine.ClickLinks();
    co_await m_yielder.yield();
    co_await m_engine.PushButtons();
}

void ScanCycle::finished() {
    m_scan.reset();
    m_timer.setEnabled(true);
    Q_EMIT scanFinished();
}

void ScanCycle::stop() {
    m_stopped = true;
    m_scan.reset();
    m_timer.setEnabled(false);
}

void ScanCycle::pause() {
    if (m_paused || m_stopped)
        return;
    m_paused = true;
    m_scan.reset();
    m_timer.setEnabled(false);
    Q_EMIT pausedChanged(true);
}

void ScanCycle::resume() {
    if (!m_paused || m_stopped)
        return;
    m_paused = false;
    m_timer.setEnabled(true);
    Q_EMIT pausedChanged(false);
}

} // namespace pressbird
