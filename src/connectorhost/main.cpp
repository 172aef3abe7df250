#include "pipechannel.h"
#include "relay.h"
#include "runtimefolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <unistd.h>

using namespace pressbird;

// The browser starts this program for the Pressbird Connector extension and
// talks to it over standard input and output; it relays to the running
// Pressbird. Nothing of it is meant for a person's terminal.
int main(int argc, char **argv) {
    // A browser that goes shows as a closed pipe, not a signal that ends us
    // before we say so.
    std::signal(SIGPIPE, SIG_IGN);
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("pressbird-connector"));
    if (::isatty(STDIN_FILENO)) {
        std::fprintf(stderr, "pressbird-connector: started by the browser for the Pressbird "
                             "Connector extension; there is nothing to do here by hand.\n");
        return 2;
    }
    QString why;
    const std::optional<QString> folder = runtimeFolder(&why);
    if (!folder) {
        std::fprintf(stderr, "pressbird-connector: %s\n", qPrintable(why));
        return 1;
    }
    connector::PipeChannel browser(STDIN_FILENO, STDOUT_FILENO);
    connector::Relay relay(browser, connector::socketName(*folder),
                           QCoreApplication::arguments().mid(1));
    QObject::connect(&relay, &connector::Relay::finished, &app, [&app, &browser](int status) {
        if (browser.pendingWrite() == 0) {
            app.exit(status);
            return;
        }
        // The last word to the browser goes first, if it still reads.
        QObject::connect(&browser, &connector::PipeChannel::drained, &app,
                         [&app, status] { app.exit(status); });
        QTimer::singleShot(500, &app, [&app, status] { app.exit(status); });
    });
    relay.start();
    return app.exec();
}
