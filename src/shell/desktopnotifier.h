#pragma once

#include "usernotifier.h"

#include <QDBusConnection>
#include <QDeadlineTimer>
#include <QObject>

namespace pressbird {

class TrayIcon;

// Desktop notifications over D-Bus, with the tray's balloon when the
// notification service is missing, failing or slow. Never waits: each call
// is answered, or given up, from the event loop.
class DesktopNotifier final : public QObject, public UserNotifier {
    Q_OBJECT

public:
    static constexpr int kCallTimeoutMs = 3000;
    static constexpr int kBackOffMs = 60'000;
    static constexpr int kMaxInFlight = 4;
    static constexpr qsizetype kMaxSummary = 200;
    static constexpr qsizetype kMaxBody = 1000;

    explicit DesktopNotifier(TrayIcon &tray, QDBusConnection bus = QDBusConnection::sessionBus(),
                             QObject *parent = nullptr);

    void notify(const QString &summary, const QString &body) override;

    void setCallTimeout(int ms) { m_callTimeoutMs = ms; }
    void setBackOff(int ms) { m_backOffMs = ms; }

private:
    void toTray(const QString &summary, const QString &body);

    TrayIcon &m_tray;
    QDBusConnection m_bus;
    int m_callTimeoutMs = kCallTimeoutMs;
    int m_backOffMs = kBackOffMs;
    int m_inFlight = 0;
    uint m_lastId = 0;
    QDeadlineTimer m_busAgainAt; // expired: the bus may be tried
};

} // namespace pressbird
