#include "traycontroller.h"

#include "scantimer.h"
#include "settings.h"
#include "shellhost.h"
#include "trayicon.h"

#include <QAction>
#include <QEvent>
#include <QWidget>

namespace pressbird {

TrayController::TrayController(ShellHost &host, TrayIcon &tray, const Settings &settings,
                               QString tip, QObject *parent)
    : QObject(parent)
    , m_host(host)
    , m_tray(tray)
    , m_settings(settings)
    , m_tip(std::move(tip)) {
    m_host.window().installEventFilter(this);
    connect(&m_tray, &TrayIcon::leftButtonPressed, this, &TrayController::Restore);
}

void TrayController::Minimize() {
    if (m_ending)
        return;
    QWidget &window = m_host.window();
    if (!m_tray.isAvailable()) {
        if (!window.isMinimized())
            window.showMinimized();
        return;
    }
    m_tray.hide();
    m_tray.show(m_host.Timer1().isEnabled() ? m_host.Image1() : m_host.Image2(), m_tip);
    window.hide();
}

void TrayController::Restore() {
    if (m_ending)
        return;
    QWidget &window = m_host.window();
    m_host.setTag(WindowMarker::SkipMinimize);
    window.show();
    window.setWindowState(Qt::WindowNoState);
    window.raise();
    window.activateWindow();
    m_host.setTag(WindowMarker::None);
}

void TrayController::ExitM() {
    m_ending = true;
    m_tray.hide();
    m_host.window().hide();
    m_host.allowFinalClose();
    Q_EMIT ended();
}

bool TrayController::restoreStartMinimized() {
    const bool ticked = m_settings.value(SettingKey::StartMinimized) == u"True";
    QAction &tick = m_host.MinimizeApplicationonStartup();
    tick.setCheckable(true);
    tick.setChecked(ticked);
    return ticked && m_tray.isAvailable();
}

bool TrayController::eventFilter(QObject *watched, QEvent *event) {
    if (watched == &m_host.window() && event->type() == QEvent::WindowStateChange)
        minimiseTest();
    return QObject::eventFilter(watched, event);
}

// The marker is read now, while the restore that may have caused this change
// is still running; the hiding waits until the window system has finished
// minimising, since hiding inside the state change confuses some of them.
void TrayController::minimiseTest() {
    QWidget &window = m_host.window();
    if (!window.isMinimized() || m_host.Tag() == WindowMarker::SkipMinimize)
        return;
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (m_host.window().isMinimized())
                Minimize();
        },
        Qt::QueuedConnection);
}

} // namespace pressbird
