#include "rulepersistence.h"

namespace pressbird {

namespace {

inline constexpr QStringView kCheckedSplit = u" -Checked:";

QString trimmedOfSpaces(const QString &text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin) == u' ')
        ++begin;
    while (end > begin && text.at(end - 1) == u' ')
        --end;
    return text.mid(begin, end - begin);
}

// Puts one stored value at the top of the list; false when loading must stop.
bool loadLine(const QString &value, EditableRuleList &list) {
    // An empty value splits into no pieces at all.
    if (value.isEmpty())
        return false;
    const QStringList pieces = value.split(kCheckedSplit.toString());
    if (!list.insertAtTop(pieces.at(0)))
        return false;
    if (pieces.size() < 2)
        return false;
    if (trimmedOfSpaces(pieces.at(1)) == u"True")
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

void FillList(SettingsStore &store, EditableRuleList &listClick, EditableRuleList &listPush,
              QString &marker, const std::function<void()> &yield) {
    marker = kMarkerSkip.toString();
    const QString app = kAppName.toString();
    const QString section = kListSection.toString();
    const std::optional<SettingRows> rows = store.GetAllSettings(app, section);
    if (!rows)
        return;
    for (const SettingRow &row : *rows) {
        if (yield)
            yield();
        const QStringView head = QStringView(row.key).left(5);
        EditableRuleList *list = nullptr;
        if (head == u"listp")
            list = &listPush;
        else if (head == u"listc")
            list = &listClick;
        if (!list)
            continue;
        if (!loadLine(store.GetSetting(app, section, row.key, QString()), *list))
            return;
    }
    marker.clear();
}

bool ListUpdate(SettingsStore &store, const RuleList &listClick, const RuleList &listPush,
                const QString &marker) {
    if (marker == kMarkerSkip)
        return true;
    // Built whole before the one transaction, without yielding, so that no
    // other save can start in between and no crash can leave half a section.
    SettingRows rows;
    rows.reserve(listPush.count() + listClick.count());
    appendRows(rows, kPushKeyPrefix, listPush);
    appendRows(rows, kClickKeyPrefix, listClick);
    return store.ReplaceSection(kAppName.toString(), kListSection.toString(), rows);
}

} // namespace pressbird
