#pragma once

#include "scantimer.h"

#include <QObject>

namespace pressbird {

class ScanEngine;
class Yielder;

// The heartbeat: every tick of Timer1 runs one scan, the link pass before the
// button pass, with the timer off for the whole scan. So scans never overlap
// and the interval runs from the end of one scan to the start of the next.
class ScanCycle final : public QObject {
    Q_OBJECT

public:
    ScanCycle(ScanEngine &engine, Yielder &yielder, QObject *parent = nullptr);

    ScanTimer &Timer1() { return m_timer; }
    const ScanTimer &Timer1() const { return m_timer; }

    void Timer1_Timer();

    bool isScanning() const { return m_scanning; }

Q_SIGNALS:
    void scanStarted();
    void scanFinished();

private:
    ScanEngine &m_engine;
    Yielder &m_yielder;
    ScanTimer m_timer;
    bool m_scanning = false;
};

} // namespace pressbird
