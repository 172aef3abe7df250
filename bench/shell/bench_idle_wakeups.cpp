// How often the program wakes all day when there is nothing to do: the whole
// program as main() wires it (Connector listening, DevTools, BiDi), its scan
// timer at the default 5 s, for a minute with no browser reachable and for a
// minute with a headless Chromium showing 20 unchanged tabs over DevTools.
// Wake-ups are the context switches of every thread of this process
// (getrusage). Baselines of the same run: the scans the timer
// ran in that minute, and a bare Qt Widgets program idle for the same time.

#include "autostart.h"
#include "bidibrowser.h"
#include "chromium.h"
#include "clock.h"
#include "compositebrowser.h"
#include "connectorbrowser.h"
#include "connectorframes.h"
#include "devtoolsbrowser.h"
#include "form1.h"
#include "helppage.h"
#include "memorysettingsstore.h"
#include "messageboxes.h"
#include "program.h"
#include "quietplatform.h"
#include "ruleentry.h"
#include "rulelistwidget.h"
#include "runtimefolder.h"
#include "scancycle.h"
#include "trayicon.h"
#include "yielder.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <sys/resource.h>

using namespace pressbird;

namespace {

constexpr int kMinuteMs = 60'000;

// Voluntary and involuntary context switches of every thread so far, those
// that have ended included.
qint64 contextSwitches() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_nvcsw + usage.ru_nivcsw;
}

// Runs the event loop for ms and gives the wake-ups it took.
qint64 wakeupsOver(int ms) {
    const qint64 before = contextSwitches();
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
    // The bench's own timer woke it once.
    return contextSwitches() - before - 1;
}

// The program over a memory store with ticked rules that match nothing,
// scanning at the default interval, on the browsers main() gives it.
struct IdleProgram {
    explicit IdleProgram(const QList<Endpoint> &chromium)
        : devtools({}, [chromium] { return chromium; })
        , bidi({}, [] { return QList<BidiEndpoint>(); })
        , browser({&connector, &devtools, &bidi})
        , program({store, browser, yielder, clock, messages, tray, autostart, opener, {}, {}, {}}) {
        store.SaveSetting(u"Pressbird"_qs, u"StartUpQ"_qs, u"qStrup"_qs, u"1"_qs);
        program.start();
        Form1 &form = program.window();
        // In the tray, as it sits all day, while the user works in another
        // window: an active window's caret blinks twice a second.
        form.hide();
        bench::tickRulesMatchingNothing(form);
        form.ListUpdate();
        QObject::connect(&program.scan(), &ScanCycle::scanFinished, &program.window(),
                         [this] { ++scans; });
    }

    ConnectorServer server;
    bool listening =
        server.listen(connector::socketName(runtimeFolder().value_or(QDir::tempPath())));
    ConnectorBrowser connector{server, {}};
    DevToolsBrowser devtools;
    BidiBrowser bidi;
    CompositeBrowser browser;
    MemorySettingsStore store;
    EventLoopYielder yielder;
    SystemClock clock;
    bench::SilentMessages messages;
    SystemTrayIcon tray;
    SystemAutostart autostart{u"Pressbird"_qs};
    bench::NoOpener opener;
    Program program;
    int scans = 0;
};

struct Minute {
    qint64 wakeups = 0;
    int scans = 0;
};

Minute idleMinute(const QList<Endpoint> &chromium, QWidget &elsewhere) {
    IdleProgram idle(chromium);
    elsewhere.activateWindow();
    wakeupsOver(6000); // the first scans connect and settle
    const int scansBefore = idle.scans;
    Minute minute;
    minute.wakeups = wakeupsOver(kMinuteMs);
    minute.scans = idle.scans - scansBefore;
    return minute;
}

} // namespace

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // A home of its own: no user's browser is found, no user's files touched.
    QTemporaryDir home;
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", home.filePath(u"config"_qs).toLocal8Bit());
    qputenv("XDG_DATA_HOME", home.filePath(u"data"_qs).toLocal8Bit());
    QDir().mkpath(home.filePath(u"runtime"_qs));
    QFile::setPermissions(home.filePath(u"runtime"_qs),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", home.filePath(u"runtime"_qs).toLocal8Bit());
    qputenv("PRESSBIRD_BROWSERS", "");
    QApplication app(argc, argv);
    QTextStream out(stdout);

    QWidget bare;
    bare.show();
    wakeupsOver(1000);
    const qint64 bareWakeups = wakeupsOver(kMinuteMs);

    const Minute nothing = idleMinute({}, bare);

    testing::HeadlessChromium chromium;
    if (testing::chromiumBinary().isEmpty() || !chromium.start()) {
        out << "bench_idle_wakeups: no headless chromium, skipped\n";
        return 0;
    }
    chromium.closeAllPages();
    for (int i = 0; i < 20; ++i)
        chromium.openTab(testing::pageUrl(u"index.html"_qs));
    const Minute tabs = idleMinute({chromium.endpoint()}, bare);

    const auto line = [&](const char *what, const Minute &minute) {
        out << "  " << what << ": " << minute.wakeups << " wake-ups in " << minute.scans
            << " scans ("
            << QString::number(double(minute.wakeups) / std::max(1, minute.scans), 'f', 1)
            << " per scan; beyond the bare program's "
            << QString::number(double(minute.wakeups - bareWakeups) / std::max(1, minute.scans),
                               'f', 1)
            << ")\n";
    };
    out << "wake-ups of the whole program in one idle minute, scan timer at 5 s\n";
    out << "  bare Qt Widgets program: " << bareWakeups << " wake-ups\n";
    line("nothing reachable", nothing);
    line("20 unchanged tabs in headless Chromium over DevTools", tabs);
    out << "wake-ups beyond the bare program per scan, nothing reachable / 20 tabs: "
        << QString::number(double(nothing.wakeups - bareWakeups) / std::max(1, nothing.scans), 'f',
                           1)
        << " / "
        << QString::number(double(tabs.wakeups - bareWakeups) / std::max(1, tabs.scans), 'f', 1)
        << "\n";
    return 0;
}
