// Saves the rule lists in a loop, one generation per save, printing each
// generation once it is stored:  rules_save_loop FILE WRITER SAVES [FILE_SIZE_LIMIT]
// SAVES 0 means until killed. With a file size limit every write past it
// fails as on a full disk; the exit code is then 0 when the save was refused.

#include "saveloop.h"

#include "rulepersistence.h"
#include "settings.h"
#include "sqlitesettingsstore.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>
#include <sys/resource.h>

using namespace pressbird;
using namespace pressbird::testing;

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 4)
        return 64;
    SettingsOpenResult opened = SqliteSettingsStore::open(args.at(1));
    if (opened.outcome != SettingsOpenResult::Outcome::Opened) {
        std::fprintf(stderr, "%s\n", qPrintable(opened.message()));
        return 3;
    }
    Settings settings(*opened.store);
    const int writer = args.at(2).toInt();
    const int saves = args.at(3).toInt();
    MemoryRuleList listClick;
    MemoryRuleList listPush;

    if (args.size() > 4) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlim_t limit = args.at(4).toULongLong();
        const rlimit fileSize{limit, limit};
        setrlimit(RLIMIT_FSIZE, &fileSize);
        fillGeneration(writer, 1000, listClick, listPush);
        for (int i = 0; i < 200; ++i)
            listPush.append(generationEntry(writer, 1000, "push", i));
        return ListUpdate(settings, listClick, listPush, WindowMarker::None) ? 1 : 0;
    }

    int failures = 0;
    for (int g = 0; saves == 0 || g < saves; ++g) {
        fillGeneration(writer, g, listClick, listPush);
        if (ListUpdate(settings, listClick, listPush, WindowMarker::None)) {
            std::printf("%d\n", g);
            std::fflush(stdout);
        } else {
            ++failures;
        }
    }
    return failures == 0 ? 0 : 2;
}
