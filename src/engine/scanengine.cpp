#include "scanengine.h"

#include "async/together.h"
#include "presslimits.h"
#include "rulelist.h"
#include "rulematchcache.h"
#include "ruleoptionsbook.h"
#include "waitseconds.h"
#include "yielder.h"

#include <algorithm>

namespace pressbird {

namespace {
// The tag upper-cased is "INPUT". Tags are almost always ASCII, compared
// here without making an upper-cased copy of each of ten thousand.
bool isInputTag(const QString &tag) {
    constexpr QStringView input = u"INPUT";
    bool ascii = true;
    for (const QChar c : tag)
        ascii = ascii && c.unicode() < 0x80;
    if (!ascii)
        return tag.toUpper() == input;
    return tag.size() == input.size() && tag.compare(input, Qt::CaseInsensitive) == 0;
}

// A page whose backend cannot tell its loads counts as one load per address.
quint64 loadOf(const Document &document, const PageInfo &page) {
    if (const std::optional<quint64> load = document.load())
        return *load;
    return quint64(qHash(page.browser + u'\n' + page.address)) | (quint64(1) << 63);
}
} // namespace

// What differs between the link pass and the button pass; the walk is shared.
struct ScanEngine::PassTraits {
    Collection collection;
    const RuleList &rules;
    int maxIndex;
    bool inputElementsOnly;
    bool textIsValue; // Value of an input element, else the link's outertext
    // The link pass yields before every rule; the button pass only before
    // testing a rule against a non-empty value.
    bool yieldBeforeEveryRule;
};

ScanEngine::ScanEngine(Browser &browser, const RuleList &listClick, const RuleList &listPush,
                       Yielder &yielder, Pause &pause)
    : m_browser(browser)
    , m_listClick(listClick)
    , m_listPush(listPush)
    , m_yielder(yielder)
    , m_pause(pause) {}

Task<> ScanEngine::ClickLinks() {
    const PassTraits traits{.collection = Collection::Links,
                            .rules = m_listClick,
                            .maxIndex = kMaxLinkIndex,
                            .inputElementsOnly = false,
                            .textIsValue = false,
                            .yieldBeforeEveryRule = true};
    co_await walkWindows(traits);
}

Task<> ScanEngine::PushButtons() {
    const PassTraits traits{.collection = Collection::All,
                            .rules = m_listPush,
                            .maxIndex = kMaxElementIndex,
                            .inputElementsOnly = true,
                            .textIsValue = true,
                            .yieldBeforeEveryRule = false};
    co_await walkWindows(traits);
}

Task<QList<ActivityEntry>> ScanEngine::Preview(int outlineMs) {
    QList<ActivityEntry> matches;
    // Cleared however the preview ends, cancelled included.
    struct Collecting {
        QList<ActivityEntry> *&into;
        ~Collecting() { into = nullptr; }
    } collecting{m_previewMatches = &matches};
    m_outlineMs = outlineMs;
    co_await ClickLinks();
    co_await PushButtons();
    co_return matches;
}

Task<> ScanEngine::walkWindows(const PassTraits &traits) {
    const quint64 walk = ++m_walks;
    m_shellWindows = co_await m_browser.createShellWindows();
    const std::shared_ptr<ShellWindows> windows = m_shellWindows;
    int count = 0;
    if (windows)
        count = (co_await windows->count()).value_or(0);
    std::vector<WindowToWalk> browserWindows;
    while (count > 0) {
        std::unique_ptr<BrowserWindow> window = co_await windows->next();
        if (!window)
            break;
        const std::optional<QString> name = co_await window->name();
        if (name && *name == kBrowserWindowName)
            browserWindows.push_back({std::move(window)});
    }
    co_await readAhead(browserWindows, traits);
    for (WindowToWalk &window : browserWindows) {
        // A window without a readable document contributes no elements.
        if (std::unique_ptr<Document> document = co_await window.window->document())
            co_await walkWindow(window, *document, traits);
    }
    // The link pass starts a scan's list of pages cut short, the button pass
    // ends it.
    if (traits.collection == Collection::All)
        m_cutShortShown = std::exchange(m_cutShort, {});
    // What this pass did not meet again (a closed tab, a navigated page) goes.
    std::erase_if(m_idleWalks, [&](const auto &entry) {
        return entry.first.first == traits.collection && entry.second.walk != walk;
    });
}

Task<> ScanEngine::walkWindow(WindowToWalk &window, Document &document, const PassTraits &traits) {
    const PageInfo page = window.window->page();
    // A press in a frame counts towards the load of the tab's page.
    const quint64 load = loadOf(document, page);
    if (!m_options.today) {
        co_await walkElements(document, page, QString(), load, traits, traits.maxIndex);
        co_return;
    }
    // One budget for the tab: each frame walks what the page and the frames
    // before it left.
    int left = kTodayElementBudget;
    bool cut = false;
    left -= co_await walkElements(document, page, QString(), load, traits, left - 1);
    cut = document.cutShort(traits.collection);
    // Each frame not made ahead is walked as soon as its document is made:
    // a browser slow to make them spends the tab's time on frames walked,
    // not on frames that would then be left. Those made ahead, within the
    // same time, are walked whatever is left of it. Frames listed ahead are
    // those of the page as it stood before its walk: one its presses add is
    // met by the next pass.
    if (!window.framesListed)
        co_await listFrames(window);
    for (int met = 0; !window.framesAhead.empty() || (window.frames && window.frames->more());
         ++met) {
        if (left <= 0 || met >= BrowserWindow::kMostFrames) {
            cut = true;
            break;
        }
        std::optional<FrameDocument> frame;
        if (!window.framesAhead.empty()) {
            frame = std::move(window.framesAhead.front());
            window.framesAhead.pop_front();
        } else {
            if (!window.framesUntil.hasExpired())
                frame = co_await window.frames->next(window.framesUntil);
            if (!frame) {
                cut = cut || window.frames->more();
                break;
            }
        }
        left -=
            co_await walkElements(*frame->document, page, frame->address, load, traits, left - 1);
        cut = cut || frame->document->cutShort(traits.collection);
    }
    const bool listed = std::any_of(m_cutShort.cbegin(), m_cutShort.cend(), [&](const PageInfo &p) {
        return p.address == page.address && p.browser == page.browser;
    });
    if (cut && !listed)
        m_cutShort.append(page);
}

Task<> ScanEngine::readAhead(std::vector<WindowToWalk> &windows, const PassTraits &traits) {
    const std::shared_ptr<const TextFilter> filter = filterOf(traits);
    std::vector<Task<>> reads;
    for (WindowToWalk &window : windows) {
        if (!window.window->readsAhead())
            continue;
        reads.push_back(readPageAhead(*window.window, traits, filter));
        if (m_options.today)
            reads.push_back(readFramesAhead(window, traits, filter));
    }
    // A lone page's read would only come before its walk's own.
    if (reads.size() > 1)
        co_await together(std::move(reads));
}

Task<> ScanEngine::readPageAhead(BrowserWindow &window, const PassTraits &traits,
                                 std::shared_ptr<const TextFilter> filter) {
    if (const std::unique_ptr<Document> document = co_await window.document())
        co_await firstRead(*document, traits, std::move(filter));
}

Task<> ScanEngine::listFrames(WindowToWalk &window) {
    window.framesListed = true;
    window.framesUntil = QDeadlineTimer(kTodayFramesMs);
    window.frames = co_await window.window->frames();
}

// The frames' documents are made one at a time, as the walk would make them,
// then read together: a made frame's read waits for no other frame's making.
Task<> ScanEngine::readFramesAhead(WindowToWalk &window, const PassTraits &traits,
                                   std::shared_ptr<const TextFilter> filter) {
    co_await listFrames(window);
    std::vector<Task<>> reads;
    while (window.frames && window.frames->more() && !window.framesUntil.hasExpired() &&
           window.framesAhead.size() < std::size_t(BrowserWindow::kMostFrames)) {
        std::optional<FrameDocument> frame = co_await window.frames->next(window.framesUntil);
        if (!frame)
            break;
        reads.push_back(firstRead(*frame->document, traits, filter));
        window.framesAhead.push_back(std::move(*frame));
    }
    co_await together(std::move(reads));
}

Task<> ScanEngine::firstRead(Document &document, const PassTraits &traits,
                             std::shared_ptr<const TextFilter> filter) {
    document.setPageOptions(m_options);
    document.setTextFilter(traits.collection, std::move(filter));
    co_await document.length(traits.collection);
}

std::shared_ptr<const TextFilter> ScanEngine::filterOf(const PassTraits &traits) const {
    return TextFilter::of(traits.rules, traits.textIsValue ? TextFilter::Field::InputValue
                                                           : TextFilter::Field::OuterText);
}

bool ScanEngine::stillIdle(const std::optional<DocumentVersion> &version,
                           const PassTraits &traits) {
    if (!version || m_previewMatches)
        return false;
    const auto found = m_idleWalks.find({traits.collection, version->world});
    if (found == m_idleWalks.end() || found->second.version != *version ||
        found->second.options != m_options ||
        found->second.rulesRevision != traits.rules.revision() ||
        found->second.optionsRevision != optionsRevision())
        return false;
    found->second.walk = m_walks;
    return true;
}

quint64 ScanEngine::optionsRevision() const {
    return m_ruleOptions ? m_ruleOptions->revision() : 0;
}

Task<int> ScanEngine::walkElements(Document &document, PageInfo page, QString frame, quint64 load,
                                   const PassTraits &traits, int maxIndex) {
    const auto readText = [&](int index) {
        return traits.textIsValue ? document.value(traits.collection, index)
                                  : document.outerText(traits.collection, index);
    };

    // The page may leave out what the rules as they stand now cannot match;
    // its word holds only while they stand so.
    const quint64 filterRevision = traits.rules.revision();
    const std::shared_ptr<const TextFilter> filter = filterOf(traits);
    // Options first: the filter and every read after it are the collection's
    // as they choose it.
    const PageOptions options = m_options;
    document.setPageOptions(options);
    document.setTextFilter(traits.collection, filter);
    int count = (co_await document.length(traits.collection)).value_or(0);
    const int held = count;
    const std::optional<DocumentVersion> version = document.version(traits.collection);
    if (stillIdle(version, traits))
        co_return held;
    // Today's button pass reads a value only of what is a control: every
    // element is asked. A page that answered the classic way is read so.
    const bool inputElementsOnly =
        traits.inputElementsOnly && !(options.today && document.walksToday(traits.collection));
    const quint64 rulesRevision = traits.rules.revision();
    const quint64 optionsAtStart = optionsRevision();
    const bool linkList = traits.collection == Collection::Links;
    bool matched = false;
    // The element index never passes the cap, whatever the page's size.
    for (int index = 0; index < count && index <= maxIndex; ++index) {
        co_await m_yielder.yield();
        if (filter && traits.rules.revision() == filterRevision) {
            const std::optional<bool> could =
                co_await document.couldMatch(traits.collection, index);
            if (could && !*could)
                continue;
        }
        if (inputElementsOnly) {
            const std::optional<QString> tag = co_await document.tagName(traits.collection, index);
            if (!tag || !isInputTag(*tag))
                continue;
        }
        for (std::int16_t rule = 0; rule < traits.rules.count(); ++rule) {
            if (traits.yieldBeforeEveryRule)
                co_await m_yielder.yield();
            const std::optional<QString> firstRead = co_await readText(index);
            if (!firstRead || firstRead->isEmpty())
                continue;
            if (!traits.yieldBeforeEveryRule)
                co_await m_yielder.yield();

            // The rule and the text are read again after the yield: either may
            // have changed or gone meanwhile. A text that became empty is not
            // tested, so an element without text is never clicked.
            const std::optional<QString> entry = traits.rules.text(rule);
            const std::optional<bool> ticked = traits.rules.ticked(rule);
            const std::optional<QString> text = co_await readText(index);
            if (!entry || !ticked || !text || text->isEmpty())
                continue;
            if (!m_matcher.RuleMatches(rule, *entry, *ticked, *text))
                continue;
            // A rule kept to other sites does not match here at all.
            const RuleKey key = ruleKeyOf(linkList, *entry);
            const RuleOptions *ruleOptions = m_ruleOptions ? m_ruleOptions->find(key) : nullptr;
            if (ruleOptions && !ruleOptions->allows(page.address))
                continue;
            // A match held back by a limit may press again later (the hour
            // moves on): the walk is not remembered as idle.
            matched = true;
            const std::optional<QString> heldBack =
                ruleOptions && m_limits ? m_limits->heldBack(key, *ruleOptions, load)
                                        : std::nullopt;

            ActivityEntry press{QDateTime::currentDateTime(),
                                traits.collection == Collection::Links,
                                *entry,
                                *text,
                                page.title,
                                page.address,
                                page.browser,
                                {},
                                frame};
            if (m_previewMatches) {
                if (heldBack)
                    press.outcome = QStringLiteral("held back: %1").arg(*heldBack);
                m_previewMatches->append(press);
                if (m_outlineMs > 0)
                    co_await document.outline(traits.collection, index, m_outlineMs);
                continue;
            }
            if (heldBack)
                continue;
            // A press the browser refused is not logged as one; the pause
            // follows it all the same, as after any press.
            const PressResult pressed = co_await document.click(traits.collection, index);
            // Counted now, before the pause, under the options as they stand
            // after the click (they may have changed while it was under way).
            const RuleOptions *optionsNow = m_ruleOptions ? m_ruleOptions->find(key) : nullptr;
            if (pressed && optionsNow && m_limits)
                m_limits->pressed(key, *optionsNow, load);
            if (pressed && m_onPress) {
                press.outcome = outcomeText(pressed.outcome);
                m_onPress(press);
            }
            co_await m_pause.WaitSeconds(kPauseSeconds);
            count = (co_await document.length(traits.collection)).value_or(0);
        }
    }
    // Walked to the end with nothing matched, the page and the rules as they
    // were at the start: the next walk of the same may be left out.
    if (version && !matched && !m_previewMatches &&
        document.version(traits.collection) == version &&
        traits.rules.revision() == rulesRevision && optionsRevision() == optionsAtStart)
        m_idleWalks[{traits.collection, version->world}] = {*version, options, rulesRevision,
                                                            optionsAtStart, m_walks};
    co_return held;
}

} // namespace pressbird
