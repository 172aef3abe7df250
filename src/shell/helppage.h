#pragma once

#include <QUrl>

namespace pressbird {

// Opens an address in the user's default browser.
class UrlOpener {
public:
    virtual ~UrlOpener() = default;
    virtual bool openUrl(const QUrl &url) = 0;
};

class DesktopUrlOpener final : public UrlOpener {
public:
    bool openUrl(const QUrl &url) override;
};

// The help page installed with the program: beside the executable's prefix
// (<prefix>/share/pressbird/help.html) first, then in the XDG data folders.
// An empty URL when none is installed.
QUrl installedHelpPage();

// Helpf: opens the help page; false when there is none or nothing opened it.
bool Helpf(UrlOpener &opener, const QUrl &page);

} // namespace pressbird
