#pragma once

#include <QIcon>
#include <QObject>
#include <QString>

class QSystemTrayIcon;

namespace pressbird {

// The notification-area icon. At most one is up: show() replaces the picture
// and tip of an icon already up.
class TrayIcon : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    virtual bool isAvailable() const = 0;
    virtual void show(const QIcon &icon, const QString &tip) = 0;
    virtual void hide() = 0;
    virtual bool isShown() const = 0;
    // A balloon by the icon; nothing when the icon is not up.
    virtual void showMessage(const QString &title, const QString &text) = 0;

Q_SIGNALS:
    // A left-button press on the icon; nothing else on it is reported.
    void leftButtonPressed();
};

class SystemTrayIcon final : public TrayIcon {
    Q_OBJECT

public:
    explicit SystemTrayIcon(QObject *parent = nullptr);
    ~SystemTrayIcon() override;

    bool isAvailable() const override;
    void show(const QIcon &icon, const QString &tip) override;
    void hide() override;
    bool isShown() const override;
    void showMessage(const QString &title, const QString &text) override;

private:
    QSystemTrayIcon *m_icon;
};

} // namespace pressbird
