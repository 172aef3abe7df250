#pragma once

#include "notifier.h"
#include "task.h"

#include <vector>

namespace pressbird {

// Runs tasks side by side and ends when every one has ended: the calls they
// make go out together, so a browser answering many of them wakes the
// program once rather than once each. Destroyed while it waits (a cancelled
// scan), it destroys every task with it.
inline Task<> together(std::vector<Task<>> tasks) {
    Notifier finished;
    std::size_t left = tasks.size();
    // Moved here, after what their ends touch: destroyed before it.
    std::vector<Task<>> running = std::move(tasks);
    for (Task<> &task : running) {
        task.start([&left, &finished] {
            if (--left == 0)
                finished.notify();
        });
    }
    // Each task's calls have time-outs of their own; this only waits for them.
    constexpr int kLookAgainMs = 60000;
    while (left > 0)
        co_await finished.wait(kLookAgainMs);
}

} // namespace pressbird
