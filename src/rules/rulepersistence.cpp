#include "rulepersistence.h"

#include "ruleentry.h"
#include "settings.h"

namespace pressbird {

namespace {

inline constexpr QStringView kCheckedSplit = u" -Checked:";

// More rows than both lists can hold are never read: a load of a store that
// grew out of bounds stops there, and the rest is set aside, not dropped.
constexpr qsizetype kMostRowsRead = 2 * qsizetype(RuleList::kMaxEntries) + 1;

// Puts one stored value at the top of the list; false when loading must stop.
// Every value Pressbird writes ends with the tick suffix, so the value splits
// at its last " -Checked:": a rule name holding those words comes back whole.
bool loadLine(const QString &value, EditableRuleList &list) {
    // An empty value splits into no pieces at all.
    if (value.isEmpty())
        return false;
    const qsizetype split = value.lastIndexOf(kCheckedSplit);
    if (!list.insertAtTop(split < 0 ? value : value.first(split)))
        return false;
    if (split < 0)
        return false;
    if (TrimBlanks(QStringView(value).sliced(split + kCheckedSplit.size())) == u"True")
        list.setTicked(0, true);
    return true;
}

void appendRows(SettingRows &rows, QStringView prefix, const RuleList &list) {
    const std::int16_t count = list.count();
    for (std::int16_t n = 0; n < count; ++n) {
        const std::optional<QString> text = list.text(n);
        if (!text)
            continue;
        QString value = *text;
        value.append(kCheckedSuffix).append(list.ticked(n).value_or(false) ? u"True" : u"False");
        rows.append({prefix.toString().append(QString::number(n)), value});
    }
}

} // namespace

// No yield per row: the load runs once, before the event loop starts, and
// the most it reads loads in milliseconds.
void FillList(Settings &settings, EditableRuleList &listClick, EditableRuleList &listPush,
              WindowMarker &marker) {
    marker = WindowMarker::Skip;
    const std::optional<SettingRows> rows = settings.ruleRows(kMostRowsRead);
    if (!rows)
        return;
    // Rows taken: into a list (a bad one too: its name goes in before the
    // load stops), or passed over as not a rule.
    const qsizetype linesBefore = listClick.count() + listPush.count();
    qsizetype passedOver = 0;
    const auto stopped = [&] {
        const qsizetype taken = listClick.count() + listPush.count() - linesBefore + passedOver;
        settings.noteRulesNotAllLoaded(settings.ruleRowCount() - taken);
    };
    for (const SettingRow &row : *rows) {
        const QStringView head = QStringView(row.key).left(5);
        EditableRuleList *list = nullptr;
        if (head == u"listp")
            list = &listPush;
        else if (head == u"listc")
            list = &listClick;
        if (!list) {
            ++passedOver;
            continue;
        }
        if (!loadLine(settings.ruleValue(row.key), *list)) {
            stopped();
            return;
        }
    }
    if (settings.ruleRowCount() > rows->size()) {
        stopped();
        return;
    }
    marker = WindowMarker::None;
}

bool ListUpdate(Settings &settings, const RuleList &listClick, const RuleList &listPush,
                WindowMarker marker) {
    if (marker == WindowMarker::Skip)
        return true;
    // Built whole before the one transaction, without yielding, so that no
    // other save can start in between and no crash can leave half a section.
    SettingRows rows;
    rows.reserve(listPush.count() + listClick.count());
    appendRows(rows, kPushKeyPrefix, listPush);
    appendRows(rows, kClickKeyPrefix, listClick);
    return settings.saveRules(rows);
}

} // namespace pressbird
