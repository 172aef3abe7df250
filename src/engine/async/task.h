#pragma once

#include "coroutine.h"

#include <exception>
#include <functional>
#include <optional>
#include <utility>

namespace pressbird {

// A coroutine that starts when it is awaited (or started) and whose frame
// belongs to its Task object. Destroying the Task destroys the frame, and with
// it every Task it is awaiting and the awaiter it is suspended in: that is how
// a scan is cancelled at whatever point it waits, with nothing left to resume
// it later. Awaiters used inside a Task must therefore withdraw their
// registration when destroyed (ResumeQueue::Entry does).
//
// Failures are values; an exception escaping a Task ends the program.
template<typename T = void> class [[nodiscard]] Task;

namespace detail {

struct PromiseBase {
    struct FinalAwaiter {
        bool await_ready() const noexcept { return false; }
        template<typename Promise>
        std::coroutine_handle<> await_suspend(std::coroutine_handle<Promise> self) noexcept {
            PromiseBase &promise = self.promise();
            if (promise.continuation)
                return promise.continuation;
            // A started root: its owner may destroy the frame in the callback,
            // so nothing of the frame is touched afterwards.
            if (std::function<void()> done = std::move(promise.onDone))
                done();
            return std::noop_coroutine();
        }
        void await_resume() const noexcept {}
    };

    std::suspend_always initial_suspend() const noexcept { return {}; }
    FinalAwaiter final_suspend() const noexcept { return {}; }
    [[noreturn]] void unhandled_exception() const noexcept { std::terminate(); }

    std::coroutine_handle<> continuation;
    std::function<void()> onDone;
};

template<typename T> struct Promise final : PromiseBase {
    Task<T> get_return_object() noexcept;
    template<typename U> void return_value(U &&value) { result.emplace(std::forward<U>(value)); }
    T take() { return std::move(*result); }
    std::optional<T> result;
};

template<> struct Promise<void> final : PromiseBase {
    Task<void> get_return_object() noexcept;
    void return_void() const noexcept {}
    void take() const noexcept {}
};

} // namespace detail

template<typename T> class [[nodiscard]] Task {
public:
    using promise_type = detail::Promise<T>;
    using Handle = std::coroutine_handle<promise_type>;

    Task() = default;
    explicit Task(Handle handle) noexcept
        : m_handle(handle) {}
    Task(Task &&other) noexcept
        : m_handle(std::exchange(other.m_handle, {})) {}
    Task &operator=(Task &&other) noexcept {
        if (this != &other) {
            reset();
            m_handle = std::exchange(other.m_handle, {});
        }
        return *this;
    }
    Task(const Task &) = delete;
    Task &operator=(const Task &) = delete;
    ~Task() { reset(); }

    bool valid() const noexcept { return bool(m_handle); }
    bool done() const noexcept { return m_handle && m_handle.done(); }

    // Runs a root task until its first suspension; onDone runs when it has
    // finished (it may destroy this Task). Never call on an awaited task.
    void start(std::function<void()> onDone = {}) {
        const Handle handle = m_handle;
        handle.promise().onDone = std::move(onDone);
        handle.resume(); // `this` may be gone from here on
    }

    // The result of a finished task.
    T result() { return m_handle.promise().take(); }

    // Starts the task with `awaiting` as what resumes when it ends; the
    // handle to transfer to. What co_await does, for awaitables that hold a Task.
    std::coroutine_handle<> continueWith(std::coroutine_handle<> awaiting) noexcept {
        m_handle.promise().continuation = awaiting;
        return m_handle;
    }

    auto operator co_await() &&noexcept {
        struct Awaiter {
            Handle handle;
            bool await_ready() const noexcept { return !handle || handle.done(); }
            std::coroutine_handle<> await_suspend(std::coroutine_handle<> awaiting) noexcept {
                handle.promise().continuation = awaiting;
                return handle;
            }
            T await_resume() { return handle.promise().take(); }
        };
        return Awaiter{m_handle};
    }

private:
    void reset() noexcept {
        if (m_handle)
            std::exchange(m_handle, {}).destroy();
    }

    Handle m_handle;
};

namespace detail {
template<typename T> Task<T> Promise<T>::get_return_object() noexcept {
    return Task<T>(std::coroutine_handle<Promise<T>>::from_promise(*this));
}
inline Task<void> Promise<void>::get_return_object() noexcept {
    return Task<void>(std::coroutine_handle<Promise<void>>::from_promise(*this));
}
} // namespace detail

} // namespace pressbird
