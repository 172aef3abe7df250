// Soak: a process saving the rule lists in a loop is killed 1,000 times at
// random moments; after every kill the store must open cleanly and hold one
// whole generation, never less than the last one reported saved. Prints the
// seed (PRESSBIRD_TEST_SEED=N replays it), the counts, and the time per kill
// cycle as a ratio to one save of the same lists measured in the same run.

#include "saveloop.h"
#include "settingkeys.h"
#include "sqlitesettingsstore.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>

using namespace pressbird;
using namespace pressbird::testing;

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    constexpr int kKills = 1000;

    bool seeded = false;
    const quint32 seed = qEnvironmentVariableIntValue("PRESSBIRD_TEST_SEED", &seeded);
    const quint32 used = seeded ? seed : QRandomGenerator::system()->generate();
    QRandomGenerator random(used);
    out << "seed " << used << " (PRESSBIRD_TEST_SEED replays it)\n";

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("settings.sqlite3"));
    int damaged = 0, lost = 0, unopened = 0;
    QElapsedTimer clock;
    clock.start();
    for (int kill = 0; kill < kKills; ++kill) {
        QProcess loop;
        loop.start(QStringLiteral(SAVE_LOOP_PATH),
                   {path, QString::number(kill), QStringLiteral("0")});
        if (!loop.waitForStarted(5000) || !loop.waitForReadyRead(10000)) {
            out << "the save loop did not start\n";
            return 1;
        }
        QThread::usleep(random.bounded(20000));
        loop.kill();
        loop.waitForFinished(5000);
        int lastSaved = -1;
        for (const QByteArray &line : loop.readAllStandardOutput().split('\n'))
            if (!line.isEmpty())
                lastSaved = line.toInt();

        SettingsOpenResult opened = SqliteSettingsStore::open(path);
        if (opened.outcome != SettingsOpenResult::Outcome::Opened) {
            ++unopened;
            continue;
        }
        QString why;
        const std::optional<Generation> stored = wholeGeneration(
            opened.store->GetAllSettings(kAppName.toString(), kListSection.toString())
                .value_or(SettingRows()),
            why);
        if (!stored || stored->writer != kill)
            ++damaged;
        else if (stored->generation < lastSaved)
            ++lost;
    }
    const double perKillMs = clock.elapsed() / double(kKills);

    // One save of one generation, in the same run, as the yardstick.
    QElapsedTimer one;
    QProcess single;
    one.start();
    single.start(QStringLiteral(SAVE_LOOP_PATH), {path, QStringLiteral("0"), QStringLiteral("1")});
    single.waitForFinished(10000);
    const double saveMs = one.elapsed();

    out << kKills << " kills: " << damaged << " torn or foreign sections, " << lost
        << " saves lost after being reported, " << unopened << " stores that did not open\n";
    out << "  per kill cycle " << QString::number(perKillMs, 'f', 1) << " ms; one saving process "
        << QString::number(saveMs, 'f', 1) << " ms\n";
    out << "kills survived: " << (kKills - damaged - lost - unopened) << "/" << kKills
        << ", cycle/one-save ratio " << QString::number(perKillMs / saveMs, 'f', 2) << "\n";
    return damaged + lost + unopened == 0 ? 0 : 1;
}
