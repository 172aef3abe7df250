// The desktop's notification service on the session bus, for the end-to-end
// test: prints "summary<TAB>body" for each notification, one line each
// (a body's own line breaks as "\n"), and answers it.

#include "fakenotifications.h"

#include <QCoreApplication>

#include <cstdio>

using namespace pressbird::testing;

int main(int argc, char *argv[]) {
    QCoreApplication app(argc, argv);
    QDBusConnection bus = QDBusConnection::sessionBus();
    FakeNotifications service;
    service.told = [](const NotifyCall &call) {
        const QString line = call.summary + u'\t' + QString(call.body).replace(u'\n', u"\\n"_qs);
        std::printf("%s\n", line.toUtf8().constData());
        std::fflush(stdout);
    };
    if (!bus.registerVirtualObject(kNotificationsPath, &service) ||
        !bus.registerService(kNotificationsService)) {
        std::fprintf(stderr,
                     "fake_notifications: the service could not be registered on the bus\n");
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    return app.exec();
}
