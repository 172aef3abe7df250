#pragma once

#include <QWidget>

class QLabel;
class QPushButton;
class QTableWidget;

namespace pressbird {

struct ActivityEntry;

// What a scan would press now, found by a dry run; the pages outline the
// matches meanwhile. Run again asks for a fresh dry run.
class PreviewWindow final : public QWidget {
    Q_OBJECT

public:
    explicit PreviewWindow(QWidget *parent = nullptr);

    void showRunning();
    void showMatches(const QList<ActivityEntry> &matches);

    QTableWidget *table() const { return m_table; }

Q_SIGNALS:
    void runRequested();

private:
    QLabel *m_summary;
    QPushButton *m_run;
    QTableWidget *m_table;
};

} // namespace pressbird
