// What the running program costs all day: the whole program (main window,
// shell, DevTools browser) on a real headless Chromium showing the demo page,
// with ticked rules that match nothing. Resident memory after start and after
// 1,000 scans, and CPU per idle scan. Baselines of the same run: the memory of
// a bare Qt Widgets program, and the CPU of the same scans over an in-memory
// copy of the page.

#include "autostart.h"
#include "chromium.h"
#include "clock.h"
#include "desktopshell.h"
#include "devtoolsbrowser.h"
#include "form1.h"
#include "helppage.h"
#include "memorysettingsstore.h"
#include "messageboxes.h"
#include "program.h"
#include "quietplatform.h"
#include "ruleentry.h"
#include "rulelistwidget.h"
#include "scancycle.h"
#include "scantimer.h"
#include "simulatedbrowser.h"
#include "trayicon.h"
#include "yielder.h"

#include <QApplication>
#include <QEventLoop>
#include <QTextStream>

#include <sys/resource.h>
#include <unistd.h>

using namespace pressbird;

namespace {

double residentMb() {
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toDouble() * sysconf(_SC_PAGESIZE) / (1024.0 * 1024.0) : 0;
}

double cpuMs() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

// The whole program over a memory store, wired as main() wires it.
struct WholeProgram {
    explicit WholeProgram(Browser &browser)
        : program({store, browser, yielder, clock, messages, tray, autostart, opener, {}, {}, {}}) {
        store.SaveSetting(u"Pressbird"_qs, u"StartUpQ"_qs, u"qStrup"_qs, u"1"_qs);
        program.start();
        Form1 &form = program.window();
        form.Timer1().setInterval(0); // the scans below are run by hand
        bench::tickRulesMatchingNothing(form);
    }
    // Each scan runs on the event loop to its end, as the timer would run it.
    double scans(int n) {
        const double before = cpuMs();
        for (int i = 0; i < n; ++i) {
            QEventLoop loop;
            QObject::connect(&program.scan(), &ScanCycle::scanFinished, &loop, &QEventLoop::quit);
            program.scan().Timer1_Timer();
            if (program.scan().isScanning())
                loop.exec();
        }
        return (cpuMs() - before) / n;
    }

    MemorySettingsStore store;
    EventLoopYielder yielder;
    SystemClock clock;
    bench::SilentMessages messages;
    SystemTrayIcon tray;
    SystemAutostart autostart{u"Pressbird"_qs};
    bench::NoOpener opener;
    Program program;
};

} // namespace

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTextStream out(stdout);
    constexpr int kScans = 1000;

    QWidget bare;
    bare.show();
    QCoreApplication::processEvents();
    const double baselineMb = residentMb();

    testing::HeadlessChromium chromium;
    if (testing::chromiumBinary().isEmpty() || !chromium.start()) {
        out << "bench_shell_memory: no headless chromium, skipped\n";
        return 0;
    }
    chromium.closeAllPages();
    const QString tab = chromium.openTab(testing::pageUrl(u"index.html"_qs));

    DevToolsBrowser browser({}, [&] { return QList<Endpoint>{chromium.endpoint()}; });
    WholeProgram program(browser);
    program.scans(5); // connects and warms the caches
    const double startMb = residentMb();
    const double scanCpuMs = program.scans(kScans);
    const double afterMb = residentMb();
    const QString title = chromium.evaluate(tab, u"document.title"_qs);

    // The same program over an in-memory page shaped like the demo page.
    auto page = std::make_shared<SimulatedPage>();
    page->addLink(u"Press me, I am a link"_qs);
    page->addInput(u"Press me, I am a button"_qs);
    for (int i = 0; i < 12; ++i)
        page->addElement(u"P"_qs, u"text"_qs);
    SimulatedBrowser simulated;
    simulated.addWindow(page);
    WholeProgram floor(simulated);
    floor.scans(5);
    const double floorCpuMs = floor.scans(kScans);

    out << "whole program on the demo page in headless Chromium, " << kScans
        << " idle scans (3 ticked rules per list, matching nothing)\n";
    out << "  resident memory: bare Qt Widgets program " << QString::number(baselineMb, 'f', 1)
        << " MB, after start " << QString::number(startMb, 'f', 1) << " MB, after " << kScans
        << " scans " << QString::number(afterMb, 'f', 1) << " MB (growth "
        << QString::number(afterMb - startMb, 'f', 1) << " MB)\n";
    out << "  CPU per idle scan: " << QString::number(scanCpuMs, 'f', 3) << " ms (in-memory page "
        << QString::number(floorCpuMs, 'f', 3) << " ms)\n";
    out << "  page title afterwards: " << title << "\n";
    out << "after-start/bare-program memory ratio: "
        << QString::number(startMb / baselineMb, 'f', 2) << "\n";
    out << "after-scans/after-start memory ratio: " << QString::number(afterMb / startMb, 'f', 3)
        << "\n";
    out << "scan CPU devtools/in-memory ratio: " << QString::number(scanCpuMs / floorCpuMs, 'f', 1)
        << "\n";
    return 0;
}
