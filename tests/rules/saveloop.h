#pragma once

// What the save-loop helper writes, so that a test can tell a whole section
// from a torn one.

#include "memoryrulelist.h"
#include "settingsstore.h"

#include <QRegularExpression>

namespace pressbird::testing {

inline int pushCountOf(int generation) {
    return generation % 5 + 3;
}
inline int clickCountOf(int generation) {
    return generation % 3 + 2;
}

// Long values spread one save over many database pages.
inline QString generationEntry(int writer, int generation, const char *list, int line) {
    return QStringLiteral("w%1 g%2 %3 %4 %5 -Type: Contains")
        .arg(writer)
        .arg(generation)
        .arg(QString::fromLatin1(list))
        .arg(line)
        .arg(QString(1500, u'x'));
}

inline void fillGeneration(int writer, int generation, MemoryRuleList &listClick,
                           MemoryRuleList &listPush) {
    listClick = MemoryRuleList();
    listPush = MemoryRuleList();
    for (int i = 0; i < pushCountOf(generation); ++i)
        listPush.append(generationEntry(writer, generation, "push", i));
    for (int i = 0; i < clickCountOf(generation); ++i)
        listClick.append(generationEntry(writer, generation, "click", i));
    listPush.setTicked(0, generation % 2 == 0);
}

struct Generation {
    int writer = -1;
    int generation = -1;
};

// The one generation the section holds, or nullopt (with why) when it is torn.
inline std::optional<Generation> wholeGeneration(const SettingRows &rows, QString &why) {
    static const QRegularExpression form(QStringLiteral(
        "^w(\\d+) g(\\d+) (push|click) (\\d+) x{1500} -Type: Contains -Checked: (True|False)$"));
    std::optional<Generation> seen;
    int push = 0;
    int click = 0;
    for (const SettingRow &row : rows) {
        const QRegularExpressionMatch match = form.match(row.value);
        if (!match.hasMatch()) {
            why = QStringLiteral("malformed value under ") + row.key;
            return std::nullopt;
        }
        const Generation g{match.captured(1).toInt(), match.captured(2).toInt()};
        if (seen && (seen->writer != g.writer || seen->generation != g.generation)) {
            why = QStringLiteral("two generations mixed");
            return std::nullopt;
        }
        seen = g;
        const bool isPush = match.captured(3) == u"push";
        if (isPush && click > 0) {
            why = QStringLiteral("a button rule after a link rule");
            return std::nullopt;
        }
        int &n = isPush ? push : click;
        const QString expectedKey =
            (isPush ? QStringLiteral("listpush-") : QStringLiteral("listclick-")) +
            QString::number(n);
        if (row.key != expectedKey || match.captured(4).toInt() != n) {
            why = QStringLiteral("key out of order: ") + row.key;
            return std::nullopt;
        }
        ++n;
    }
    if (!seen || push != pushCountOf(seen->generation) || click != clickCountOf(seen->generation)) {
        why = QStringLiteral("rows missing");
        return std::nullopt;
    }
    return seen;
}

} // namespace pressbird::testing
