#include "ruleoptionswindow.h"

#include "programtitle.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace pressbird {

namespace {

QSpinBox *limitBox(const QString &name, QWidget *parent) {
    auto *box = new QSpinBox(parent);
    box->setObjectName(name);
    box->setRange(0, RuleOptions::kMostPresses);
    // 0 is the box's lowest value and means what a rule always did.
    box->setSpecialValueText(QStringLiteral("no limit"));
    return box;
}

QString listWord(RuleListKind list) {
    return list == RuleListKind::Links ? QStringLiteral("link") : QStringLiteral("button");
}

} // namespace

RuleOptionsWindow::RuleOptionsWindow(QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_list(new QTreeWidget(this))
    , m_sites(new QLineEdit(this))
    , m_perLoad(limitBox(QStringLiteral("PerLoad"), this))
    , m_perHour(limitBox(QStringLiteral("PerHour"), this))
    , m_notify(new QCheckBox(QStringLiteral("Notify me when it presses"), this))
    , m_apply(new QPushButton(QStringLiteral("Apply"), this))
    , m_problem(new QLabel(this)) {
    setObjectName(QStringLiteral("RuleOptionsWindow"));
    setWindowTitle(QStringLiteral("%1 Rule Options").arg(kProgramTitle));
    m_list->setObjectName(QStringLiteral("Rules"));
    m_list->setHeaderLabels({QStringLiteral("List"), QStringLiteral("Rule"),
                             QStringLiteral("Sites"), QStringLiteral("Limits"),
                             QStringLiteral("Notify")});
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->header()->setStretchLastSection(false);
    m_sites->setObjectName(QStringLiteral("Sites"));
    m_sites->setPlaceholderText(QStringLiteral("everywhere; or example.com, *.example.com/watch"));
    m_notify->setObjectName(QStringLiteral("Notify"));
    m_apply->setObjectName(QStringLiteral("Apply"));
    m_problem->setObjectName(QStringLiteral("Problem"));
    m_problem->setWordWrap(true);
    m_problem->setTextFormat(Qt::PlainText);

    auto *editor = new QGroupBox(QStringLiteral("The selected rule"), this);
    auto *form = new QFormLayout(editor);
    form->addRow(QStringLiteral("Sites:"), m_sites);
    form->addRow(QStringLiteral("At most, per page load:"), m_perLoad);
    form->addRow(QStringLiteral("At most, per hour:"), m_perHour);
    form->addRow(m_notify);
    form->addRow(m_apply);
    form->addRow(m_problem);
    auto *explanation = new QLabel(
        QStringLiteral("A rule presses only on the sites listed (a host, *. and a host for every "
                       "host below it, a path after it if you like; none: everywhere), no more "
                       "often than its limits, and with a desktop notification if you ask for "
                       "one. A change is saved at once and applies from the next press."),
        this);
    explanation->setWordWrap(true);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_list, 1);
    layout->addWidget(editor);
    layout->addWidget(explanation);
    resize(680, 520);
    editor->setEnabled(false);
    connect(m_list, &QTreeWidget::currentItemChanged, this, [this, editor] {
        editor->setEnabled(m_list->currentItem() != nullptr);
        showSelected();
    });
    connect(m_apply, &QPushButton::clicked, this, &RuleOptionsWindow::apply);
    connect(m_sites, &QLineEdit::returnPressed, this, &RuleOptionsWindow::apply);
}

void RuleOptionsWindow::showRules(const QList<Row> &rows) {
    const int selected =
        m_list->currentItem() ? m_list->indexOfTopLevelItem(m_list->currentItem()) : -1;
    const std::optional<RuleKey> keep = selected >= 0 && selected < m_rows.size()
                                            ? std::optional(m_rows.at(selected).rule)
                                            : std::nullopt;
    m_rows = rows;
    const QSignalBlocker quiet(m_list);
    m_list->clear();
    QList<QTreeWidgetItem *> items;
    QTreeWidgetItem *current = nullptr;
    for (const Row &row : m_rows) {
        auto *item = new QTreeWidgetItem(
            {listWord(row.rule.list), row.rule.entry,
             row.options.sites.isEmpty() ? QStringLiteral("everywhere")
                                         : sitesText(row.options.sites),
             limitText(row.options), row.options.notify ? QStringLiteral("on") : QString()});
        items.append(item);
        if (keep && row.rule == *keep)
            current = item;
    }
    m_list->addTopLevelItems(items);
    for (int column = 0; column < 4; ++column)
        m_list->resizeColumnToContents(column);
    m_list->setCurrentItem(current);
    showSelected();
}

void RuleOptionsWindow::showSelected() {
    m_problem->clear();
    const int index =
        m_list->currentItem() ? m_list->indexOfTopLevelItem(m_list->currentItem()) : -1;
    const RuleOptions options = index >= 0 ? m_rows.at(index).options : RuleOptions();
    m_sites->setText(sitesText(options.sites));
    m_perLoad->setValue(options.perLoad);
    m_perHour->setValue(options.perHour);
    m_notify->setChecked(options.notify);
}

void RuleOptionsWindow::apply() {
    const int index =
        m_list->currentItem() ? m_list->indexOfTopLevelItem(m_list->currentItem()) : -1;
    if (index < 0)
        return;
    std::variant<QList<SitePattern>, QString> sites = parseSites(m_sites->text());
    if (const QString *why = std::get_if<QString>(&sites)) {
        m_problem->setText(*why);
        return;
    }
    RuleOptions options;
    options.sites = std::get<QList<SitePattern>>(std::move(sites));
    options.perLoad = m_perLoad->value();
    options.perHour = m_perHour->value();
    options.notify = m_notify->isChecked();
    // A copy: the answer to the signal may show the rules anew.
    const RuleKey rule = m_rows.at(index).rule;
    Q_EMIT changed(rule, options);
}

} // namespace pressbird
