// Saving both rule lists with 1,000 rules each into a real settings file: the
// whole section rewritten in one transaction, as every rule edit does. The
// baseline is one single-key save into the same file, which pays the same
// commit and sync, so the ratio shows what the thousand rows add.

#include "memoryrulelist.h"
#include "ruleentry.h"
#include "rulepersistence.h"
#include "settings.h"
#include "sqlitesettingsstore.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <functional>
#include <vector>

using namespace pressbird;

namespace {

double medianMs(int runs, const std::function<bool()> &work, bool &allSaved) {
    std::vector<double> times;
    QElapsedTimer timer;
    for (int i = 0; i < runs; ++i) {
        timer.start();
        allSaved = work() && allSaved;
        times.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    constexpr int kRulesPerList = 1000;
    constexpr int kRuns = 51;

    QTemporaryDir dir;
    SettingsOpenResult opened =
        SqliteSettingsStore::open(dir.filePath(QStringLiteral("settings.sqlite3")));
    if (opened.outcome != SettingsOpenResult::Outcome::Opened) {
        out << "cannot open the settings file: " << opened.message() << Qt::endl;
        return 1;
    }
    SettingsStore &store = *opened.store;
    Settings settings(store);

    MemoryRuleList listClick;
    MemoryRuleList listPush;
    const QStringList linkKinds = linkKindCaptions();
    const QStringList buttonKinds = buttonKindCaptions();
    for (int i = 0; i < kRulesPerList; ++i) {
        listClick.appendTicked(
            MakeEntryText(QStringLiteral("Next page %1").arg(i), linkKinds.at(i % 4)));
        listPush.append(MakeEntryText(QStringLiteral("Continue %1").arg(i), buttonKinds.at(i % 4)));
    }

    bool allSaved = true;
    // A new value each time: SQLite writes nothing for an unchanged one.
    int interval = 5000;
    const double baseline = medianMs(
        kRuns,
        [&] {
            return store.SaveSetting(kAppName.toString(), QStringLiteral("Opt"),
                                     QStringLiteral("Text1Text"), QString::number(++interval));
        },
        allSaved);
    const double save = medianMs(
        kRuns, [&] { return ListUpdate(settings, listClick, listPush, WindowMarker::None); },
        allSaved);

    out << "ListUpdate, " << kRulesPerList << " rules per list, median of " << kRuns
        << " saves: " << QString::number(save, 'f', 2) << " ms" << Qt::endl;
    out << "baseline, one single-key save: " << QString::number(baseline, 'f', 4) << " ms"
        << Qt::endl;
    out << "ratio: " << QString::number(save / baseline, 'f', 1) << Qt::endl;
    if (!allSaved) {
        out << "a save failed" << Qt::endl;
        return 1;
    }
    return 0;
}
