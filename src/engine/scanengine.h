#pragma once

#include "activitylog.h"
#include "async/task.h"
#include "browser.h"
#include "pageoptions.h"
#include "rulematchcache.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <vector>

namespace pressbird {

class Pause;
class PressLimits;
class RuleList;
class RuleOptionsBook;
class Yielder;

// The two passes of a scan over every browser window: links first, then input
// buttons. The passes read the rule lists and the page afresh at every step
// and absorb every failure of the browser. A pass is cancelled by destroying
// its task wherever it waits.
class ScanEngine {
public:
    static constexpr int kMaxLinkIndex = 1000;
    static constexpr int kMaxElementIndex = 10000;
    static constexpr std::int16_t kPauseSeconds = 5;
    // How long today's walk spends on a tab's frames in one pass, at most: a
    // page whose frames answer slowly (busy, or many) cannot hold the scan.
    static constexpr int kTodayFramesMs = 5000;

    ScanEngine(Browser &browser, const RuleList &listClick, const RuleList &listPush,
               Yielder &yielder, Pause &pause);

    Task<> ClickLinks();
    Task<> PushButtons();

    // A dry run: both passes walk as a scan would, reading the ticked rules as
    // they stand, but nothing is pressed and nothing paused; every match is
    // listed, and outlined in its page for outlineMs when that is above 0.
    // Run it on an engine of its own, never on one a scan is using.
    Task<QList<ActivityEntry>> Preview(int outlineMs = 0);

    // What the walks look at from the next document on.
    void setPageOptions(const PageOptions &options) { m_options = options; }
    const PageOptions &pageOptions() const { return m_options; }
    // The pages today's walk stopped short of their end in the latest scan
    // (too many elements or frames), as they stood then.
    QList<PageInfo> cutShortPages() const { return m_cutShortShown; }

    // Each rule's options (sites, limits) and the counts of its presses; a
    // rule without options presses as ever. Either may be nullptr: none.
    void setRuleOptions(const RuleOptionsBook *book, PressLimits *limits) {
        m_ruleOptions = book;
        m_limits = limits;
    }

    // Told of every press, right after the click, before the pause.
    void setPressObserver(std::function<void(const ActivityEntry &)> observer) {
        m_onPress = std::move(observer);
    }

private:
    struct PassTraits;

    // A pass that walked a document to its end and matched nothing. While
    // the document answers every read as it did then (the same version) and
    // the rule list has not changed, walking it again would decide the same.
    struct IdleWalk {
        DocumentVersion version;
        PageOptions options;
        quint64 rulesRevision = 0;
        quint64 optionsRevision = 0;
        quint64 walk = 0; // the latest walk that found the document so
    };
    using IdleKey = std::pair<Collection, quint64>; // the pass, the document's world

    // A window a pass walks, with what was made of it ahead of its walk.
    struct WindowToWalk {
        std::unique_ptr<BrowserWindow> window;
        // Today's walk: its frames, listed once a pass (valid while the
        // window is), those whose documents were made and read ahead, and
        // until when more may be made.
        bool framesListed = false;
        std::unique_ptr<FrameDocuments> frames = {};
        std::deque<FrameDocument> framesAhead = {};
        QDeadlineTimer framesUntil = {};
    };

    Task<> walkWindows(const PassTraits &traits);
    // The first read of every window's document at once, and under today's
    // walk of its frames', before the walk reads them one by one: what it
    // brings is kept by the backend as any read is, and served to the walk
    // while the page stays as it was. Firefox spends less on calls that
    // come together than on the same calls one after another.
    Task<> readAhead(std::vector<WindowToWalk> &windows, const PassTraits &traits);
    Task<> readPageAhead(BrowserWindow &window, const PassTraits &traits,
                         std::shared_ptr<const TextFilter> filter);
    // Lists the window's frames; from then on, its frames' time runs.
    Task<> listFrames(WindowToWalk &window);
    Task<> readFramesAhead(WindowToWalk &window, const PassTraits &traits,
                           std::shared_ptr<const TextFilter> filter);
    Task<> firstRead(Document &document, const PassTraits &traits,
                     std::shared_ptr<const TextFilter> filter);
    std::shared_ptr<const TextFilter> filterOf(const PassTraits &traits) const;
    // Walks one document (a page, or one of its frames) up to maxIndex; gives
    // how many elements its collection holds.
    Task<int> walkElements(Document &document, PageInfo page, QString frame, quint64 load,
                           const PassTraits &traits, int maxIndex);
    // Today's walk of a window: the page, then its frames, within one budget.
    Task<> walkWindow(WindowToWalk &window, Document &document, const PassTraits &traits);
    // Whether the walk of this document may be left out, as it would end as
    // the idle walk remembered did.
    bool stillIdle(const std::optional<DocumentVersion> &version, const PassTraits &traits);
    quint64 optionsRevision() const;

    Browser &m_browser;
    const RuleList &m_listClick;
    const RuleList &m_listPush;
    Yielder &m_yielder;
    Pause &m_pause;
    // The window collection of the latest walk; it lives until the next walk
    // replaces it.
    std::shared_ptr<ShellWindows> m_shellWindows;
    RuleMatchCache m_matcher;
    std::function<void(const ActivityEntry &)> m_onPress;
    const RuleOptionsBook *m_ruleOptions = nullptr;
    PressLimits *m_limits = nullptr;
    QList<ActivityEntry> *m_previewMatches = nullptr; // set while a preview runs
    std::map<IdleKey, IdleWalk> m_idleWalks;
    quint64 m_walks = 0;
    int m_outlineMs = 0;
    PageOptions m_options;
    QList<PageInfo> m_cutShort;      // found by the link pass and the button pass so far
    QList<PageInfo> m_cutShortShown; // of the latest scan's passes
};

} // namespace pressbird
