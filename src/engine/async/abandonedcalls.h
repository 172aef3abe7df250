#pragma once

#include <QHash>
#include <QList>

namespace pressbird {

// Lives in the frame that waits for calls to a browser, which may be
// destroyed where it waits (a cancelled scan). When it goes, a call already
// answered leaves the table; one still out is marked abandoned, so its late
// answer is dropped when it comes instead of resuming anything. A Pending has
// `bool done` and `bool abandoned`.
template<typename Pending> class AbandonedCalls final {
public:
    AbandonedCalls(QHash<int, Pending> &pending, QList<int> ids)
        : m_pending(pending)
        , m_ids(std::move(ids)) {}
    AbandonedCalls(const AbandonedCalls &) = delete;
    AbandonedCalls &operator=(const AbandonedCalls &) = delete;
    ~AbandonedCalls() {
        for (int id : std::as_const(m_ids)) {
            const auto it = m_pending.find(id);
            if (it == m_pending.end())
                continue;
            if (it->done)
                m_pending.erase(it);
            else
                it->abandoned = true;
        }
    }

private:
    QHash<int, Pending> &m_pending;
    const QList<int> m_ids;
};

} // namespace pressbird
