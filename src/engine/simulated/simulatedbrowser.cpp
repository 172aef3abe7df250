#include "simulatedbrowser.h"

#include "rulematches.h"

#include <algorithm>
#include <array>

namespace pressbird {
namespace {

class SimulatedDocument final : public Document {
public:
    // The window's page, or one of its frames.
    SimulatedDocument(SimulatedBrowser &browser, SimulatedWindowPtr window,
                      SimulatedPagePtr page = nullptr)
        : m_browser(browser)
        , m_window(std::move(window))
        , m_top(m_window->page)
        , m_page(page ? std::move(page) : m_top) {}

    Async<std::optional<int>> length(Collection collection) override {
        return m_browser.answer<std::optional<int>>(
            {SimulatedCall::Length, collection, -1}, [this, collection]() -> std::optional<int> {
                if (!usable())
                    return std::nullopt;
                return static_cast<int>(items(collection).size());
            });
    }

    void setPageOptions(const PageOptions &options) override { m_options = options; }
    bool cutShort(Collection) const override {
        return m_page && m_page->cutShortWhenToday && m_options.today;
    }

    std::optional<DocumentVersion> version(Collection) const override {
        if (!m_page || !m_page->generation)
            return std::nullopt;
        return DocumentVersion{quint64(quintptr(m_page.get())), *m_page->generation};
    }
    std::optional<quint64> load() const override {
        if (!m_page)
            return std::nullopt;
        return quint64(quintptr(m_page.get())) ^ (quint64(m_page->reloads) << 56);
    }

    Async<std::optional<QString>> tagName(Collection collection, int index) override {
        return read(SimulatedCall::TagName, collection, index, &SimulatedElement::tagName);
    }

    Async<std::optional<QString>> value(Collection collection, int index) override {
        return read(SimulatedCall::Value, collection, index, &SimulatedElement::value);
    }

    Async<std::optional<QString>> outerText(Collection collection, int index) override {
        return read(SimulatedCall::OuterText, collection, index, &SimulatedElement::outerText);
    }

    Async<PressResult> click(Collection collection, int index) override {
        return m_browser.answer<PressResult>(
            {SimulatedCall::Click, collection, index}, [this, collection, index] {
                const SimulatedElementPtr element = at(collection, index);
                if (!element)
                    return PressResult{};
                ++element->clicks;
                if (element->onClick)
                    element->onClick(m_browser, *m_window);
                return PressResult{element->outcome};
            });
    }

    void setTextFilter(Collection collection, std::shared_ptr<const TextFilter> filter) override {
        m_filters[collection == Collection::Links] = std::move(filter);
    }

    Async<std::optional<bool>> couldMatch(Collection collection, int index) override {
        const std::shared_ptr<const TextFilter> filter = m_filters[collection == Collection::Links];
        if (!filter || !m_page || !m_page->testsFilters)
            return std::optional<bool>();
        return m_browser.answer<std::optional<bool>>(
            {SimulatedCall::CouldMatch, collection, index},
            [this, collection, index, filter]() -> std::optional<bool> {
                const SimulatedElementPtr element = at(collection, index);
                if (!usable() || !element)
                    return std::nullopt;
                const bool input = filter->field == TextFilter::Field::InputValue;
                if (input && element->tagName.toUpper() != u"INPUT")
                    return false;
                const QString &raw = input ? element->value : element->outerText;
                if (raw.isEmpty())
                    return false;
                const QString text = NormalizeElementText(raw);
                return std::any_of(filter->rules.cbegin(), filter->rules.cend(),
                                   [&](const TextFilter::Rule &rule) {
                                       return Matches({rule.kind, rule.pattern}, text);
                                   });
            });
    }

private:
    // A document stays bound to the page it was read from: once the window
    // shows another page or is closed, every call fails.
    bool usable() const { return !m_window->closed && m_window->page == m_top && m_page; }

    Async<std::optional<QString>> read(SimulatedCall call, Collection collection, int index,
                                       QString SimulatedElement::*member) {
        return m_browser.answer<std::optional<QString>>(
            {call, collection, index},
            [this, collection, index, member]() -> std::optional<QString> {
                const SimulatedElementPtr element = at(collection, index);
                return element ? std::optional((*element).*member) : std::nullopt;
            });
    }

    const QList<SimulatedElementPtr> &items(Collection collection) const {
        return collection == Collection::All ? m_page->all() : m_page->links();
    }

    SimulatedElementPtr at(Collection collection, int index) {
        if (!usable())
            return nullptr;
        const QList<SimulatedElementPtr> &list = items(collection);
        if (index < 0 || index >= list.size())
            return nullptr;
        return list.at(index);
    }

    SimulatedBrowser &m_browser;
    SimulatedWindowPtr m_window;
    SimulatedPagePtr m_top;
    SimulatedPagePtr m_page;
    PageOptions m_options;
    std::array<std::shared_ptr<const TextFilter>, 2> m_filters;
};

// The frames of the page a window showed when asked; each document is made
// by a call of its own, which a test can slow down or fail.
class SimulatedFrames final : public FrameDocuments {
public:
    SimulatedFrames(SimulatedBrowser &browser, SimulatedWindowPtr window)
        : m_browser(browser)
        , m_window(std::move(window))
        , m_top(m_window->page)
        , m_frames(m_top->frames) {}

    Async<std::optional<FrameDocument>> next(QDeadlineTimer until) override {
        return nextOf(until);
    }
    bool more() const override { return m_next < m_frames.size(); }

private:
    Task<std::optional<FrameDocument>> nextOf(QDeadlineTimer until) {
        while (more() && !until.hasExpired()) {
            const int index = int(m_next);
            const SimulatedPagePtr frame = m_frames.at(m_next++);
            const auto make = [this, frame]() -> std::optional<FrameDocument> {
                if (m_window->closed || m_window->page != m_top)
                    return std::nullopt;
                return FrameDocument{frame->address, std::make_unique<SimulatedDocument>(
                                                         m_browser, m_window, frame)};
            };
            // Named, not temporaries of the co_await: GCC 12 destroyed the
            // lambda's captures twice there.
            Async<std::optional<FrameDocument>> making =
                m_browser.answer<std::optional<FrameDocument>>(
                    {SimulatedCall::FrameDocument, Collection::All, index}, make);
            std::optional<FrameDocument> made = co_await making;
            if (made)
                co_return made;
        }
        co_return std::nullopt;
    }

    SimulatedBrowser &m_browser;
    SimulatedWindowPtr m_window;
    SimulatedPagePtr m_top;
    QList<SimulatedPagePtr> m_frames;
    qsizetype m_next = 0;
};

class SimulatedBrowserWindow final : public BrowserWindow {
public:
    SimulatedBrowserWindow(SimulatedBrowser &browser, SimulatedWindowPtr window)
        : m_browser(browser)
        , m_window(std::move(window)) {}

    PageInfo page() const override { return m_window->info; }
    bool readsAhead() const override { return m_window->readsAhead; }

    Async<std::optional<QString>> name() override {
        return m_browser.answer<std::optional<QString>>({SimulatedCall::Name},
                                                        [this]() -> std::optional<QString> {
                                                            if (m_window->closed)
                                                                return std::nullopt;
                                                            return m_window->name;
                                                        });
    }

    Async<std::unique_ptr<Document>> document() override {
        return m_browser.answer<std::unique_ptr<Document>>(
            {SimulatedCall::Document}, [this]() -> std::unique_ptr<Document> {
                if (m_window->closed || !m_window->page)
                    return nullptr;
                return std::make_unique<SimulatedDocument>(m_browser, m_window);
            });
    }

    Async<std::unique_ptr<FrameDocuments>> frames() override {
        if (m_window->closed || !m_window->page || m_window->page->frames.isEmpty())
            return std::unique_ptr<FrameDocuments>();
        return std::unique_ptr<FrameDocuments>(
            std::make_unique<SimulatedFrames>(m_browser, m_window));
    }

private:
    SimulatedBrowser &m_browser;
    SimulatedWindowPtr m_window;
};

class SimulatedShellWindows final : public ShellWindows {
public:
    SimulatedShellWindows(SimulatedBrowser &browser, QList<SimulatedWindowPtr> windows)
        : m_browser(browser)
        , m_windows(std::move(windows)) {}

    Async<std::optional<int>> count() override {
        return m_browser.answer<std::optional<int>>(
            {SimulatedCall::Count}, [this] { return std::optional(int(m_windows.size())); });
    }

    Async<std::unique_ptr<BrowserWindow>> next() override {
        if (m_next >= m_windows.size())
            return std::unique_ptr<BrowserWindow>();
        return m_browser.answer<std::unique_ptr<BrowserWindow>>(
            {SimulatedCall::Next}, [this]() -> std::unique_ptr<BrowserWindow> {
                if (m_next >= m_windows.size())
                    return nullptr;
                return std::make_unique<SimulatedBrowserWindow>(m_browser, m_windows.at(m_next++));
            });
    }

private:
    SimulatedBrowser &m_browser;
    QList<SimulatedWindowPtr> m_windows;
    qsizetype m_next = 0;
};

} // namespace

SimulatedElementPtr SimulatedPage::add(SimulatedElementPtr element, bool isLink) {
    m_all.append(element);
    if (isLink)
        m_links.append(element);
    return element;
}

SimulatedElementPtr SimulatedPage::addLink(const QString &text) {
    auto element = std::make_shared<SimulatedElement>();
    element->tagName = QStringLiteral("A");
    element->outerText = text;
    return add(std::move(element), true);
}

SimulatedElementPtr SimulatedPage::addInput(const QString &value) {
    auto element = std::make_shared<SimulatedElement>();
    element->tagName = QStringLiteral("INPUT");
    element->value = value;
    return add(std::move(element), false);
}

SimulatedElementPtr SimulatedPage::addElement(const QString &tagName, const QString &text) {
    auto element = std::make_shared<SimulatedElement>();
    element->tagName = tagName;
    element->outerText = text;
    return add(std::move(element), false);
}

void SimulatedPage::removeElement(const SimulatedElementPtr &element) {
    m_all.removeAll(element);
    m_links.removeAll(element);
}

SimulatedWindowPtr SimulatedBrowser::addWindow(SimulatedPagePtr page, const QString &name) {
    auto window = std::make_shared<SimulatedWindow>();
    window->name = name;
    window->page = std::move(page);
    m_windows.append(window);
    return window;
}

void SimulatedBrowser::closeWindow(const SimulatedWindowPtr &window) {
    window->closed = true;
    m_windows.removeAll(window);
}

void SimulatedBrowser::navigate(SimulatedWindow &window, SimulatedPagePtr page) {
    window.page = std::move(page);
}

Async<std::unique_ptr<ShellWindows>> SimulatedBrowser::createShellWindows() {
    return answer<std::unique_ptr<ShellWindows>>({SimulatedCall::CreateShellWindows}, [this] {
        return std::make_unique<SimulatedShellWindows>(*this, m_windows);
    });
}

} // namespace pressbird
