#include "rulelistwidget.h"

#include <QKeyEvent>
#include <QMouseEvent>

#include <utility>

namespace pressbird {

RuleListWidget::RuleListWidget(QWidget *parent)
    : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSortingEnabled(false);
    setContextMenuPolicy(Qt::NoContextMenu);
    const auto noteChange = [this] {
        if (m_inUserEvent)
            m_changedByUser = true;
    };
    connect(this, &QListWidget::itemChanged, this, noteChange);
    connect(this, &QListWidget::itemSelectionChanged, this, noteChange);
    // Every way the rows can change, from code or from the user, goes through the model.
    const auto revise = [this] { ++m_revision; };
    QAbstractItemModel *rows = model();
    m_revisions = {connect(rows, &QAbstractItemModel::dataChanged, this, revise),
                   connect(rows, &QAbstractItemModel::rowsInserted, this, revise),
                   connect(rows, &QAbstractItemModel::rowsRemoved, this, revise),
                   connect(rows, &QAbstractItemModel::rowsMoved, this, revise),
                   connect(rows, &QAbstractItemModel::layoutChanged, this, revise),
                   connect(rows, &QAbstractItemModel::modelReset, this, revise)};
}

// The view's base destroys the model, which tells of its rows going: by then
// this is no list of rules to count revisions of.
RuleListWidget::~RuleListWidget() {
    for (const QMetaObject::Connection &revision : std::as_const(m_revisions))
        disconnect(revision);
}

std::int16_t RuleListWidget::count() const {
    return static_cast<std::int16_t>(QListWidget::count());
}

std::optional<QString> RuleListWidget::text(std::int16_t index) const {
    if (!valid(index))
        return std::nullopt;
    return item(index)->text();
}

std::optional<bool> RuleListWidget::ticked(std::int16_t index) const {
    if (!valid(index))
        return std::nullopt;
    return item(index)->checkState() == Qt::Checked;
}

QListWidgetItem *RuleListWidget::makeItem(const QString &text) const {
    auto *entry = new QListWidgetItem(text);
    entry->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    entry->setCheckState(Qt::Unchecked);
    return entry;
}

bool RuleListWidget::append(const QString &text) {
    if (QListWidget::count() >= kMaxEntries)
        return false;
    addItem(makeItem(text));
    return true;
}

bool RuleListWidget::insertAtTop(const QString &text) {
    if (QListWidget::count() >= kMaxEntries)
        return false;
    insertItem(0, makeItem(text));
    return true;
}

void RuleListWidget::setTicked(std::int16_t index, bool ticked) {
    if (valid(index))
        item(index)->setCheckState(ticked ? Qt::Checked : Qt::Unchecked);
}

void RuleListWidget::remove(std::int16_t index) {
    if (!valid(index))
        return;
    const std::int16_t current = currentEntry();
    delete takeItem(index);
    // The view moves the highlight to a neighbour when the line under it goes;
    // a removed current entry must leave none instead.
    if (current == index)
        setCurrentEntry(-1);
    else
        setCurrentEntry(current > index ? static_cast<std::int16_t>(current - 1) : current);
}

std::int16_t RuleListWidget::currentEntry() const {
    const QModelIndexList selected = selectionModel()->selectedIndexes();
    if (selected.isEmpty())
        return -1;
    return static_cast<std::int16_t>(selected.first().row());
}

void RuleListWidget::setCurrentEntry(std::int16_t index) {
    if (valid(index)) {
        setCurrentRow(index, QItemSelectionModel::ClearAndSelect);
        return;
    }
    clearSelection();
    selectionModel()->clearCurrentIndex();
}

void RuleListWidget::mousePressEvent(QMouseEvent *event) {
    if (event->button() == Qt::RightButton) {
        // The context menu opens without moving the highlight or a tick.
        event->accept();
        Q_EMIT MouseDown(2, event->globalPosition().toPoint());
        return;
    }
    if (event->button() != Qt::LeftButton) {
        event->accept();
        return;
    }
    // The view would clear the highlight on a press below the last line; the
    // current entry is what Delete removes, so it stays.
    if (!indexAt(event->position().toPoint()).isValid()) {
        event->accept();
        setFocus(Qt::MouseFocusReason);
        Q_EMIT MouseDown(1, event->globalPosition().toPoint());
        return;
    }
    m_leftPressed = true;
    m_changedByUser = false;
    m_inUserEvent = true;
    QListWidget::mousePressEvent(event);
    m_inUserEvent = false;
    Q_EMIT MouseDown(1, event->globalPosition().toPoint());
}

void RuleListWidget::mouseDoubleClickEvent(QMouseEvent *event) {
    if (event->button() != Qt::LeftButton) {
        event->accept();
        return;
    }
    m_leftPressed = true;
    m_inUserEvent = true;
    QListWidget::mouseDoubleClickEvent(event);
    m_inUserEvent = false;
}

void RuleListWidget::mouseMoveEvent(QMouseEvent *event) {
    if (event->buttons() != Qt::NoButton && !m_leftPressed) {
        event->accept();
        return;
    }
    m_inUserEvent = m_leftPressed;
    QListWidget::mouseMoveEvent(event);
    m_inUserEvent = false;
}

void RuleListWidget::mouseReleaseEvent(QMouseEvent *event) {
    if (event->button() != Qt::LeftButton || !m_leftPressed) {
        event->accept();
        return;
    }
    m_leftPressed = false;
    m_inUserEvent = true;
    QListWidget::mouseReleaseEvent(event);
    m_inUserEvent = false;
    const bool onLine = indexAt(event->position().toPoint()).isValid();
    if (onLine || std::exchange(m_changedByUser, false))
        Q_EMIT Click();
}

void RuleListWidget::keyPressEvent(QKeyEvent *event) {
    m_changedByUser = false;
    m_inUserEvent = true;
    QListWidget::keyPressEvent(event);
    m_inUserEvent = false;
    if (std::exchange(m_changedByUser, false))
        Q_EMIT Click();
}

} // namespace pressbird
