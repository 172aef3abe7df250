#pragma once

#include "coroutine.h"

#include <QElapsedTimer>
#include <QList>
#include <QTimer>

namespace pressbird {

// Resumes suspended coroutines from the event loop, each when its time has
// come, through one timer that lives as long as the queue. Entries live in
// the awaiting coroutine's frame and leave the queue when destroyed, so a
// cancelled coroutine is never resumed.
class ResumeQueue final {
public:
    class Entry final {
    public:
        Entry() = default;
        Entry(const Entry &) = delete;
        Entry &operator=(const Entry &) = delete;
        ~Entry() {
            if (m_queue)
                m_queue->remove(*this);
        }

        // Whether wakeAll() came before the entry's time ran out.
        bool woken() const { return m_woken; }

    private:
        friend class ResumeQueue;
        ResumeQueue *m_queue = nullptr;
        std::coroutine_handle<> m_handle;
        qint64 m_dueNs = 0;
        quint64 m_sequence = 0;
        bool m_woken = false;
    };

    ResumeQueue();
    ~ResumeQueue();
    ResumeQueue(const ResumeQueue &) = delete;
    ResumeQueue &operator=(const ResumeQueue &) = delete;

    // Resumes handle from the event loop once delayMs have passed (0: at the
    // loop's next turn), unless wakeAll() comes first.
    void add(Entry &entry, std::coroutine_handle<> handle, int delayMs);
    // Makes every entry due now and marks it woken.
    void wakeAll();
    bool isEmpty() const { return m_entries.isEmpty(); }

private:
    void remove(Entry &entry) noexcept;
    void resumeDue();
    void arm();

    // On the heap: a coroutine resumed from the timer's signal may end the
    // queue's owner, and a timer must not be deleted inside its own signal.
    QTimer *m_timer;
    QElapsedTimer m_clock;
    QList<Entry *> m_entries;
    quint64 m_added = 0;
    bool *m_resuming = nullptr; // set while resumeDue() runs; cleared if the queue goes
};

} // namespace pressbird
