#pragma once

#include "rulelist.h"
#include "ruleoptions.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace pressbird {

// Both rule lists as a JSON file a person can read and edit:
//   {"format": "pressbird-rules", "version": 1,
//    "links":   [{"name": "Next", "kind": "Starts With", "ticked": true}, ...],
//    "buttons": [...]}
// in list order. A rule line is its name and kind joined by " -Type: ". A
// rule with options carries them too: "sites" (a list of patterns),
// "perLoad", "perHour" (numbers of presses), "notify" (true); a rule without
// them, or a file of an earlier release, has none.
struct RuleLine {
    QString text;
    bool ticked = false;
    RuleOptions options = {};
    friend bool operator==(const RuleLine &, const RuleLine &) = default;
};

struct RulesFile {
    QList<RuleLine> links;
    QList<RuleLine> buttons;
};

// A file to import is untrusted: anything larger is refused before it is read.
inline constexpr qint64 kMostRulesFileBytes = 16 * 1024 * 1024;

class RuleOptionsBook;

// With the rules' options from the book, when one is given.
QByteArray ExportRules(const RuleList &links, const RuleList &buttons,
                       const RuleOptionsBook *options = nullptr);

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
// The imported options go into the book, when one is given, for each rule
// that had none: options the user set here are not overwritten.
std::optional<QString> AddImportedRules(const RulesFile &rules, EditableRuleList &links,
                                        EditableRuleList &buttons, int *added = nullptr,
                                        RuleOptionsBook *options = nullptr);

} // namespace pressbird
