#pragma once

#include "browser.h"

#include <QList>

namespace pressbird {

// Several backends seen as one browser: the windows of the first, then of the
// next, each backend's own order kept. A backend that fails contributes none;
// a window an earlier backend reaches too is walked there only.
class CompositeBrowser final : public Browser {
public:
    explicit CompositeBrowser(QList<Browser *> backends);

    Async<std::unique_ptr<ShellWindows>> createShellWindows() override;
    QList<BrowserState> states() const override;
    Task<> release() override;
    void retry() override;

private:
    Task<std::unique_ptr<ShellWindows>> walk();

    QList<Browser *> m_backends;
};

} // namespace pressbird
