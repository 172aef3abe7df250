#pragma once

#include "async/async.h"
#include "pageoptions.h"
#include "textfilter.h"

#include <QDeadlineTimer>
#include <QList>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

namespace pressbird {

// The browser as the scan sees it: a collection of open windows, each with
// a name and a top-level document whose elements are reached by index.
// Every call may fail at any moment (a window closing, a page replaced, an
// element removed, a browser that stops answering) and says so through its
// result; none throws. Every call is awaited: a backend answers at once when
// it can, or suspends the caller for a round trip to another process and
// gives up after a bounded time. The caller's frame may be destroyed while it
// waits (the scan was cancelled); the backend must then forget the caller.

// The name that marks a window as a browser window to walk.
inline constexpr QStringView kBrowserWindowName = u"Microsoft Internet Explorer";

// The two collections of a document.
enum class Collection {
    All,   // every element, of every tag, in document order
    Links, // the document's links
};

// Names a state of a document's collection: two equal versions promise equal
// answers to every read of that collection (the page has not changed in
// between), so what was decided on the one holds for the other.
struct DocumentVersion {
    quint64 world = 0;     // which reading of which document
    qint64 generation = 0; // the page's change counter
    friend bool operator==(const DocumentVersion &, const DocumentVersion &) = default;
};

// What a press led to, as far as the backend can tell when it answers.
enum class PressOutcome {
    Failed,       // the call failed: nothing is known to have been pressed
    Pressed,      // pressed; nothing more is known
    OpenedTab,    // it opened a tab or window, as a person's click would
    OpenedDialog, // a dialog (alert, confirm, prompt, leave page) now waits for the user
    Blocked,      // the browser held back the tab or window it would have opened
};

struct PressResult {
    PressOutcome outcome = PressOutcome::Failed;
    explicit operator bool() const { return outcome != PressOutcome::Failed; }
    friend bool operator==(const PressResult &, const PressResult &) = default;
};

// The activity log's word for an outcome; empty for a plain press.
QString outcomeText(PressOutcome outcome);

class Document {
public:
    virtual ~Document() = default;

    // `Length` of the collection.
    virtual Async<std::optional<int>> length(Collection collection) = 0;
    // Members of the element at a 0-based index of the collection, fetched anew
    // for each call: after the page changes the index may denote another element.
    virtual Async<std::optional<QString>> tagName(Collection collection, int index) = 0;
    virtual Async<std::optional<QString>> value(Collection collection, int index) = 0;
    virtual Async<std::optional<QString>> outerText(Collection collection, int index) = 0;
    // Presses the element as a user would: what it led to, Failed when the
    // call failed.
    virtual Async<PressResult> click(Collection collection, int index) = 0;
    // Outlines the element in its page for about ms milliseconds, so a user
    // sees what a rule matches; false where the backend cannot.
    virtual Async<bool> outline(Collection, int, int) { return false; }
    // The collection's state as its latest length read or read found it;
    // nullopt where the backend cannot tell, the page has changed since, or a
    // read of this document failed.
    virtual std::optional<DocumentVersion> version(Collection) const { return std::nullopt; }
    // Which load of its page this document is: the same for every read of
    // one load, another after a navigation or a reload; nullopt where the
    // backend cannot tell.
    virtual std::optional<quint64> load() const { return std::nullopt; }

    // The rules the walk of a collection tests next, from its length read
    // on: a backend whose page can test them may leave out the texts no rule
    // of the filter could match. nullptr: read everything.
    virtual void setTextFilter(Collection, std::shared_ptr<const TextFilter>) {}
    // Whether the filter's field of the element could match a rule of the
    // filter set for the collection: false when the page found it none,
    // empty or matched by none. nullopt where the document cannot tell: the
    // element is read and tested as ever.
    virtual Async<std::optional<bool>> couldMatch(Collection, int) { return std::optional<bool>(); }

    // What the collections hold from the next length read on: the classic
    // ones, or today's walk (buttons of every kind, role="link", open shadow
    // roots, up to a budget of elements), and whether only what a person
    // could see has a value or text. A backend that cannot walk today's
    // pages keeps the classic collections.
    virtual void setPageOptions(const PageOptions &) {}
    // The latest length read found the walk stopped at its budget of elements.
    virtual bool cutShort(Collection) const { return false; }
    // The latest length read was answered by today's walk: its button pass
    // values are controls' texts, none for any other element. A page that
    // answered the classic way (an extension of an earlier release) is read
    // as the classic collections, whatever was asked.
    virtual bool walksToday(Collection) const { return false; }
};

// A frame of a page and its document, for today's walk.
struct FrameDocument {
    QString address;
    std::unique_ptr<Document> document;
};

// The frames of a page, nested ones too, in tree order (the top-level
// document not among them), at most BrowserWindow::kMostFrames. Each
// document is made only when asked for: making one can cost the browser as
// much as reading it, and a walk out of time makes no more. Valid while the
// window that gave it is.
class FrameDocuments {
public:
    virtual ~FrameDocuments() = default;
    // The next frame whose document can be read; nullopt after the last, and
    // once `until` has passed.
    virtual Async<std::optional<FrameDocument>> next(QDeadlineTimer until) = 0;
    // Frames may be left that next() has not given.
    virtual bool more() const = 0;
};

// What a window shows and where it lives, as the browser last told it.
struct PageInfo {
    QString title;
    QString address;
    QString browser; // the browser or endpoint the window belongs to
};

class BrowserWindow {
public:
    virtual ~BrowserWindow() = default;

    // Known without a call of its own; empty where the backend cannot tell.
    virtual PageInfo page() const { return {}; }

    virtual Async<std::optional<QString>> name() = 0;
    // The top-level document of the page shown now; nullptr when none can be read.
    // The object stays valid after the page navigates; its calls then fail.
    virtual Async<std::unique_ptr<Document>> document() = 0;
    // The frames of the page shown now, as document() gave it; nullptr where
    // the backend reaches no frames.
    virtual Async<std::unique_ptr<FrameDocuments>> frames() {
        return std::unique_ptr<FrameDocuments>();
    }
    static constexpr int kMostFrames = 100;
    // Whether its document keeps what a read brings for the reads after it
    // (a browser that answers from a distance does): the engine then reads
    // every such window's document at once before walking them one by one.
    virtual bool readsAhead() const { return false; }
};

// A snapshot of the open windows, enumerated once, in the browser's order.
class ShellWindows {
public:
    virtual ~ShellWindows() = default;

    virtual Async<std::optional<int>> count() = 0;
    // The next window, or nullptr when the enumeration is exhausted or failed.
    virtual Async<std::unique_ptr<BrowserWindow>> next() = 0;
};

// How one browser or endpoint stood at the last walk, for the user to see.
struct BrowserState {
    QString browser; // what the user knows it by: an address, a profile
    QString state;   // "connected", "unreachable", ... in the user's words
    int tabs = 0;    // windows reached, when connected
};

// Where window collections come from.
class Browser {
public:
    virtual ~Browser() = default;

    virtual Async<std::unique_ptr<ShellWindows>> createShellWindows() = 0;
    // Every browser known at the last walk; none where the backend cannot tell.
    virtual QList<BrowserState> states() const { return {}; }
    // The program ends: lets go of what a browser keeps for it (a session only
    // one client may hold), each with a short time-out. No scan runs by then.
    virtual Task<> release() { co_return; }
    // The user asks again for browsers that refused (a denied prompt, say).
    virtual void retry() {}
    // Whether the window another backend describes is one this backend
    // reached at its last walk too (two ways into one browser): it is then
    // walked once, through this backend.
    virtual bool reaches(const PageInfo &) const { return false; }
};

} // namespace pressbird
