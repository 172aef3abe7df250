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

// One backend's scans of the page: mean browser CPU per scan, median wall.
struct TodayFigures {
    double wallMs = 0;
    double browserCpuMs = 0;
};

// runs scans after a first one (worlds made, scripts installed); before
// each, `between` (not measured: its own cost is the page's, not ours).
inline TodayFigures measureScans(ScanEngine &engine, qint64 browserPid, int runs,
                                 const std::function<void()> &between) {
    testing::awaitOnLoop(bothPasses(engine));
    QList<double> wall;
    double browser = 0;
    for (int run = 0; run < runs; ++run) {
        if (between) {
            between();
            QTest::qWait(20); // the frames' change comes by message
        }
        const double before = browserCpuMs(browserPid);
        QElapsedTimer timer;
        timer.start();
        testing::awaitOnLoop(bothPasses(engine));
        wall.append(timer.nsecsElapsed() / 1e6);
        browser += browserCpuMs(browserPid) - before;
    }
    return {median(wall), browser / runs};
}

// The figures of one backend: today's scans against the piercing floor,
// classic scans against the classic floor, changed page and unchanged.
struct TodayRow {
    const char *backend;
    TodayFigures todayChanged, todayUnchanged, classicChanged, classicUnchanged;
};

inline void printTodayRows(QTextStream &out, const QList<TodayRow> &rows, double todayFloorCpuMs,
                           double classicFloorCpuMs) {
    const auto number = [](double value) { return QString::number(value, 'f', 1); };
    const auto ratio = [](double value, double floor) {
        return QString::number(value / floor, 'f', 2);
    };
    out << "browser CPU per scan, mean (wall, median):\n"
        << "  floor, today's walk in one evaluation: " << number(todayFloorCpuMs) << " ms\n"
        << "  floor, the classic walk:               " << number(classicFloorCpuMs) << " ms\n";
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
                    ratio(row.todayChanged.browserCpuMs, todayFloorCpuMs) + u" changed, "_qs +
                    ratio(row.todayUnchanged.browserCpuMs, todayFloorCpuMs) +
                    u" unchanged; classic/floor "_qs +
                    ratio(row.classicChanged.browserCpuMs, classicFloorCpuMs) + u", "_qs +
                    ratio(row.classicUnchanged.browserCpuMs, classicFloorCpuMs);
    out << last.join(u"; "_qs) << "\n";
}

} // namespace pressbird::bench
