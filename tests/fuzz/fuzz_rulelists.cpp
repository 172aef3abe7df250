// Rule lists as a user could type them, saved and loaded again: every line
// comes back with its text and its tick (each list in reverse, as a load puts
// every line at the top). Then a stored section of arbitrary rows, loaded,
// saved and loaded again, must load the same the second time.

#include "memoryrulelist.h"
#include "memorysettingsstore.h"
#include "ruleentry.h"
#include "rulepersistence.h"
#include "settings.h"

#include <QDir>

#include <cstdlib>
#include <fuzzer/FuzzedDataProvider.h>

using namespace pressbird;

namespace {

QString takeText(FuzzedDataProvider &data, size_t most) {
    const std::string bytes = data.ConsumeRandomLengthString(most);
    return QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
}

struct Line {
    QString text;
    bool ticked;
    bool operator==(const Line &) const = default;
};

QList<Line> linesOf(const RuleList &list) {
    QList<Line> lines;
    for (std::int16_t i = 0; i < list.count(); ++i)
        lines.append({list.text(i).value_or(QString()), list.ticked(i).value_or(false)});
    return lines;
}

// Nothing may be set aside in a fuzz run: rows the load leaves are kept in memory only.
Settings settingsOver(SettingsStore &store) {
    return Settings(store, QStringLiteral("/nonexistent/pressbird-fuzz"));
}

void typedListsComeBack(FuzzedDataProvider &data) {
    MemoryRuleList listClick, listPush;
    const int lines = data.ConsumeIntegralInRange(0, 12);
    for (int n = 0; n < lines; ++n) {
        MemoryRuleList &list = data.ConsumeBool() ? listClick : listPush;
        const QString name = takeText(data, 64);
        const QString kind = data.ConsumeBool()
                                 ? linkKindCaptions().at(data.ConsumeIntegralInRange(0, 3))
                                 : takeText(data, 32);
        if (name.isEmpty() || kind.isEmpty())
            continue; // Add refuses these
        list.append(MakeEntryText(name, kind));
        list.setTicked(list.count() - 1, data.ConsumeBool());
    }
    MemorySettingsStore store;
    Settings settings = settingsOver(store);
    if (!ListUpdate(settings, listClick, listPush, WindowMarker::None))
        std::abort();
    MemoryRuleList loadedClick, loadedPush;
    WindowMarker marker = WindowMarker::None;
    FillList(settings, loadedClick, loadedPush, marker);
    QList<Line> click = linesOf(listClick), push = linesOf(listPush);
    std::reverse(click.begin(), click.end());
    std::reverse(push.begin(), push.end());
    if (linesOf(loadedClick) != click || linesOf(loadedPush) != push)
        std::abort();
    if (listClick.count() + listPush.count() > 0 && marker != WindowMarker::None)
        std::abort();
}

void storedRowsLoadStably(FuzzedDataProvider &data) {
    SettingRows rows;
    const int count = data.ConsumeIntegralInRange(0, 12);
    for (int n = 0; n < count; ++n)
        rows.append({takeText(data, 16), takeText(data, 64)});
    MemorySettingsStore store;
    store.ReplaceSection(kAppName.toString(), kListSection.toString(), rows);
    Settings settings = settingsOver(store);
    MemoryRuleList click1, push1, click2, push2;
    WindowMarker marker = WindowMarker::None;
    FillList(settings, click1, push1, marker);
    // Saving after a load, as the next change does; a load stopped early is
    // never rewritten without a place to set the section aside.
    const bool loadedPart = marker == WindowMarker::Skip &&
                            store.CountSettings(kAppName.toString(), kListSection.toString()) > 0;
    const bool saved = ListUpdate(settings, click1, push1, WindowMarker::None);
    if (loadedPart && saved)
        std::abort();
    if (!saved)
        return;
    WindowMarker again = WindowMarker::None;
    FillList(settings, click2, push2, again);
    QList<Line> click = linesOf(click1), push = linesOf(push1);
    std::reverse(click.begin(), click.end());
    std::reverse(push.begin(), push.end());
    if (linesOf(click2) != click || linesOf(push2) != push)
        std::abort();
    // Skip stays only where there was nothing to load.
    if (again == WindowMarker::Skip && click1.count() + push1.count() > 0)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size) {
    FuzzedDataProvider data(bytes, size);
    if (data.ConsumeBool())
        typedListsComeBack(data);
    else
        storedRowsLoadStably(data);
    return 0;
}
