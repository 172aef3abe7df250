#pragma once

#include <QList>
#include <QString>

namespace pressbird {

// How the Pressbird Connector gets into one browser family, and how it stands.
struct ExtensionRoute {
    QString family;           // "Chromium", "Microsoft Edge", "Google Chrome", "Firefox"
    QString state;            // in the user's words: "extension installed, connected", ...
    bool installable = false; // install() can put it in place for this user
};

// What the Browsers window shows of the Connector per browser family, and its
// Install buttons. The backend that knows the browsers' folders implements it.
class ExtensionInstaller {
public:
    virtual ~ExtensionInstaller() = default;

    virtual QList<ExtensionRoute> routes() const = 0;
    // Puts the extension in place for a family; what to tell the user (with
    // what to do next, or why it failed).
    virtual QString install(const QString &family) = 0;
};

} // namespace pressbird
