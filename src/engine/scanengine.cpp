#include "scanengine.h"

#include "rulelist.h"
#include "rulematchcache.h"
#include "waitseconds.h"
#include "yielder.h"

namespace pressbird {

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

void ScanEngine::ClickLinks() {
    walkWindows({Collection::Links, m_listClick, kMaxLinkIndex, false, false, true});
}

void ScanEngine::PushButtons() {
    walkWindows({Collection::All, m_listPush, kMaxElementIndex, true, true, false});
}

void ScanEngine::setStopRequested(bool stop) {
    m_stopRequested = stop;
    m_pause.setStopRequested(stop);
}

bool ScanEngine::yieldAndContinue() {
    m_yielder.yield();
    return !m_stopRequested;
}

void ScanEngine::walkWindows(const PassTraits &traits) {
    if (m_stopRequested)
        return;
    m_shellWindows = m_browser.createShellWindows();
    const std::shared_ptr<ShellWindows> windows = m_shellWindows;
    if (!windows || windows->count().value_or(0) <= 0)
        return;

    while (std::unique_ptr<BrowserWindow> window = windows->next()) {
        const std::optional<QString> name = window->name();
        if (!name || *name != kBrowserWindowName)
            continue;
        // A window without a readable document contributes no elements.
        if (std::unique_ptr<Document> document = window->document())
            walkElements(*document, traits);
        if (m_stopRequested)
            return;
    }
}

void ScanEngine::walkElements(Document &document, const PassTraits &traits) {
    const auto readText = [&](int index) {
        return traits.textIsValue ? document.value(traits.collection, index)
                                  : document.outerText(traits.collection, index);
    };

    int count = document.length(traits.collection).value_or(0);
    // The element index never passes the cap, whatever the page's size.
    for (int index = 0; index < count && index <= traits.maxIndex; ++index) {
        if (!yieldAndContinue())
            return;
        if (traits.inputElementsOnly) {
            const std::optional<QString> tag = document.tagName(traits.collection, index);
            if (!tag || tag->toUpper() != u"INPUT")
                continue;
        }
        for (std::int16_t rule = 0; rule < traits.rules.count(); ++rule) {
            if (traits.yieldBeforeEveryRule && !yieldAndContinue())
                return;
            const std::optional<QString> firstRead = readText(index);
            if (!firstRead || firstRead->isEmpty())
                continue;
            if (!traits.yieldBeforeEveryRule && !yieldAndContinue())
                return;

            // The rule and the text are read again after the yield: either may
            // have changed or gone meanwhile. A text that became empty is not
            // tested, so an element without text is never clicked.
            const std::optional<QString> entry = traits.rules.text(rule);
            const std::optional<bool> ticked = traits.rules.ticked(rule);
            const std::optional<QString> text = readText(index);
            if (!entry || !ticked || !text || text->isEmpty())
                continue;
            if (!m_matcher.RuleMatches(rule, *entry, *ticked, *text))
                continue;

            document.click(traits.collection, index);
            m_pause.WaitSeconds(kPauseSeconds);
            if (m_stopRequested)
                return;
            count = document.length(traits.collection).value_or(0);
        }
    }
}

} // namespace pressbird
