#pragma once

#include "async/task.h"

#include <QObject>

#include <optional>

namespace pressbird {

class ScanEngine;
class ScanTimer;
class Yielder;

// The heartbeat: every tick of Timer1 runs one scan, the link pass before the
// button pass, with the timer off for the whole scan. So scans never overlap
// and the interval runs from the end of one scan to the start of the next.
// The scan is a coroutine: it waits in the event loop, never nesting it.
class ScanCycle final : public QObject {
    Q_OBJECT

public:
    ScanCycle(ScanEngine &engine, Yielder &yielder, ScanTimer &timer, QObject *parent = nullptr);
    ~ScanCycle() override;

    ScanTimer &Timer1() { return m_timer; }
    const ScanTimer &Timer1() const { return m_timer; }

    void Timer1_Timer();

    bool isScanning() const { return m_scan.has_value(); }

    // The program is ending: a scan under way is cancelled where it waits (it
    // presses nothing more), and the timer stays off for good.
    void stop();

    // The user's pause: a scan under way is cancelled where it waits and the
    // timer goes off; resume() switches it on again. Not kept across a restart.
    void pause();
    void resume();
    bool isPaused() const { return m_paused; }

Q_SIGNALS:
    void scanStarted();
    void scanFinished();
    void pausedChanged(bool paused);

private:
    Task<> scan();
    void finished();

    ScanEngine &m_engine;
    Yielder &m_yielder;
    ScanTimer &m_timer;
    std::optional<Task<>> m_scan;
    bool m_stopped = false;
    bool m_paused = false;
};

} // namespace pressbird
