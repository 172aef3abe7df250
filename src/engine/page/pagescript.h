#pragma once

#include "browser.h"

#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QString>

#include <optional>
#include <vector>

namespace pressbird {

// The page operations (src/extension/page.js) run in a world of our own in
// the page, one per backend: the DevTools isolated world, the BiDi sandbox,
// the extension's content script. A call names one operation and its
// arguments; backends that evaluate script text turn it into an expression.
struct PageCall {
    QString op;
    QJsonObject args;
    bool userGesture = false; // a click, which may open a window
};

// A field longer than this crosses as its length in a block, to be read on its own.
inline constexpr int kInlineChars = 64 * 1024;
// A block ends early once its fields hold this many characters.
inline constexpr int kBlockChars = 1024 * 1024;
// A field read on its own crosses in pieces of this many characters, so no
// answer is large whatever the text (a quote mark crosses as two bytes, a
// control character as six)...
inline constexpr int kPieceChars = 2 * 1024 * 1024;
// ...and one longer than this is not read at all.
inline constexpr qint64 kMaxFieldChars = 64 * 1024 * 1024;

// JSON text of [length, rows, generation, tags] for up to count elements from
// start: a row is [tag, value|null, outerText|null] (trailing nulls left out)
// or a bare tag, a tag being its number in tags; outerText only when withText.
// A field longer than kInlineChars is its length instead (a tag name's
// negated). The generation is the page's change counter; when it still stands
// at `unless`, the rows are null: those read before still hold. With a
// filter (filterArguments), only the elements whose field some rule of it
// could match have a row, and the answer gives their indices and where the
// block ends.
//
// Every call that names an element by index names the options its
// collection was read under: today's walk or the classic collections, and
// whether only what a person could see has a value or a text. The classic
// options add nothing to a call. Today's answers also tell whether the walk
// stopped at its budget (kTodayElementBudget).
PageCall rowsCall(Collection collection, int start, int count, bool withText,
                  std::optional<qint64> unless = std::nullopt, const QJsonObject &filter = {},
                  const PageOptions &options = {});
// The same call, also asking for the block another rowsCall names, read at the
// same counter: its answer comes as the first's `also`.
PageCall rowsCallAlso(PageCall call, const PageCall &also);
// The filter as a rowsCall carries it.
QJsonObject filterArguments(const TextFilter &filter);
// Field 0 (tagName), 1 (value) or 2 (outerText) of one element: {same: true}
// when it is still the text given under the token known; else {token, length,
// piece} with its first piece; null when there is none or it is longer than
// kMaxFieldChars.
PageCall longFieldCall(Collection collection, int index, int field, qint64 known,
                       const PageOptions &options = {});
// The piece of the text given under token from offset; null once another replaced it.
PageCall pieceCall(qint64 token, qint64 offset);
// 1 when the element existed and was pressed, 2 when its own action (a link
// to a new or named target, not prevented by a handler) also opens a tab; 0
// when there was none.
PageCall clickCall(Collection collection, int index, const PageOptions &options = {});
struct ClickAnswer {
    bool pressed = false;
    bool opensTab = false;
};
// The click's answer (true or false from the page script of an earlier release).
ClickAnswer clickAnswer(const QJsonValue &answer);
// How long a backend waits, after a click whose link opens a tab, to learn
// of the tab, where the browser tells of it only after the click's answer.
inline constexpr int kOpenedTabWaitMs = 1000;
// true when the element existed and now shows an outline, which goes after ms
// and gives the element back its own inline outline.
PageCall outlineCall(Collection collection, int index, int ms, const PageOptions &options = {});

// The text of page.js: evaluated in a world, it installs the operations there
// (once; evaluated again it changes nothing).
QString pageScriptSource();
// An expression calling the operation in a world where page.js was
// evaluated; it gives undefined, which no operation answers, where it was not.
QString callExpression(const PageCall &call);
// The same, installing the operations first where they are missing.
QString installingCallExpression(const PageCall &call);

// One element of a block. A field the block left out for its length reads
// as none here, with its bit set in longFields (1 tagName, 2 value, 4 outerText).
struct PageRow {
    std::optional<QString> tag;
    std::optional<QString> value;
    std::optional<QString> text;
    unsigned longFields = 0;
};
struct PageRows {
    int length = 0; // of the whole collection
    QList<PageRow> rows;
    qint64 generation = 0;
    bool unchanged = false; // no rows: the page is as it was at `unless`
    // Read through a filter: the element index of each row, ascending, and
    // the index the block ends before. The elements between without a row
    // were left out.
    bool filtered = false;
    QList<int> indices;
    int end = 0;
    bool today = false; // answered by today's walk
    bool cut = false;   // today's walk stopped at its budget
    // The page's world tells the backend of every change to what it reads
    // (an older page script says nothing of it: it is asked every time).
    bool tells = false;
    // How often a world that tells reads its blocks again itself and tells
    // of a difference (a style rule that started to apply); 0 where it does
    // not (an older page script).
    int recheckMs = 0;
    // The block a rowsCallAlso asked for too; none from an older page script.
    std::vector<PageRows> also;
};
// The answer of a rowsCall; nullopt when it is not of that shape.
std::optional<PageRows> parseRows(const QString &json);

// The answer of a longFieldCall: the text is still the one known, or a
// new one begins. nullopt for none, or anything not of that shape.
struct LongFieldStart {
    bool same = false;
    qint64 token = 0;  // the page's name for the new text, above 0
    qint64 length = 0; // of the whole text, at most kMaxFieldChars
    QString piece;     // its first piece, no longer than the text
};
std::optional<LongFieldStart> parseLongField(const QJsonValue &answer);

} // namespace pressbird
