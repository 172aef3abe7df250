#pragma once

#include "ruleoptions.h"

#include <QString>

#include <deque>
#include <functional>
#include <map>
#include <optional>

namespace pressbird {

// How often each rule has pressed, for the limits of its options: per load
// of a page, and in the last hour. Kept in memory: a restart starts them
// afresh. One is shared by the scan and the preview, so the preview tells
// what the next scan would hold back.
class PressLimits {
public:
    // Milliseconds on a clock that never goes back.
    using Now = std::function<qint64()>;
    static constexpr qint64 kHourMs = 60 * 60 * 1000;
    // Loads not pressed on for this long are forgotten, and the oldest go
    // first past kMostLoads: a tab left for a day counts afresh.
    static constexpr qint64 kForgetLoadMs = 24 * kHourMs;
    static constexpr std::size_t kMostLoads = 10000;

    explicit PressLimits(Now now = {});

    // Why one more press of the rule on this load is held back ("2 per
    // load"), or nullopt when it may press.
    std::optional<QString> heldBack(const RuleKey &rule, const RuleOptions &options,
                                    quint64 load) const;
    // The rule pressed on this load.
    void pressed(const RuleKey &rule, const RuleOptions &options, quint64 load);

private:
    struct LoadCount {
        int presses = 0;
        qint64 lastMs = 0;
    };
    using LoadKey = std::pair<RuleKey, quint64>;

    int pressesInLastHour(const RuleKey &rule, qint64 nowMs) const;
    void forgetOldLoads(qint64 nowMs);

    Now m_now;
    std::map<LoadKey, LoadCount> m_loads;
    // Each rule's latest presses, as many as its hourly limit counts.
    std::map<RuleKey, std::deque<qint64>> m_hours;
};

} // namespace pressbird
