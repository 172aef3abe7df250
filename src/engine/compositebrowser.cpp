#include "compositebrowser.h"

#include <algorithm>
#include <vector>

namespace pressbird {

namespace {
class CollectedWindows final : public ShellWindows {
public:
    explicit CollectedWindows(std::vector<std::unique_ptr<BrowserWindow>> windows)
        : m_windows(std::move(windows)) {}
    Async<std::optional<int>> count() override { return std::optional(int(m_windows.size())); }
    Async<std::unique_ptr<BrowserWindow>> next() override {
        if (m_next >= m_windows.size())
            return std::unique_ptr<BrowserWindow>();
        return std::move(m_windows[m_next++]);
    }

private:
    std::vector<std::unique_ptr<BrowserWindow>> m_windows;
    size_t m_next = 0;
};
} // namespace

CompositeBrowser::CompositeBrowser(QList<Browser *> backends)
    : m_backends(std::move(backends)) {}

Async<std::unique_ptr<ShellWindows>> CompositeBrowser::createShellWindows() {
    return walk();
}

Task<std::unique_ptr<ShellWindows>> CompositeBrowser::walk() {
    std::vector<std::unique_ptr<BrowserWindow>> windows;
    for (qsizetype i = 0; i < m_backends.size(); ++i) {
        const std::unique_ptr<ShellWindows> own = co_await m_backends.at(i)->createShellWindows();
        if (!own)
            continue;
        const int count = (co_await own->count()).value_or(0);
        if (count <= 0)
            continue;
        const auto earlier = m_backends.first(i);
        while (std::unique_ptr<BrowserWindow> window = co_await own->next()) {
            const PageInfo page = window->page();
            if (std::none_of(earlier.cbegin(), earlier.cend(),
                             [&page](const Browser *backend) { return backend->reaches(page); }))
                windows.push_back(std::move(window));
        }
    }
    co_return std::make_unique<CollectedWindows>(std::move(windows));
}

Task<> CompositeBrowser::release() {
    for (Browser *backend : std::as_const(m_backends))
        co_await backend->release();
}

void CompositeBrowser::retry() {
    for (Browser *backend : std::as_const(m_backends))
        backend->retry();
}

QList<BrowserState> CompositeBrowser::states() const {
    QList<BrowserState> all;
    for (const Browser *backend : m_backends)
        all.append(backend->states());
    return all;
}

} // namespace pressbird
