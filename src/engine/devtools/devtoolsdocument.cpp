#include "devtoolsdocument.h"

namespace pressbird {

DevToolsDocument::DevToolsDocument(std::shared_ptr<CdpConnection> connection, CdpSessionPtr session,
                                   QString uniqueContextId, QString loaderId,
                                   std::shared_ptr<PageMemory> memory, Frame frame)
    : ScriptPageDocument(std::move(memory))
    , m_connection(std::move(connection))
    , m_session(std::move(session))
    , m_uniqueContextId(std::move(uniqueContextId))
    , m_loaderId(std::move(loaderId))
    , m_frame(std::move(frame)) {}

bool DevToolsDocument::alive() const {
    // The loader id moves on with every navigation, including a page
    // restored from the back-forward cache, whose old world still exists.
    if (m_gone || !m_session->usable() || (m_frame.page && !m_frame.page->usable()))
        return false;
    return m_frame.frameId.isEmpty()
               ? m_session->mainLoaderId == m_loaderId
               : m_session->frameLoaderIds.value(m_frame.frameId) == m_loaderId;
}

// Not a coroutine: the call's own frame holds the connection and the session.
Task<CdpReply> DevToolsDocument::run(const QString &expression, bool userGesture) {
    const QJsonObject params{{u"expression"_qs, expression},
                             {u"uniqueContextId"_qs, m_uniqueContextId},
                             {u"returnByValue"_qs, true},
                             {u"silent"_qs, true},
                             {u"userGesture"_qs, userGesture}};
    return m_connection->call(u"Runtime.evaluate"_qs, params, m_session);
}

Task<std::optional<QJsonValue>> DevToolsDocument::evaluate(QString expression, bool userGesture) {
    if (!alive())
        co_return std::nullopt;
    const CdpReply reply = co_await run(expression, userGesture);
    if (reply.failure == CdpFailure::Error || reply.failure == CdpFailure::SessionGone ||
        reply.failure == CdpFailure::Closed) {
        // The context is gone ("uniqueContextId not found"): it never comes
        // back, and the next walk makes another.
        m_gone = true;
        if (m_session->worldUniqueId == m_uniqueContextId)
            m_session->worldUniqueId.clear();
        if (m_session->frameWorlds.value(m_frame.frameId).uniqueId == m_uniqueContextId)
            m_session->frameWorlds.remove(m_frame.frameId);
        co_return std::nullopt;
    }
    if (!reply.ok() || reply.result.contains(u"exceptionDetails"))
        co_return std::nullopt;
    co_return reply.result.value(u"result").toObject().value(u"value");
}

// The browser announces a page the click opened before the click's answer:
// it makes the page while the handler (or the link's default action) runs.
Task<PressResult> DevToolsDocument::pressScript(QString expression) {
    // A frame out of process is the opener of what it opens; one in the
    // page's process, the page is.
    const CdpSessionPtr page = m_frame.page ? m_frame.page : m_session;
    const CdpSessionPtr session = m_session;
    const auto openedCount = [page, session] {
        return page->pagesOpened + (session != page ? session->pagesOpened : 0);
    };
    const int opened = openedCount();
    const CdpReply reply = co_await run(expression, true);
    // A dialog opened by the page's click handler holds the answer back: the
    // press itself has happened.
    if (reply.failure == CdpFailure::Dialog)
        co_return PressResult{PressOutcome::OpenedDialog};
    if (reply.failure == CdpFailure::Error)
        m_gone = true;
    if (!reply.ok() ||
        !clickAnswer(reply.result.value(u"result").toObject().value(u"value")).pressed)
        co_return PressResult{};
    co_return PressResult{openedCount() != opened ? PressOutcome::OpenedTab
                                                  : PressOutcome::Pressed};
}

} // namespace pressbird
