#include "activitywindow.h"

#include "activitylog.h"
#include "programtitle.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace pressbird {

ActivityWindow::ActivityWindow(ActivityLog &log, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_log(log)
    , m_filter(new QLineEdit(this))
    , m_table(new QTableWidget(0, 8, this)) {
    setObjectName(QStringLiteral("ActivityWindow"));
    setWindowTitle(QStringLiteral("%1 - Activity").arg(kProgramTitle));
    m_filter->setObjectName(QStringLiteral("Filter"));
    m_filter->setPlaceholderText(QStringLiteral("Show only presses containing..."));
    m_filter->setClearButtonEnabled(true);
    auto *clear = new QPushButton(QStringLiteral("Clear"), this);
    clear->setObjectName(QStringLiteral("Clear"));
    m_table->setHorizontalHeaderLabels({QStringLiteral("Time"), QStringLiteral("List"),
                                        QStringLiteral("Rule"), QStringLiteral("Pressed"),
                                        QStringLiteral("Page"), QStringLiteral("Address"),
                                        QStringLiteral("Frame"), QStringLiteral("Outcome")});
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->verticalHeader()->hide();
    m_table->setWordWrap(false);

    auto *top = new QHBoxLayout;
    top->addWidget(m_filter, 1);
    top->addWidget(clear);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_table);
    resize(760, 420);

    connect(m_filter, &QLineEdit::textChanged, this, &ActivityWindow::applyFilter);
    connect(clear, &QPushButton::clicked, this, [this] {
        m_log.clear();
        refresh();
    });
}

void ActivityWindow::refresh() {
    const QList<ActivityEntry> entries = m_log.recent(ActivityLog::kMaxEntries);
    m_table->setRowCount(int(entries.size()));
    int row = 0;
    // Newest first.
    for (auto it = entries.crbegin(); it != entries.crend(); ++it, ++row) {
        const QStringList cells = {it->time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                                   it->link ? QStringLiteral("link") : QStringLiteral("button"),
                                   it->entry,
                                   it->element,
                                   it->pageTitle,
                                   it->pageAddress,
                                   it->frame,
                                   it->outcome};
        for (int column = 0; column < cells.size(); ++column)
            m_table->setItem(row, column, new QTableWidgetItem(cells.at(column)));
    }
    m_table->resizeColumnsToContents();
    applyFilter();
}

void ActivityWindow::applyFilter() {
    const QString wanted = m_filter->text();
    for (int row = 0; row < m_table->rowCount(); ++row) {
        bool shown = wanted.isEmpty();
        for (int column = 0; !shown && column < m_table->columnCount(); ++column) {
            const QTableWidgetItem *item = m_table->item(row, column);
            shown = item && item->text().contains(wanted, Qt::CaseInsensitive);
        }
        m_table->setRowHidden(row, !shown);
    }
}

} // namespace pressbird
