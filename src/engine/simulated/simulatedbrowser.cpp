#include "simulatedbrowser.h"

namespace pressbird {
namespace {

class SimulatedDocument final : public Document {
public:
    SimulatedDocument(SimulatedBrowser &browser, SimulatedWindowPtr window)
        : m_browser(browser)
        , m_window(std::move(window))
        , m_page(m_window->page) {}

    std::optional<int> length(Collection collection) override {
        if (!enter(SimulatedCall::Length, collection, -1))
            return std::nullopt;
        return static_cast<int>(items(collection).size());
    }

    std::optional<QString> tagName(Collection collection, int index) override {
        const SimulatedElementPtr element = at(SimulatedCall::TagName, collection, index);
        return element ? std::optional(element->tagName) : std::nullopt;
    }

    std::optional<QString> value(Collection collection, int index) override {
        const SimulatedElementPtr element = at(SimulatedCall::Value, collection, index);
        return element ? std::optional(element->value) : std::nullopt;
    }

    std::optional<QString> outerText(Collection collection, int index) override {
        const SimulatedElementPtr element = at(SimulatedCall::OuterText, collection, index);
        return element ? std::optional(element->outerText) : std::nullopt;
    }

    bool click(Collection collection, int index) override {
        const SimulatedElementPtr element = at(SimulatedCall::Click, collection, index);
        if (!element)
            return false;
        ++element->clicks;
        if (element->onClick)
            element->onClick(m_browser, *m_window);
        return true;
    }

private:
    // A document stays bound to the page it was read from: once the window
    // shows another page or is closed, every call fails.
    bool enter(SimulatedCall call, Collection collection, int index) {
        if (!m_browser.enter({call, collection, index}))
            return false;
        return !m_window->closed && m_window->page == m_page && m_page;
    }

    const QList<SimulatedElementPtr> &items(Collection collection) const {
        return collection == Collection::All ? m_page->all() : m_page->links();
    }

    SimulatedElementPtr at(SimulatedCall call, Collection collection, int index) {
        if (!enter(call, collection, index))
            return nullptr;
        const QList<SimulatedElementPtr> &list = items(collection);
        if (index < 0 || index >= list.size())
            return nullptr;
        return list.at(index);
    }

    SimulatedBrowser &m_browser;
    SimulatedWindowPtr m_window;
    SimulatedPagePtr m_page;
};

class SimulatedBrowserWindow final : public BrowserWindow {
public:
    SimulatedBrowserWindow(SimulatedBrowser &browser, SimulatedWindowPtr window)
        : m_browser(browser)
        , m_window(std::move(window)) {}

    std::optional<QString> name() override {
        if (!m_browser.enter({SimulatedCall::Name}) || m_window->closed)
            return std::nullopt;
        return m_window->name;
    }

    std::unique_ptr<Document> document() override {
        if (!m_browser.enter({SimulatedCall::Document}) || m_window->closed || !m_window->page)
            return nullptr;
        return std::make_unique<SimulatedDocument>(m_browser, m_window);
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

    std::optional<int> count() override {
        if (!m_browser.enter({SimulatedCall::Count}))
            return std::nullopt;
        return static_cast<int>(m_windows.size());
    }

    std::unique_ptr<BrowserWindow> next() override {
        if (m_next >= m_windows.size() || !m_browser.enter({SimulatedCall::Next}))
            return nullptr;
        return std::make_unique<SimulatedBrowserWindow>(m_browser, m_windows.at(m_next++));
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

std::unique_ptr<ShellWindows> SimulatedBrowser::createShellWindows() {
    if (!enter({SimulatedCall::CreateShellWindows}))
        return nullptr;
    return std::make_unique<SimulatedShellWindows>(*this, m_windows);
}

bool SimulatedBrowser::enter(const SimulatedCallInfo &info) {
    if (trace)
        trace(info);
    return !(failWhen && failWhen(info));
}

} // namespace pressbird
