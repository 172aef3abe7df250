#pragma once

#include <QWidget>

class QLineEdit;
class QTableWidget;

namespace pressbird {

class ActivityLog;

// The presses Pressbird made, newest first, with a filter box and Clear.
class ActivityWindow final : public QWidget {
    Q_OBJECT

public:
    explicit ActivityWindow(ActivityLog &log, QWidget *parent = nullptr);

    // Reads the log again; called when shown and after every press.
    void refresh();

    QLineEdit *filterBox() const { return m_filter; }
    QTableWidget *table() const { return m_table; }

private:
    void applyFilter();

    ActivityLog &m_log;
    QLineEdit *m_filter;
    QTableWidget *m_table;
};

} // namespace pressbird
