#include "together.h"

#include "notifier.h"

namespace pressbird {

Task<> together(std::vector<Task<>> tasks) {
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
