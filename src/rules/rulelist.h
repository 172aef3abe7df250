#pragma once

#include <QString>
#include <QtGlobal>

#include <cstdint>
#include <optional>

namespace pressbird {

// One of the two rule lists as the scan reads it. Nothing keeps a copy of the
// rules: every read goes to the list itself, so an entry removed while the
// scan yielded simply reads as gone.
class RuleList {
public:
    static constexpr std::int16_t kMaxEntries = 32767;

    virtual ~RuleList() = default;

    virtual std::int16_t count() const = 0;
    virtual std::optional<QString> text(std::int16_t index) const = 0;
    virtual std::optional<bool> ticked(std::int16_t index) const = 0;
    // Moves on with every change to the list's texts, ticks or order: a scan
    // that finds it where it stood knows the rules are as they were.
    virtual quint64 revision() const = 0;
};

// The operations that loading, saving and the editing commands need on top.
// A line added by any means starts unticked.
class EditableRuleList : public RuleList {
public:
    // Both return false, and change nothing, when the list is full.
    virtual bool append(const QString &text) = 0;
    virtual bool insertAtTop(const QString &text) = 0;

    virtual void setTicked(std::int16_t index, bool ticked) = 0;
    // Removing the current entry leaves the list with no current entry.
    virtual void remove(std::int16_t index) = 0;

    // -1 for none.
    virtual std::int16_t currentEntry() const = 0;
    virtual void setCurrentEntry(std::int16_t index) = 0;
};

} // namespace pressbird
