#include "previewwindow.h"

#include "activitylog.h"
#include "programtitle.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace pressbird {

PreviewWindow::PreviewWindow(QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_summary(new QLabel(this))
    , m_run(new QPushButton(QStringLiteral("Run again"), this))
    , m_table(new QTableWidget(0, 7, this)) {
    setObjectName(QStringLiteral("PreviewWindow"));
    setWindowTitle(QStringLiteral("%1 - Preview").arg(kProgramTitle));
    m_run->setObjectName(QStringLiteral("RunAgain"));
    m_table->setHorizontalHeaderLabels({QStringLiteral("List"), QStringLiteral("Rule"),
                                        QStringLiteral("Would press"), QStringLiteral("Page"),
                                        QStringLiteral("Address"), QStringLiteral("Frame"),
                                        QStringLiteral("Held back")});
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->verticalHeader()->hide();
    m_table->setWordWrap(false);
    auto *top = new QHBoxLayout;
    top->addWidget(m_summary, 1);
    top->addWidget(m_run);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_table);
    resize(720, 360);
    connect(m_run, &QPushButton::clicked, this, &PreviewWindow::runRequested);
}

void PreviewWindow::showRunning() {
    m_run->setEnabled(false);
    m_summary->setText(QStringLiteral("Looking through every browser reached now; nothing is "
                                      "pressed..."));
}

void PreviewWindow::showMatches(const QList<ActivityEntry> &matches) {
    m_run->setEnabled(true);
    const qsizetype heldBack =
        std::count_if(matches.cbegin(), matches.cend(),
                      [](const ActivityEntry &m) { return !m.outcome.isEmpty(); });
    QString summary =
        matches.isEmpty()
            ? QStringLiteral("No ticked rule matches anything in the pages reached now.")
            : QStringLiteral("A scan now would press %1 element(s); they are outlined in their "
                             "pages for a few seconds. Nothing was pressed.")
                  .arg(matches.size() - heldBack);
    if (heldBack > 0)
        summary +=
            QStringLiteral(" %1 more match(es) are held back by their rule's limit.").arg(heldBack);
    m_summary->setText(summary);
    m_table->setRowCount(int(matches.size()));
    for (int row = 0; row < matches.size(); ++row) {
        const ActivityEntry &match = matches.at(row);
        const QStringList cells = {match.link ? QStringLiteral("link") : QStringLiteral("button"),
                                   match.entry,
                                   match.element,
                                   match.pageTitle,
                                   match.pageAddress,
                                   match.frame,
                                   match.outcome};
        for (int column = 0; column < cells.size(); ++column)
            m_table->setItem(row, column, new QTableWidgetItem(cells.at(column)));
    }
    m_table->resizeColumnsToContents();
}

} // namespace pressbird
