#include "desktopnotifier.h"

#include "trayicon.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QStringList>
#include <QVariantMap>

namespace pressbird {

namespace {

// Page text and rule names can be any length; a notification is a line or two.
QString shortened(const QString &text, qsizetype max) {
    if (text.size() <= max)
        return text;
    qsizetype cut = max - 1;
    if (text.at(cut - 1).isHighSurrogate())
        --cut;
    return text.left(cut) + QChar(0x2026);
}

// Servers that take markup in the body would read a page's "<b>" as bold, or
// drop the notification on a stray "&"; these three are all they parse.
QString escaped(const QString &text) {
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        if (c == u'&')
            out += u"&amp;";
        else if (c == u'<')
            out += u"&lt;";
        else if (c == u'>')
            out += u"&gt;";
        else
            out += c;
    }
    return out;
}

} // namespace

DesktopNotifier::DesktopNotifier(TrayIcon &tray, QDBusConnection bus, QObject *parent)
    : QObject(parent)
    , m_tray(tray)
    , m_bus(std::move(bus)) {}

void DesktopNotifier::notify(const QString &summary, const QString &body) {
    const QString title = shortened(summary, kMaxSummary);
    const QString text = shortened(body, kMaxBody);
    if (!m_bus.isConnected() || !m_busAgainAt.hasExpired() || m_inFlight >= kMaxInFlight) {
        toTray(title, text);
        return;
    }

    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    call << QStringLiteral("Pressbird") << m_lastId << QStringLiteral("pressbird") << title
         << escaped(text) << QStringList() << QVariantMap() << qint32(-1);

    ++m_inFlight;
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, m_callTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, title, text](QDBusPendingCallWatcher *finished) {
                finished->deleteLater();
                --m_inFlight;
                const QDBusPendingReply<uint> reply = *finished;
                if (!reply.isError()) {
                    m_lastId = reply.value();
                    return;
                }
                // A missing or hung service would cost every press the whole
                // time-out; leave it alone for a while.
                m_busAgainAt.setRemainingTime(m_backOffMs);
                toTray(title, text);
            });
}

void DesktopNotifier::toTray(const QString &summary, const QString &body) {
    m_tray.showMessage(summary, body);
}

} // namespace pressbird
