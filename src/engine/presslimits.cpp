#include "presslimits.h"

#include <QElapsedTimer>

#include <algorithm>

namespace pressbird {

PressLimits::PressLimits(Now now)
    : m_now(std::move(now)) {
    if (!m_now) {
        m_now = [clock = std::make_shared<QElapsedTimer>()] {
            if (!clock->isValid())
                clock->start();
            // Starts an hour on, so the first hour's presses count as they should.
            return clock->elapsed() + kHourMs;
        };
    }
}

std::optional<QString> PressLimits::heldBack(const RuleKey &rule, const RuleOptions &options,
                                             quint64 load) const {
    if (options.perLoad > 0) {
        const auto found = m_loads.find({rule, load});
        if (found != m_loads.end() && found->second.presses >= options.perLoad)
            return QStringLiteral("%1 per load").arg(options.perLoad);
    }
    if (options.perHour > 0 && pressesInLastHour(rule, m_now()) >= options.perHour)
        return QStringLiteral("%1 per hour").arg(options.perHour);
    return std::nullopt;
}

void PressLimits::pressed(const RuleKey &rule, const RuleOptions &options, quint64 load) {
    const qint64 nowMs = m_now();
    if (options.perLoad > 0) {
        LoadCount &count = m_loads[{rule, load}];
        ++count.presses;
        count.lastMs = nowMs;
        forgetOldLoads(nowMs);
    }
    if (options.perHour > 0) {
        std::deque<qint64> &times = m_hours[rule];
        times.push_back(nowMs);
        while (times.size() > std::size_t(options.perHour))
            times.pop_front();
    }
}

int PressLimits::pressesInLastHour(const RuleKey &rule, qint64 nowMs) const {
    const auto found = m_hours.find(rule);
    if (found == m_hours.end())
        return 0;
    return int(std::count_if(found->second.cbegin(), found->second.cend(),
                             [nowMs](qint64 ms) { return nowMs - ms < kHourMs; }));
}

void PressLimits::forgetOldLoads(qint64 nowMs) {
    std::erase_if(m_loads, [nowMs](const auto &entry) {
        return nowMs - entry.second.lastMs > kForgetLoadMs;
    });
    while (m_loads.size() > kMostLoads) {
        const auto oldest =
            std::min_element(m_loads.begin(), m_loads.end(), [](const auto &a, const auto &b) {
                return a.second.lastMs < b.second.lastMs;
            });
        m_loads.erase(oldest);
    }
}

} // namespace pressbird
