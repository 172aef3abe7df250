#include "autostart.h"
#include "clock.h"
#include "desktopshell.h"
#include "devtoolsbrowser.h"
#include "form1.h"
#include "helppage.h"
#include "messageboxes.h"
#include "programtitle.h"
#include "settingspath.h"
#include "sqlitesettingsstore.h"
#include "trayicon.h"
#include "yielder.h"

#include <QApplication>
#include <QCommandLineParser>

using namespace pressbird;

namespace {

// --help and --version must answer without a display, so they are handled
// before the GUI application (which needs one) exists.
void answerCommandLine(int argc, char **argv) {
    QCoreApplication early(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Presses the links and buttons you name in your browser windows.\n"
                       "Start a browser with pressbird-browser first; Pressbird finds it."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.process(early);
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication::setApplicationName(QStringLiteral("pressbird"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PRESSBIRD_VERSION));
    answerCommandLine(argc, argv);

    QApplication app(argc, argv);
    // The window hides to the tray and the prompt hides when answered:
    // neither is the last window closing.
    QApplication::setQuitOnLastWindowClosed(false);

    QtMessageBoxes messages;
    SettingsOpenResult opened = SqliteSettingsStore::open(settingsFilePath());
    if (const QString problem = opened.message(); !problem.isEmpty())
        messages.inform(problem, kProgramTitle.toString());

    DevToolsBrowser browser;
    EventLoopYielder yielder;
    SystemClock clock;
    Form1 form(*opened.store, browser, yielder, clock, messages);
    messages.setParentWidget(&form);

    SystemTrayIcon tray;
    SystemAutostart autostart(kWindowCaption.toString());
    DesktopUrlOpener urlOpener;
    DesktopShell shell(form,
                       {*opened.store, messages, tray, autostart, urlOpener, installedHelpPage()});
    QObject::connect(&shell, &DesktopShell::ended, &app, &QCoreApplication::quit);
    shell.start();
    return app.exec();
}
