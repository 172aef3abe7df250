#pragma once

#include "async/async.h"

#include <QEventLoop>
#include <QTimer>

namespace pressbird::testing {

// Runs a task on a real event loop until it ends and gives its result. A
// task still suspended after timeoutMs is a hang: the process stops. A local
// loop rather than QTest::qWaitFor, which sleeps 10 ms whenever nothing is
// pending and would add that to every round trip.
template<typename T> T awaitOnLoop(Task<T> task, int timeoutMs = 120000) {
    QEventLoop loop;
    bool done = false;
    task.start([&] {
        done = true;
        loop.quit();
    });
    if (!done) {
        // A timer of this call's own: a single-shot one would outlive the
        // call until it fires, one per call, and look like a leak.
        QTimer hang;
        hang.setSingleShot(true);
        QObject::connect(&hang, &QTimer::timeout, &loop, [&loop] { loop.exit(1); });
        hang.start(timeoutMs);
        if (loop.exec() != 0)
            qFatal("awaitOnLoop: the task did not end within %d ms", timeoutMs);
    }
    if constexpr (!std::is_void_v<T>)
        return task.result();
}

template<typename T> Task<T> asTask(Async<T> answer) {
    co_return co_await answer;
}

template<typename T> T awaitOnLoop(Async<T> answer, int timeoutMs = 120000) {
    return awaitOnLoop(asTask(std::move(answer)), timeoutMs);
}

} // namespace pressbird::testing
