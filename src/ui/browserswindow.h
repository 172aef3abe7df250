#pragma once

#include <QWidget>

class QTableWidget;

namespace pressbird {

struct BrowserState;

// Every browser Pressbird knows and how it stands, with how to connect one.
class BrowsersWindow final : public QWidget {
    Q_OBJECT

public:
    explicit BrowsersWindow(const QUrl &helpPage, QWidget *parent = nullptr);

    void showStates(const QList<BrowserState> &states);
    QTableWidget *table() const { return m_table; }

private:
    QTableWidget *m_table;
};

} // namespace pressbird
