#include "connectordocument.h"

namespace pressbird {

ConnectorDocument::ConnectorDocument(std::shared_ptr<ConnectorLink> link, qint64 tab, QString name,
                                     std::shared_ptr<PageMemory> memory, qint64 frame)
    : PageDocument(std::move(memory))
    , m_link(std::move(link))
    , m_tab(tab)
    , m_name(std::move(name))
    , m_frame(frame) {}

bool ConnectorDocument::alive() const {
    return !m_gone && m_link->tabUsable(m_tab);
}

// Not a coroutine: the call's own frame holds the link.
Task<ConnectorReply> ConnectorDocument::run(const PageCall &call) {
    QJsonObject request{{QStringLiteral("op"), QStringLiteral("page")},
                        {QStringLiteral("tab"), m_tab},
                        {QStringLiteral("doc"), m_name},
                        {QStringLiteral("call"), call.op},
                        {QStringLiteral("args"), call.args}};
    // An extension of an earlier release knows top documents only, and no frame.
    if (m_frame != 0)
        request.insert(QStringLiteral("frame"), m_frame);
    return m_link->call(request, m_tab, m_link->timeouts().callMs);
}

Task<std::optional<QJsonValue>> ConnectorDocument::call(PageCall call) {
    if (!alive())
        co_return std::nullopt;
    const ConnectorReply reply = co_await run(call);
    if (reply.failure == ConnectorFailure::Gone || reply.failure == ConnectorFailure::Closed) {
        m_gone = true;
        co_return std::nullopt;
    }
    if (!reply.ok() || !reply.answer.contains(u"value"))
        co_return std::nullopt;
    co_return reply.answer.value(u"value");
}

// The extension tells of the tab a press opened. A dialog the click's
// handler opened holds the page's answer back until the user closes it: the
// press has happened, and the tab is left alone until its late answer comes.
Task<PressResult> ConnectorDocument::press(PageCall call) {
    if (!alive())
        co_return PressResult{};
    const ConnectorReply reply = co_await run(call);
    if (reply.failure == ConnectorFailure::TimedOut)
        co_return PressResult{PressOutcome::OpenedDialog};
    if (reply.failure == ConnectorFailure::Gone || reply.failure == ConnectorFailure::Closed)
        m_gone = true;
    if (!reply.ok() || !clickAnswer(reply.answer.value(u"value")).pressed)
        co_return PressResult{};
    if (reply.answer.value(u"opened").toBool())
        co_return PressResult{PressOutcome::OpenedTab};
    co_return PressResult{reply.answer.value(u"blocked").toBool() ? PressOutcome::Blocked
                                                                  : PressOutcome::Pressed};
}

} // namespace pressbird
