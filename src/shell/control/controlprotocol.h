#pragma once

#include "runtimefolder.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <optional>

namespace pressbird {

struct ActivityEntry;

// pressbird-ctl and the running pressbird speak one JSON object per line over
// a local socket only their user may open. Every request is acknowledged at
// once ({"ack": true}), then answered ({"ok": true, "text": ...} or
// {"ok": false, "error": ...}); a hung instance is known within the ack's
// time-out whatever the verb.
namespace control {

inline constexpr qsizetype kMostRequestBytes = 64 * 1024;
inline constexpr qsizetype kMostReplyBytes = 32 * 1024 * 1024;
inline constexpr int kAckTimeoutMs = 2000;

QString socketName(const QString &folder);
QString lockFileName(const QString &folder);

QByteArray encode(const QJsonObject &message);
// One line, without its newline; nullopt when it is no JSON object.
std::optional<QJsonObject> decode(const QByteArray &line);

// The value is set's second word.
QJsonObject request(const QString &verb, const QString &argument = {}, const QString &value = {});

// The lines the verbs print, tab-separated, with tabs and line breaks inside
// a field made blanks: `link` or `button`, rule, element text, page address
// for a preview; the same after the local time (ISO 8601) for the activity,
// followed by what the press led to ("opened a tab", "opened a dialog",
// "blocked"; empty for a plain press) and the address of the frame the
// element was in (empty for the page itself). A preview's match that a
// rule's limit holds back has a fifth field: "held back: 2 per load".
QString field(QString text);
// The N of `activity [N]`: 20 when empty; nullopt when it is no count.
std::optional<qsizetype> activityCount(const QString &text);
QString previewLine(const ActivityEntry &entry);
QString activityLine(const ActivityEntry &entry);
QJsonObject ack();
QJsonObject success(const QString &text = {});
QJsonObject failure(const QString &error);

} // namespace control
} // namespace pressbird
