#pragma once

#include <QWidget>

class QLabel;
class QTableWidget;

namespace pressbird {

struct BrowserState;
struct ExtensionRoute;
struct PageInfo;

// Every browser Pressbird knows and how it stands, with how to connect one:
// below them, the Pressbird Connector per browser family, with an Install
// button where Pressbird can install it for this user.
class BrowsersWindow final : public QWidget {
    Q_OBJECT

public:
    explicit BrowsersWindow(const QUrl &helpPage, QWidget *parent = nullptr);

    void showStates(const QList<BrowserState> &states);
    void showRoutes(const QList<ExtensionRoute> &routes);
    // What the last install led to, and what to do next.
    void showInstallOutcome(const QString &text);
    // The tabs today's walk stopped short of their end in the latest scan.
    void showCutShort(const QList<PageInfo> &pages);

    QTableWidget *table() const { return m_table; }
    QTableWidget *connectorTable() const { return m_connector; }

Q_SIGNALS:
    void installRequested(const QString &family);

private:
    QTableWidget *m_table;
    QTableWidget *m_connector;
    QLabel *m_outcome;
    QLabel *m_cutShort;
};

} // namespace pressbird
