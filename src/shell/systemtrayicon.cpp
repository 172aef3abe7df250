#include "trayicon.h"

#include <QSystemTrayIcon>

namespace pressbird {

SystemTrayIcon::SystemTrayIcon(QObject *parent)
    : TrayIcon(parent)
    , m_icon(new QSystemTrayIcon(this)) {
    connect(m_icon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger)
                    Q_EMIT leftButtonPressed();
            });
}

SystemTrayIcon::~SystemTrayIcon() {
    m_icon->hide();
}

bool SystemTrayIcon::isAvailable() const {
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void SystemTrayIcon::show(const QIcon &icon, const QString &tip) {
    m_icon->setIcon(icon);
    m_icon->setToolTip(tip);
    m_icon->show();
}

void SystemTrayIcon::hide() {
    m_icon->hide();
}

bool SystemTrayIcon::isShown() const {
    return m_icon->isVisible();
}

void SystemTrayIcon::showMessage(const QString &title, const QString &text) {
    if (m_icon->isVisible())
        m_icon->showMessage(title, text);
}

} // namespace pressbird
