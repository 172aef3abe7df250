#include "browserswindow.h"

#include "browser.h"
#include "extensioninstaller.h"
#include "programtitle.h"
#include "scanengine.h"

#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTableWidget>
#include <QUrl>
#include <QVBoxLayout>

namespace pressbird {

namespace {

void setUpTable(QTableWidget *table, const QStringList &headers) {
    table->setHorizontalHeaderLabels(headers);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->horizontalHeader()->setStretchLastSection(true);
    table->verticalHeader()->hide();
    table->setWordWrap(false);
}

} // namespace

BrowsersWindow::BrowsersWindow(const QUrl &helpPage, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_table(new QTableWidget(0, 3, this))
    , m_connector(new QTableWidget(0, 3, this))
    , m_outcome(new QLabel(this))
    , m_cutShort(new QLabel(this)) {
    setObjectName(QStringLiteral("BrowsersWindow"));
    setWindowTitle(QStringLiteral("%1 - Browsers").arg(kProgramTitle));
    setUpTable(m_table,
               {QStringLiteral("Browser"), QStringLiteral("State"), QStringLiteral("Tabs")});
    m_connector->setObjectName(QStringLiteral("ConnectorRoutes"));
    setUpTable(m_connector, {QStringLiteral("Browser"), QStringLiteral(""),
                             QStringLiteral("Pressbird Connector")});
    m_outcome->setObjectName(QStringLiteral("InstallOutcome"));
    m_outcome->setWordWrap(true);
    m_outcome->setTextInteractionFlags(Qt::TextSelectableByMouse);
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
    m_cutShort->setObjectName(QStringLiteral("CutShort"));
    m_cutShort->setWordWrap(true);
    m_cutShort->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_cutShort->hide();
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_table, 1);
    layout->addWidget(m_cutShort);
    layout->addWidget(how);
    layout->addWidget(m_connector, 1);
    layout->addWidget(m_outcome);
    resize(820, 460);
}

void BrowsersWindow::showRoutes(const QList<ExtensionRoute> &routes) {
    m_connector->setRowCount(int(routes.size()));
    for (int row = 0; row < routes.size(); ++row) {
        const ExtensionRoute &route = routes.at(row);
        m_connector->setItem(row, 0, new QTableWidgetItem(route.family));
        m_connector->removeCellWidget(row, 1);
        if (route.installable) {
            auto *install = new QPushButton(QStringLiteral("Install"));
            install->setObjectName(u"Install "_qs + route.family);
            connect(install, &QPushButton::clicked, this,
                    [this, family = route.family] { Q_EMIT installRequested(family); });
            m_connector->setCellWidget(row, 1, install);
        }
        auto *state = new QTableWidgetItem(route.state);
        state->setToolTip(route.state);
        m_connector->setItem(row, 2, state);
    }
    m_connector->setVisible(!routes.isEmpty());
    m_connector->resizeColumnsToContents();
}

void BrowsersWindow::showCutShort(const QList<PageInfo> &pages) {
    QStringList tabs;
    for (const PageInfo &page : pages)
        tabs.append((page.title.isEmpty() ? page.address : page.title).toHtmlEscaped());
    m_cutShort->setText(
        QStringLiteral("<p>Cut short in the last scan (more than %1 elements, more than %2 "
                       "frames, or frames slower than %3 s in all; the rest not read): %4</p>")
            .arg(QLocale().toString(kTodayElementBudget))
            .arg(BrowserWindow::kMostFrames)
            .arg(ScanEngine::kTodayFramesMs / 1000)
            .arg(tabs.join(u"; ")));
    m_cutShort->setVisible(!pages.isEmpty());
}

void BrowsersWindow::showInstallOutcome(const QString &text) {
    m_outcome->setText(text);
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
