#pragma once

// The desktop's notification service, for tests: it takes Notify calls on
// the bus it is registered on and answers them, refuses them, or holds them.

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusVirtualObject>
#include <QStringList>
#include <QVariantMap>

#include <functional>

namespace pressbird::testing {

inline const QString kNotificationsService = QStringLiteral("org.freedesktop.Notifications");
inline const QString kNotificationsPath = QStringLiteral("/org/freedesktop/Notifications");

struct NotifyCall {
    QString app;
    uint replacesId = 0;
    QString icon, summary, body;
    QStringList actions;
    QVariantMap hints;
    int timeout = 0;
};

// Answers ids from 7 up, refuses, or holds every call without an answer.
class FakeNotifications final : public QDBusVirtualObject {
public:
    enum Mode { Answer, Refuse, Hang };
    Mode mode = Answer;
    QList<NotifyCall> calls;
    QList<QDBusMessage> held;
    std::function<void(const NotifyCall &)> told; // at every call, if set

    QString introspect(const QString &) const override { return {}; }
    bool handleMessage(const QDBusMessage &message, const QDBusConnection &bus) override {
        if (message.member() != u"Notify" || message.arguments().size() != 8)
            return false;
        const QList<QVariant> a = message.arguments();
        calls.append({a[0].toString(), a[1].toUInt(), a[2].toString(), a[3].toString(),
                      a[4].toString(), qdbus_cast<QStringList>(a[5]), qdbus_cast<QVariantMap>(a[6]),
                      a[7].toInt()});
        if (told)
            told(calls.last());
        if (mode == Hang)
            held.append(message);
        else if (mode == Refuse)
            bus.send(message.createErrorReply(QStringLiteral("org.example.Failed"), {}));
        else
            bus.send(message.createReply(QVariant::fromValue(uint(6 + calls.size()))));
        return true;
    }
};
} // namespace pressbird::testing
