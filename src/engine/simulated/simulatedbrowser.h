#pragma once

#include "async/notifier.h"
#include "browser.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace pressbird {

class SimulatedBrowser;
struct SimulatedWindow;

// A browser held in memory for tests, benchmarks and the demo: windows with
// names, pages with elements, clicks that can change anything, and a hook
// that makes any call fail.
struct SimulatedElement {
    QString tagName;
    QString value;
    QString outerText;
    int clicks = 0;
    PressOutcome outcome = PressOutcome::Pressed; // what a click answers
    std::function<void(SimulatedBrowser &, SimulatedWindow &)> onClick;
};
using SimulatedElementPtr = std::shared_ptr<SimulatedElement>;

class SimulatedPage {
public:
    SimulatedElementPtr addLink(const QString &text);
    SimulatedElementPtr addInput(const QString &value);
    SimulatedElementPtr addElement(const QString &tagName, const QString &text = {});
    void removeElement(const SimulatedElementPtr &element);

    const QList<SimulatedElementPtr> &all() const { return m_all; }
    const QList<SimulatedElementPtr> &links() const { return m_links; }

    // The page's change counter, as a real page keeps one; none by default,
    // and its elements change without moving it: a test sets it to say that
    // nothing changed between two walks, and moves it when something did.
    std::optional<qint64> generation;
    // Tests the walk's text filter itself, as a real page does, with the
    // engine's own test of its rules; off by default: nothing is left out.
    bool testsFilters = false;
    // Today's walk of the page stops at its budget before its end.
    bool cutShortWhenToday = false;
    // The page's frames in tree order, for today's walk; each frame is a
    // page of its own, at `address`.
    QList<std::shared_ptr<SimulatedPage>> frames;
    QString address;
    // Moved by a test to reload the page: the same elements, another load.
    int reloads = 0;

private:
    SimulatedElementPtr add(SimulatedElementPtr element, bool isLink);

    QList<SimulatedElementPtr> m_all;
    QList<SimulatedElementPtr> m_links;
};
using SimulatedPagePtr = std::shared_ptr<SimulatedPage>;

struct SimulatedWindow {
    QString name = kBrowserWindowName.toString();
    PageInfo info;         // title and address as a real browser would tell them
    SimulatedPagePtr page; // nullptr: no document
    bool closed = false;
    // Read ahead, as the windows of a browser that keeps its reads are.
    bool readsAhead = false;
};
using SimulatedWindowPtr = std::shared_ptr<SimulatedWindow>;

// Every call the scan can make, for failure hooks and traces.
enum class SimulatedCall {
    CreateShellWindows,
    Count,
    Next,
    Name,
    Document,
    FrameDocument, // making the document of one frame
    Length,
    TagName,
    Value,
    OuterText,
    Click,
    CouldMatch,
};

struct SimulatedCallInfo {
    SimulatedCall call;
    Collection collection = Collection::All;
    int index = -1;
};

class SimulatedBrowser final : public Browser {
public:
    SimulatedWindowPtr addWindow(SimulatedPagePtr page,
                                 const QString &name = kBrowserWindowName.toString());
    void closeWindow(const SimulatedWindowPtr &window);
    // The window shows another page; documents read before then fail.
    static void navigate(SimulatedWindow &window, SimulatedPagePtr page);

    const QList<SimulatedWindowPtr> &windows() const { return m_windows; }

    // Return true to make that call fail.
    std::function<bool(const SimulatedCallInfo &)> failWhen;
    // Sees every call, failing or not, in the order they are answered.
    std::function<void(const SimulatedCallInfo &)> trace;
    // How many milliseconds the browser takes to answer a call; none: at once.
    std::function<int(const SimulatedCallInfo &)> answerDelayMs;

    Async<std::unique_ptr<ShellWindows>> createShellWindows() override;

    // How the windows and documents of this browser answer: traced, failed
    // when failWhen says so, late when answerDelayMs says so, and otherwise
    // with what compute() finds at the moment of answering.
    template<typename T, typename Compute>
    Async<T> answer(SimulatedCallInfo info, Compute compute) {
        if (!trace && !failWhen && !answerDelayMs)
            return compute(); // what benchmarks and most tests ask for
        if (const int delay = delayOf(info); delay > 0)
            return answerLate<T>(info, std::move(compute), delay);
        if (!enter(info))
            return T{};
        return compute();
    }

private:
    template<typename T, typename Compute>
    Task<T> answerLate(SimulatedCallInfo info, Compute compute, int delayMs) {
        co_await m_lateAnswers.wait(delayMs);
        if (!enter(info))
            co_return T{};
        co_return compute();
    }
    bool enter(const SimulatedCallInfo &info) {
        if (trace)
            trace(info);
        return !(failWhen && failWhen(info));
    }
    int delayOf(const SimulatedCallInfo &info) const {
        return answerDelayMs ? answerDelayMs(info) : 0;
    }

    QList<SimulatedWindowPtr> m_windows;
    Notifier m_lateAnswers;
};

} // namespace pressbird
