#pragma once

// What the browser benchmarks measure alike: process and browser CPU, the
// median, and the in-page floor (the same walk as both passes, rules and caps
// included, in one evaluation).

#include "clock.h"
#include "memoryrulelist.h"
#include "ruleentry.h"
#include "scanengine.h"
#include "waitseconds.h"
#include "yielder.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QList>
#include <QString>
#include <QTextStream>

#include <algorithm>
#include <ctime>
#include <unistd.h>

namespace pressbird::bench {

// Both passes, as one tick of the scan timer runs them.
inline Task<> bothPasses(ScanEngine &engine) {
    co_await engine.ClickLinks();
    co_await engine.PushButtons();
}

// Ten ticked rules per list that match nothing on the benchmark pages, and
// what an engine needs besides its browser: every scan of it is idle.
struct IdleScan {
    MemoryRuleList listClick;
    MemoryRuleList listPush;
    EventLoopYielder yielder;
    SystemClock clock;
    Pause pause{clock, yielder};

    IdleScan() {
        const QStringList kinds = buttonKindCaptions();
        for (int r = 0; r < 10; ++r) {
            listClick.appendTicked(MakeEntryText(u"nothing-%1"_qs.arg(r), kinds.at(r % 4)));
            listPush.appendTicked(MakeEntryText(u"nothing-%1"_qs.arg(r), kinds.at(r % 4)));
        }
    }
    ScanEngine engineFor(Browser &browser) {
        return ScanEngine(browser, listClick, listPush, yielder, pause);
    }
};

inline double processCpuMs() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

// The CPU of the browser and every process below it, from a moment on: each
// thread counted from where the scheduler's count of it (nanoseconds, where
// /proc/PID/stat counts in 10 ms ticks) stood then. A thread that ends
// meanwhile takes only its share since with it, never its whole life (a
// pool's idle thread ending would otherwise make a step cost less than
// nothing).
class BrowserCpu {
public:
    explicit BrowserCpu(qint64 root)
        : m_root(root)
        , m_start(threadsOf(root)) {}
    double elapsedMs() const {
        double total = 0;
        const QHash<qint64, double> now = threadsOf(m_root);
        for (auto thread = now.cbegin(); thread != now.cend(); ++thread)
            total += thread.value() - m_start.value(thread.key(), 0);
        return total;
    }

private:
    static QHash<qint64, double> threadsOf(qint64 root) {
        QHash<qint64, qint64> parent;
        QDirIterator it(u"/proc"_qs);
        while (it.hasNext()) {
            bool ok = false;
            const qint64 pid = QFileInfo(it.next()).fileName().toLongLong(&ok);
            QFile stat(it.filePath() + u"/stat"_qs);
            if (!ok || !stat.open(QIODevice::ReadOnly))
                continue;
            const QByteArray line = stat.readAll();
            const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
            if (fields.size() >= 2)
                parent.insert(pid, fields.at(1).toLongLong());
        }
        QHash<qint64, double> threads;
        for (auto entry = parent.cbegin(); entry != parent.cend(); ++entry) {
            qint64 pid = entry.key();
            while (pid > 1 && pid != root)
                pid = parent.value(pid, 0);
            if (pid != root)
                continue;
            QDirIterator tasks(u"/proc/%1/task"_qs.arg(entry.key()),
                               QDir::Dirs | QDir::NoDotAndDotDot);
            while (tasks.hasNext()) {
                const QString task = tasks.next();
                QFile schedstat(task + u"/schedstat"_qs);
                if (schedstat.open(QIODevice::ReadOnly))
                    threads.insert(QFileInfo(task).fileName().toLongLong(),
                                   schedstat.readAll().split(' ').value(0).toDouble() / 1e6);
            }
        }
        return threads;
    }

    qint64 m_root;
    QHash<qint64, double> m_start;
};

// This process's resident memory.
inline double residentMb() {
    QFile statm(u"/proc/self/statm"_qs);
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    return statm.readAll().split(' ').value(1).toDouble() * double(sysconf(_SC_PAGESIZE)) /
           (1024.0 * 1024.0);
}

inline double median(QList<double> values) {
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

// What `runs` repetitions of one step cost: the median wall time, and the
// mean CPU of this process and of the browser over all of them.
struct Phase {
    double wallMs = 0;
    double cpuMs = 0;
    double browserCpuMs = 0;
};
template<typename Prepare, typename Step>
Phase measure(qint64 browserPid, int runs, Prepare prepare, Step step) {
    QList<double> wall;
    const BrowserCpu browserCpu(browserPid);
    const double cpuBefore = processCpuMs();
    for (int run = 0; run < runs; ++run) {
        prepare();
        QElapsedTimer timer;
        timer.start();
        step();
        wall.append(timer.nsecsElapsed() / 1e6);
    }
    const double cpu = processCpuMs() - cpuBefore;
    return {median(wall), cpu / runs, browserCpu.elapsedMs() / runs};
}

// One line of a phase's figures.
inline void printPhase(QTextStream &out, const char *what, const Phase &phase) {
    out << "  " << what << QString::number(phase.wallMs, 'f', 1).rightJustified(7) << " ms wall"
        << QString::number(phase.cpuMs, 'f', 1).rightJustified(7) << " ms Pressbird CPU"
        << QString::number(phase.browserCpuMs, 'f', 1).rightJustified(7) << " ms browser CPU\n";
}

inline const QString kFloorScript = uR"JS((() => {
  const rules = [];
  for (let r = 0; r < 10; ++r) rules.push('NOTHING-' + r);
  const test = (text) => { for (const r of rules) if (text && text.trim().toUpperCase().startsWith(r)) return true; return false; };
  let hits = 0;
  const links = document.links;
  for (let i = 0; i < links.length && i <= 1000; ++i) hits += test(links[i].outerText);
  const all = document.all;
  for (let i = 0; i < all.length && i <= 10000; ++i)
    if (all[i].tagName.toUpperCase() === 'INPUT') hits += test(all[i].value);
  return hits;
})())JS"_qs;

} // namespace pressbird::bench
