#pragma once

#include <QString>

#include <memory>
#include <optional>

namespace pressbird {

// The browser as the scan sees it: a collection of open windows, each with
// a name and a top-level document whose elements are reached by index.
// Every call may fail at any moment (a window closing, a page replaced, an
// element removed, a browser that stops answering) and says so through its
// result; none throws. A backend may make each call a round trip to another
// process, as long as the call keeps the user interface responsive while it
// waits and gives up after a bounded time.

// The name that marks a window as a browser window to walk.
inline constexpr QStringView kBrowserWindowName = u"Microsoft Internet Explorer";

// The two collections of a document.
enum class Collection {
    All,   // every element, of every tag, in document order
    Links, // the document's links
};

class Document {
public:
    virtual ~Document() = default;

    // `Length` of the collection.
    virtual std::optional<int> length(Collection collection) = 0;
    // Members of the element at a 0-based index of the collection, fetched anew
    // for each call: after the page changes the index may denote another element.
    virtual std::optional<QString> tagName(Collection collection, int index) = 0;
    virtual std::optional<QString> value(Collection collection, int index) = 0;
    virtual std::optional<QString> outerText(Collection collection, int index) = 0;
    // Presses the element as a user would. False when the call failed.
    virtual bool click(Collection collection, int index) = 0;
};

class BrowserWindow {
public:
    virtual ~BrowserWindow() = default;

    virtual std::optional<QString> name() = 0;
    // The top-level document of the page shown now; nullptr when none can be read.
    // The object stays valid after the page navigates; its calls then fail.
    virtual std::unique_ptr<Document> document() = 0;
};

// A snapshot of the open windows, enumerated once, in the browser's order.
class ShellWindows {
public:
    virtual ~ShellWindows() = default;

    virtual std::optional<int> count() = 0;
    // The next window, or nullptr when the enumeration is exhausted or failed.
    virtual std::unique_ptr<BrowserWindow> next() = 0;
};

// Where window collections come from.
class Browser {
public:
    virtual ~Browser() = default;

    virtual std::unique_ptr<ShellWindows> createShellWindows() = 0;
};

} // namespace pressbird
