#include "scancycle.h"

#include "scanengine.h"
#include "yielder.h"

namespace pressbird {

ScanCycle::ScanCycle(ScanEngine &engine, Yielder &yielder, QObject *parent)
    : QObject(parent)
    , m_engine(engine)
    , m_yielder(yielder) {
    connect(&m_timer, &ScanTimer::timeout, this, &ScanCycle::Timer1_Timer);
}

void ScanCycle::Timer1_Timer() {
    if (m_scanning)
        return; // a tick can only come in while the timer is off if called by hand
    m_scanning = true;
    m_timer.setEnabled(false);
    Q_EMIT scanStarted();

    m_yielder.yield();
    m_engine.ClickLinks();
    m_yielder.yield();
    m_engine.PushButtons();

    m_scanning = false;
    if (m_engine.stopRequested())
        return; // the program is ending: no further tick
    m_timer.setEnabled(true);
    Q_EMIT scanFinished();
}

} // namespace pressbird
