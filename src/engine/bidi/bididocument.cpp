#include "bididocument.h"

#include <QJsonArray>

namespace pressbird {

namespace {
// BiDi serialises a value with its type: {"type": "object", "value": [[key,
// value], ...]}. The in-page script's answers are plain JSON values; deeper
// than that is not theirs and reads as null.
QJsonValue plain(const QJsonValue &remote, int depth = 0) {
    const QJsonObject typed = remote.toObject();
    const QString type = typed.value(u"type").toString();
    const QJsonValue value = typed.value(u"value");
    if (type == u"undefined" && depth == 0)
        return QJsonValue(QJsonValue::Undefined); // no operations in that realm yet
    if (type == u"string" || type == u"boolean")
        return value;
    if (type == u"number")
        return value.isDouble() ? value : QJsonValue(); // NaN, Infinity, -0 come as text
    if (depth > 4 || (type != u"object" && type != u"array"))
        return QJsonValue();
    if (type == u"array") {
        QJsonArray items;
        for (const QJsonValue item : value.toArray())
            items.append(plain(item, depth + 1));
        return items;
    }
    QJsonObject fields;
    for (const QJsonValue pair : value.toArray()) {
        const QJsonArray entry = pair.toArray();
        if (entry.at(0).isString())
            fields.insert(entry.at(0).toString(), plain(entry.at(1), depth + 1));
    }
    return fields;
}
} // namespace

BidiDocument::BidiDocument(std::shared_ptr<BidiConnection> connection, QString context,
                           QString realm, std::shared_ptr<PageMemory> memory, QString frameContext)
    : ScriptPageDocument(std::move(memory))
    , m_connection(std::move(connection))
    , m_context(std::move(context))
    , m_realm(std::move(realm))
    , m_frameContext(std::move(frameContext)) {}

// Not a coroutine: the call's own frame holds the connection.
Task<BidiReply> BidiDocument::run(const QString &expression, bool userActivation, Target target) {
    const QJsonObject where =
        target == Target::Realm
            ? QJsonObject{{u"realm"_qs, m_realm}}
            : QJsonObject{{u"context"_qs, m_frameContext.isEmpty() ? m_context : m_frameContext},
                          {u"sandbox"_qs, kBidiSandbox.toString()}};
    QJsonObject params{{u"expression"_qs, expression},
                       {u"target"_qs, where},
                       {u"awaitPromise"_qs, false},
                       {u"resultOwnership"_qs, u"none"_qs}};
    if (userActivation)
        params.insert(u"userActivation"_qs, true);
    return m_connection->call(u"script.evaluate"_qs, params, m_context);
}

// Reads name the sandbox by its context: Firefox looks a realm id up across
// all its processes, which costs it twice the rest of a small call. The
// realm that answered must still be ours; another is the document that
// replaced ours, and what it answered is not taken.
Task<std::optional<QJsonValue>> BidiDocument::evaluate(QString expression, bool userGesture) {
    if (!alive())
        co_return std::nullopt;
    const BidiReply reply = co_await run(expression, userGesture, Target::Sandbox);
    const bool replaced = reply.ok() && reply.result.value(u"realm").toString() != m_realm;
    if (reply.failure == BidiFailure::Error || reply.failure == BidiFailure::Closed || replaced) {
        // The realm is gone with its document ("no such frame", a navigation).
        m_gone = true;
        m_connection->forgetRealm(m_frameContext.isEmpty() ? m_context : m_frameContext, m_realm);
        co_return std::nullopt;
    }
    if (!reply.ok() || reply.result.value(u"type").toString() != u"success")
        co_return std::nullopt;
    co_return plain(reply.result.value(u"result"));
}

Task<PressResult> BidiDocument::pressScript(QString expression) {
    const int opened = m_connection->contextsOpenedBy(m_context);
    // A press names its realm: it must never land in a document that
    // replaced ours.
    const BidiReply reply = co_await run(expression, true, Target::Realm);
    // A dialog opened by the page's click handler holds the answer back: the
    // press itself has happened.
    if (reply.failure == BidiFailure::Prompt)
        co_return PressResult{PressOutcome::OpenedDialog};
    if (reply.failure == BidiFailure::Error || reply.failure == BidiFailure::Closed)
        m_gone = true;
    const ClickAnswer answer =
        clickAnswer(reply.result.value(u"result").toObject().value(u"value"));
    if (!reply.ok() || reply.result.value(u"type").toString() != u"success" || !answer.pressed)
        co_return PressResult{};
    // Firefox makes the tab of a link's own action after the click's answer.
    const std::shared_ptr<BidiConnection> connection = m_connection;
    const QString context = m_context;
    const auto seen = [connection, context, opened] {
        return connection->contextsOpenedBy(context) != opened;
    };
    if (answer.opensTab && !seen())
        co_await connection->changes().until(seen, kOpenedTabWaitMs);
    co_return PressResult{seen() ? PressOutcome::OpenedTab : PressOutcome::Pressed};
}

} // namespace pressbird
