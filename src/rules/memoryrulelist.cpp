#include "memoryrulelist.h"

#include <atomic>

namespace pressbird {

std::int16_t MemoryRuleList::count() const {
    return static_cast<std::int16_t>(m_entries.size());
}

std::optional<QString> MemoryRuleList::text(std::int16_t index) const {
    if (!valid(index))
        return std::nullopt;
    return m_entries.at(index).text;
}

std::optional<bool> MemoryRuleList::ticked(std::int16_t index) const {
    if (!valid(index))
        return std::nullopt;
    return m_entries.at(index).ticked;
}

bool MemoryRuleList::append(const QString &text) {
    if (m_entries.size() >= kMaxEntries)
        return false;
    m_entries.append({text, false});
    m_revision = nextRevision();
    return true;
}

bool MemoryRuleList::insertAtTop(const QString &text) {
    if (m_entries.size() >= kMaxEntries)
        return false;
    m_entries.prepend({text, false});
    m_revision = nextRevision();
    if (m_current >= 0)
        ++m_current;
    return true;
}

void MemoryRuleList::setTicked(std::int16_t index, bool ticked) {
    if (!valid(index) || m_entries.at(index).ticked == ticked)
        return;
    m_entries[index].ticked = ticked;
    m_revision = nextRevision();
}

void MemoryRuleList::remove(std::int16_t index) {
    if (!valid(index))
        return;
    m_entries.removeAt(index);
    m_revision = nextRevision();
    if (index == m_current)
        m_current = -1;
    else if (index < m_current)
        --m_current;
}

void MemoryRuleList::setCurrentEntry(std::int16_t index) {
    m_current = valid(index) ? index : std::int16_t{-1};
}

quint64 MemoryRuleList::nextRevision() {
    static std::atomic<quint64> last{0};
    return ++last;
}

void MemoryRuleList::appendTicked(const QString &text) {
    if (append(text))
        setTicked(static_cast<std::int16_t>(count() - 1), true);
}

} // namespace pressbird
