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

#include <cstdio>
#include <cstdlib>

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

// Without a display Qt ends the program with an abort and advice to reinstall
// it; a desktop user needs to hear what is missing, and a script an exit code.
QtMessageHandler g_qtHandler = nullptr;
void failWithoutDisplay(QtMsgType type, const QMessageLogContext &context, const QString &text) {
    if (type != QtFatalMsg) {
        g_qtHandler(type, context, text);
        return;
    }
    const QByteArray display = qgetenv("DISPLAY");
    std::fprintf(stderr,
                 "pressbird: no display could be opened (DISPLAY is %s). Pressbird is a "
                 "desktop program: start it inside a graphical session.\n",
                 display.isEmpty() ? "not set" : display.constData());
    std::_Exit(EXIT_FAILURE);
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication::setApplicationName(QStringLiteral("pressbird"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PRESSBIRD_VERSION));
    answerCommandLine(argc, argv);

    g_qtHandler = qInstallMessageHandler(failWithoutDisplay);
    QApplication app(argc, argv);
    qInstallMessageHandler(g_qtHandler);
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
