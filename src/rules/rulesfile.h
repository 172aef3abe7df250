#pragma once

#include "rulelist.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace pressbird {

// Both rule lists as a JSON file a person can read and edit:
//   {"format": "pressbird-rules", "version": 1,
//    "links":   [{"name": "Next", "kind": "Starts With", "ticked": true}, ...],
//    "buttons": [...]}
// in list order. A rule line is its name and kind joined by " -Type: ".
struct RuleLine {
    QString text;
    bool ticked = false;
    friend bool operator==(const RuleLine &, const RuleLine &) = default;
};

struct RulesFile {
    QList<RuleLine> links;
    QList<RuleLine> buttons;
};

// A file to import is untrusted: anything larger is refused before it is read.
inline constexpr qint64 kMostRulesFileBytes = 16 * 1024 * 1024;

QByteArray ExportRules(const RuleList &links, const RuleList &buttons);

// The rules of a file, or why it is refused, naming the place ("line 3,
// column 7", "links[4].kind").
struct RulesFileRead {
    std::optional<RulesFile> rules;
    QString error;
};
RulesFileRead ParseRulesFile(const QByteArray &bytes);
RulesFileRead ReadRulesFile(const QString &path);

// Appends the imported rules to the end of their lists, leaving alone any
// line a list holds already. All or nothing: when a list would overflow,
// nothing changes and the reason comes back. `added` counts the new lines.
std::optional<QString> AddImportedRules(const RulesFile &rules, EditableRuleList &links,
                                        EditableRuleList &buttons, int *added = nullptr);

} // namespace pressbird
