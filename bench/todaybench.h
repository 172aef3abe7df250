#pragma once

// What the benchmarks of today's walk share: the page (bench/today), the
// in-page floor that pierces the same shadow roots and frames, and the
// figures of a backend's scans under both walks.

#include "awaitonloop.h"
#include "browserbench.h"

#include <QTest>
#include <QTextStream>

#include <functional>
#include <numeric>

namespace pressbird::bench {

// The walk both of today's passes make, rules included, as one evaluation:
// every element of the document, of its open shadow roots and of its frames
// (all of this origin on the floor's page); a link's text, a control's value
// or text, tested against ten rules that match nothing.
inline const QString kTodayFloorScript = uR"JS((() => {
  const rules = [];
  for (let r = 0; r < 10; ++r) rules.push('NOTHING-' + r);
  const test = (text) => { for (const r of rules) if (text && text.trim().toUpperCase().startsWith(r)) return true; return false; };
  let hits = 0;
  let count = 0;
  const walk = (root) => {
    for (const el of root.querySelectorAll('*')) {
      ++count;
      const role = el.getAttribute('role');
      if ((el.tagName === 'A' && el.hasAttribute('href')) || role === 'link')
        hits += test(el.outerText);
      if (el.tagName === 'INPUT')
        hits += test(el.value);
      else if (el.tagName === 'BUTTON' || role === 'button')
        hits += test(el.outerText);
      if (el.shadowRoot)
        walk(el.shadowRoot);
      if (el.tagName === 'IFRAME' && el.contentDocument)
        walk(el.contentDocument);
    }
  };
  walk(document);
  return count;
})())JS"_qs;

// Runs of a step (a scan, or the floor's evaluation): mean browser CPU per
// run, median wall.
struct TodayFigures {
    double wallMs = 0;
    double browserCpuMs = 0;
};

// runs of step; before each, `between` (not measured: its own cost is the
// page's, not ours; what it leaves to do, a restyle or a frame's message, is
// the run's, floor and scans alike).
inline TodayFigures measureRuns(qint64 browserPid, int runs, const std::function<void()> &between,
                                const std::function<void()> &step) {
    step();
    QList<double> wall;
    double browser = 0;
    for (int run = 0; run < runs; ++run) {
        if (between) {
            between();
            QTest::qWait(20); // the frames' change comes by message
        }
        const BrowserCpu browserCpu(browserPid);
        QElapsedTimer timer;
        timer.start();
        step();
        wall.append(timer.nsecsElapsed() / 1e6);
        browser += browserCpu.elapsedMs();
    }
    return {median(wall), browser / runs};
}

// Scans after a first one (worlds made, scripts installed).
inline TodayFigures measureScans(ScanEngine &engine, qint64 browserPid, int runs,
                                 const std::function<void()> &between) {
    return measureRuns(browserPid, runs, between,
                       [&engine] { testing::awaitOnLoop(bothPasses(engine)); });
}

// A floor on the page changed before each run as the scans' is, and unchanged.
struct Floor {
    TodayFigures changed, unchanged;
};
inline Floor measureFloor(qint64 browserPid, int runs, const std::function<void()> &touch,
                          const std::function<void()> &evaluate) {
    return {measureRuns(browserPid, runs, touch, evaluate),
            measureRuns(browserPid, runs, {}, evaluate)};
}

// The figures of one backend: today's scans against the piercing floor,
// classic scans against the classic floor, changed page and unchanged.
struct TodayRow {
    const char *backend;
    TodayFigures todayChanged, todayUnchanged, classicChanged, classicUnchanged;
};

inline void printTodayRows(QTextStream &out, const QList<TodayRow> &rows, const Floor &today,
                           const Floor &classic) {
    const auto number = [](double value) { return QString::number(value, 'f', 1); };
    const auto ratio = [](double value, double floor) {
        return QString::number(value / floor, 'f', 2);
    };
    out << "browser CPU per scan, mean (wall, median):\n"
        << "  floor, today's walk in one evaluation: changed " << number(today.changed.browserCpuMs)
        << " ms (" << number(today.changed.wallMs) << "), unchanged "
        << number(today.unchanged.browserCpuMs) << " ms (" << number(today.unchanged.wallMs)
        << ")\n"
        << "  floor, the classic walk:               changed "
        << number(classic.changed.browserCpuMs) << " ms (" << number(classic.changed.wallMs)
        << "), unchanged " << number(classic.unchanged.browserCpuMs) << " ms ("
        << number(classic.unchanged.wallMs) << ")\n";
    for (const TodayRow &row : rows) {
        out << "  " << row.backend << ": today changed " << number(row.todayChanged.browserCpuMs)
            << " ms (" << number(row.todayChanged.wallMs) << "), unchanged "
            << number(row.todayUnchanged.browserCpuMs) << " ms ("
            << number(row.todayUnchanged.wallMs) << "); classic changed "
            << number(row.classicChanged.browserCpuMs) << " ms ("
            << number(row.classicChanged.wallMs) << "), unchanged "
            << number(row.classicUnchanged.browserCpuMs) << " ms ("
            << number(row.classicUnchanged.wallMs) << ")\n";
    }
    QStringList last;
    for (const TodayRow &row : rows)
        last << QString::fromLatin1(row.backend) + u" today/floor browser CPU "_qs +
                    ratio(row.todayChanged.browserCpuMs, today.changed.browserCpuMs) +
                    u" changed, "_qs +
                    ratio(row.todayUnchanged.browserCpuMs, today.unchanged.browserCpuMs) +
                    u" unchanged; classic/floor "_qs +
                    ratio(row.classicChanged.browserCpuMs, classic.changed.browserCpuMs) +
                    u", "_qs +
                    ratio(row.classicUnchanged.browserCpuMs, classic.unchanged.browserCpuMs);
    out << last.join(u"; "_qs) << "\n";
}

} // namespace pressbird::bench
