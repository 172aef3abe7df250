#include "browserswindow.h"

#include "browser.h"
#include "programtitle.h"

#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QUrl>
#include <QVBoxLayout>

namespace pressbird {

BrowsersWindow::BrowsersWindow(const QUrl &helpPage, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_table(new QTableWidget(0, 3, this)) {
    setObjectName(QStringLiteral("BrowsersWindow"));
    setWindowTitle(QStringLiteral("%1 - Browsers").arg(kProgramTitle));
    m_table->setHorizontalHeaderLabels(
        {QStringLiteral("Browser"), QStringLiteral("State"), QStringLiteral("Tabs")});
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->verticalHeader()->hide();
    m_table->setWordWrap(false);
    auto *how = new QLabel(
        QStringLiteral("<p>To let Pressbird reach a browser, start one with "
                       "<code>pressbird-browser</code>, or turn on the browser's own switch "
                       "(Chromium: <code>chrome://inspect/#remote-debugging</code>, \"Allow "
                       "remote debugging for this browser instance\"). <a href=\"%1\">How to "
                       "connect a browser</a></p>")
            .arg(helpPage.toString(QUrl::FullyEncoded)),
        this);
    how->setObjectName(QStringLiteral("HowToConnect"));
    how->setWordWrap(true);
    how->setOpenExternalLinks(true);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_table);
    layout->addWidget(how);
    resize(560, 300);
}

void BrowsersWindow::showStates(const QList<BrowserState> &states) {
    m_table->setRowCount(int(states.size()));
    for (int row = 0; row < states.size(); ++row) {
        const BrowserState &state = states.at(row);
        m_table->setItem(row, 0, new QTableWidgetItem(state.browser));
        m_table->setItem(row, 1, new QTableWidgetItem(state.state));
        m_table->setItem(
            row, 2, new QTableWidgetItem(state.tabs > 0 ? QString::number(state.tabs) : QString()));
    }
    if (states.isEmpty()) {
        m_table->setRowCount(1);
        m_table->setItem(0, 0, new QTableWidgetItem(QStringLiteral("none found yet")));
    }
    m_table->resizeColumnsToContents();
}

} // namespace pressbird
