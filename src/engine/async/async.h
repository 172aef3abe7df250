#pragma once

#include "task.h"

#include <optional>
#include <type_traits>
#include <utility>

namespace pressbird {

// The answer of a call that is often known at once: either the value itself
// or a Task that finds it. Awaiting a ready value neither suspends nor
// allocates, which matters for reads answered from a cache tens of thousands
// of times per scan.
template<typename T> class [[nodiscard]] Async {
public:
    template<typename U,
             typename = std::enable_if_t<std::is_constructible_v<T, U &&> &&
                                         !std::is_same_v<std::remove_cvref_t<U>, Async>>>
    Async(U &&value) // NOLINT(google-explicit-constructor): a value is an answer
        : m_value(std::in_place, std::forward<U>(value)) {}
    Async(Task<T> task) // NOLINT(google-explicit-constructor)
        : m_task(std::move(task)) {}

    bool await_ready() const noexcept { return m_value.has_value(); }
    std::coroutine_handle<> await_suspend(std::coroutine_handle<> awaiting) noexcept {
        return m_task.continueWith(awaiting);
    }
    T await_resume() {
        if (m_value)
            return std::move(*m_value);
        return m_task.result();
    }

private:
    std::optional<T> m_value;
    Task<T> m_task;
};

} // namespace pressbird
