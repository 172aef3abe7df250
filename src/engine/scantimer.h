#pragma once

#include <QObject>
#include <QTimer>

namespace pressbird {

// The scan timer: an enabled flag and an interval of 0 to 65535 ms. Enabling
// it, or changing the interval while it is enabled, starts the countdown
// afresh. An interval of 0 means it never fires (a QTimer of 0 would fire
// continuously).
class ScanTimer final : public QObject {
    Q_OBJECT

public:
    static constexpr int kMaxInterval = 65535;

    explicit ScanTimer(QObject *parent = nullptr);

    bool isEnabled() const { return m_enabled; }
    void setEnabled(bool enabled);

    int interval() const { return m_interval; }
    // False, and the interval unchanged, outside 0 to 65535.
    bool setInterval(int ms);

Q_SIGNALS:
    void timeout();

private:
    void restart();

    QTimer m_timer;
    bool m_enabled = false;
    int m_interval = 1000;
};

} // namespace pressbird
