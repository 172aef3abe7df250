#pragma once

#include "browser.h"
#include "rulematchcache.h"

#include <cstdint>
#include <memory>

namespace pressbird {

class Pause;
class RuleList;
class Yielder;

// The two passes of a scan over every browser window: links first, then input
// buttons. The passes read the rule lists and the page afresh at every step
// and absorb every failure of the browser.
class ScanEngine {
public:
    static constexpr int kMaxLinkIndex = 1000;
    static constexpr int kMaxElementIndex = 10000;
    static constexpr std::int16_t kPauseSeconds = 5;

    ScanEngine(Browser &browser, const RuleList &listClick, const RuleList &listPush,
               Yielder &yielder, Pause &pause);

    void ClickLinks();
    void PushButtons();

    // Makes a running pass return at its next yield; used when the program ends
    // in the middle of a scan. Stays in force until cleared.
    void setStopRequested(bool stop);
    bool stopRequested() const { return m_stopRequested; }

private:
    struct PassTraits;

    void walkWindows(const PassTraits &traits);
    void walkElements(Document &document, const PassTraits &traits);
    bool yieldAndContinue();

    Browser &m_browser;
    const RuleList &m_listClick;
    const RuleList &m_listPush;
    Yielder &m_yielder;
    Pause &m_pause;
    // The window collection of the latest walk; it lives until the next walk
    // replaces it.
    std::shared_ptr<ShellWindows> m_shellWindows;
    RuleMatchCache m_matcher;
    bool m_stopRequested = false;
};

} // namespace pressbird
