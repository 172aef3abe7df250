#include "resumequeue.h"

#include <algorithm>

namespace pressbird {

ResumeQueue::ResumeQueue()
    : m_timer(new QTimer) {
    m_timer->setSingleShot(true);
    m_timer->setTimerType(Qt::PreciseTimer);
    m_clock.start();
    QObject::connect(m_timer, &QTimer::timeout, m_timer, [this] { resumeDue(); });
}

ResumeQueue::~ResumeQueue() {
    // Whoever still waits here is destroyed later by its owner, never resumed.
    for (Entry *entry : std::as_const(m_entries))
        entry->m_queue = nullptr;
    m_timer->disconnect();
    m_timer->stop();
    if (m_resuming) {
        *m_resuming = false;
        m_timer->deleteLater();
    } else {
        delete m_timer;
    }
}

void ResumeQueue::add(Entry &entry, std::coroutine_handle<> handle, int delayMs) {
    entry.m_queue = this;
    entry.m_handle = handle;
    entry.m_sequence = ++m_added;
    entry.m_woken = false;
    entry.m_dueNs = m_clock.nsecsElapsed() + qint64(std::max(delayMs, 0)) * 1'000'000;
    m_entries.append(&entry);
    arm();
}

void ResumeQueue::wakeAll() {
    if (m_entries.isEmpty())
        return;
    const qint64 now = m_clock.nsecsElapsed();
    for (Entry *entry : std::as_const(m_entries)) {
        entry->m_woken = true;
        entry->m_dueNs = std::min(entry->m_dueNs, now);
    }
    arm();
}

void ResumeQueue::remove(Entry &entry) noexcept {
    m_entries.removeOne(&entry);
    entry.m_queue = nullptr;
}

// The entries due when the timer fired, each taken out before it runs: a
// resumed coroutine may add entries, which wait for the loop's next turn (a
// yield inside a resumption must not starve the loop), or destroy frames
// whose entries are still queued, which are then passed over.
void ResumeQueue::resumeDue() {
    const qint64 now = m_clock.nsecsElapsed();
    QList<std::pair<Entry *, quint64>> due;
    for (Entry *entry : std::as_const(m_entries)) {
        if (entry->m_dueNs <= now)
            due.append({entry, entry->m_sequence});
    }
    bool alive = true;
    m_resuming = &alive;
    for (const auto &[entry, sequence] : std::as_const(due)) {
        // Still queued, and not a newer entry at a reused address.
        const auto queued = std::find(m_entries.cbegin(), m_entries.cend(), entry);
        if (queued == m_entries.cend() || entry->m_sequence != sequence)
            continue;
        m_entries.erase(queued);
        entry->m_queue = nullptr;
        entry->m_handle.resume();
        if (!alive)
            return; // the queue went with what the coroutine ended
    }
    m_resuming = nullptr;
    arm();
}

void ResumeQueue::arm() {
    if (m_entries.isEmpty()) {
        m_timer->stop();
        return;
    }
    qint64 first = m_entries.constFirst()->m_dueNs;
    for (const Entry *entry : std::as_const(m_entries))
        first = std::min(first, entry->m_dueNs);
    const qint64 waitNs = std::max<qint64>(first - m_clock.nsecsElapsed(), 0);
    m_timer->start(int((waitNs + 999'999) / 1'000'000));
}

} // namespace pressbird
