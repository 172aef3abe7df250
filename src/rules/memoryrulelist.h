#pragma once

#include "rulelist.h"

#include <QList>

namespace pressbird {

// A rule list held in memory: what the tests and the benchmarks scan.
class MemoryRuleList final : public EditableRuleList {
public:
    std::int16_t count() const override;
    std::optional<QString> text(std::int16_t index) const override;
    std::optional<bool> ticked(std::int16_t index) const override;
    quint64 revision() const override { return m_revision; }

    bool append(const QString &text) override;
    bool insertAtTop(const QString &text) override;
    void setTicked(std::int16_t index, bool ticked) override;
    void remove(std::int16_t index) override;
    std::int16_t currentEntry() const override { return m_current; }
    void setCurrentEntry(std::int16_t index) override;

    // Convenience for tests: append and tick in one go.
    void appendTicked(const QString &text);

private:
    struct Entry {
        QString text;
        bool ticked = false;
    };
    bool valid(std::int16_t index) const { return index >= 0 && index < m_entries.size(); }

    // Drawn from one count for every list of the process, so a list that
    // replaces another (by assignment) never takes up a revision it had.
    static quint64 nextRevision();

    QList<Entry> m_entries;
    std::int16_t m_current = -1;
    quint64 m_revision = nextRevision();
};

} // namespace pressbird
