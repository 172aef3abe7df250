#include "autostart.h"
#include "bidibrowser.h"
#include "clock.h"
#include "compositebrowser.h"
#include "connectorbrowser.h"
#include "connectorframes.h"
#include "connectorinstaller.h"
#include "controlclient.h"
#include "controlprotocol.h"
#include "controlserver.h"
#include "desktopnotifier.h"
#include "desktopshell.h"
#include "devtoolsbrowser.h"
#include "externalextensions.h"
#include "helppage.h"
#include "messageboxes.h"
#include "program.h"
#include "programtitle.h"
#include "settingspath.h"
#include "sqlitesettingsstore.h"
#include "trayicon.h"
#include "yielder.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>

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

// One pressbird per user: whoever holds the lock is it. A lock left by a
// crashed run names a dead process and is taken over.
std::unique_ptr<QLockFile> claimInstance(const QString &folder) {
    auto lock = std::make_unique<QLockFile>(control::lockFileName(folder));
    lock->setStaleLockTime(0); // stale only when its process is gone, never by age
    return lock->tryLock(0) ? std::move(lock) : nullptr;
}

// Another pressbird runs: it brings its window forward, this one ends.
int showRunningInstance(int argc, char **argv, const QString &folder) {
    QCoreApplication app(argc, argv);
    ControlClient client(control::socketName(folder));
    int status = EXIT_SUCCESS;
    QObject::connect(&client, &ControlClient::answered, &app, [&](const QJsonObject &reply) {
        if (!reply.value(u"ok").toBool())
            status = EXIT_FAILURE;
        app.quit();
    });
    QObject::connect(&client, &ControlClient::failed, &app,
                     [&](ControlClient::Failure, const QString &why) {
                         std::fprintf(stderr, "pressbird: another Pressbird holds %s, but: %s\n",
                                      qPrintable(control::lockFileName(folder)), qPrintable(why));
                         status = EXIT_FAILURE;
                         app.quit();
                     });
    // An instance that has just taken the lock may not listen for a moment yet.
    client.ask(control::request(QStringLiteral("show")), 3000, control::kAckTimeoutMs);
    app.exec();
    return status;
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication::setApplicationName(QStringLiteral("pressbird"));
    QCoreApplication::setApplicationVersion(kVersion.toString());
    answerCommandLine(argc, argv);

    QString noFolder;
    const std::optional<QString> runtime = runtimeFolder(&noFolder);
    std::unique_ptr<QLockFile> instance;
    if (runtime) {
        instance = claimInstance(*runtime);
        if (!instance)
            return showRunningInstance(argc, argv, *runtime);
    } else {
        std::fprintf(stderr, "pressbird: %s; pressbird-ctl cannot reach this instance.\n",
                     qPrintable(noFolder));
    }

    g_qtHandler = qInstallMessageHandler(failWithoutDisplay);
    QApplication app(argc, argv);
    qInstallMessageHandler(g_qtHandler);
    // The window hides to the tray and the prompt hides when answered:
    // neither is the last window closing.
    QApplication::setQuitOnLastWindowClosed(false);

    QtMessageBoxes messages;
    QString why;
    SettingsOpenResult opened = SqliteSettingsStore::open(settingsFilePath());
    if (const QString problem = opened.message(); !problem.isEmpty())
        messages.inform(problem, kProgramTitle.toString());
    // Browsers running the Connector extension first: a tab they reach is
    // not walked again over the debugging protocols.
    ConnectorServer connectorServer;
    if (runtime && !connectorServer.listen(connector::socketName(*runtime), &why))
        std::fprintf(stderr, "pressbird: the browser extension cannot reach this instance: %s\n",
                     qPrintable(why));
    ConnectorBrowser connector(connectorServer, [] {
        return writeHostManifests(BrowserFolders::ofThisUser(), installedHostProgram());
    });
    ConnectorInstaller installer(connector, BrowserFolders::ofThisUser(),
                                 installedPackedExtension());
    DevToolsBrowser chromium;
    BidiBrowser firefox;
    CompositeBrowser browser({&connector, &chromium, &firefox});
    EventLoopYielder yielder;
    SystemClock clock;
    SystemTrayIcon tray;
    DesktopNotifier notifier(tray);
    SystemAutostart autostart(kWindowCaption.toString());
    DesktopUrlOpener urlOpener;
    const QString settingsFolder = QFileInfo(settingsFilePath()).absolutePath();
    Program program({*opened.store, browser, yielder, clock, messages, tray, autostart, urlOpener,
                     installedHelpPage(), settingsFolder,
                     QDir(settingsFolder).filePath(QStringLiteral("activity.sqlite3")), &installer,
                     &notifier});
    messages.setParentWidget(&program.window());
    ControlServer control(
        [&program](QJsonObject request) { return program.commands().handle(std::move(request)); });
    if (runtime && !control.listen(control::socketName(*runtime), &why))
        std::fprintf(stderr, "pressbird: pressbird-ctl cannot reach this instance: %s\n",
                     qPrintable(why));
    QObject::connect(&program.shell(), &DesktopShell::ended, &app, &QCoreApplication::quit);
    program.start();
    const int status = app.exec();
    // Browsers let go of their sessions in a second, last turn of the loop
    // (one after the other, never nested), bounded by their time-outs.
    Task<> release = browser.release();
    bool released = false;
    release.start([&released] {
        released = true;
        QCoreApplication::quit();
    });
    if (!released)
        app.exec();
    return status;
}
