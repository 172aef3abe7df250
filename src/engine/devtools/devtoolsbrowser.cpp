#include "devtoolsbrowser.h"

#include "devtoolswindows.h"

#include <QJsonArray>

namespace pressbird {

DevToolsBrowser::DevToolsBrowser(DevToolsTimeouts timeouts, Discovery discovery)
    : m_timeouts(timeouts)
    , m_discovery(std::move(discovery))
    , m_stats(std::make_shared<DevToolsStats>()) {}

DevToolsBrowser::~DevToolsBrowser() = default;

Task<std::shared_ptr<CdpConnection>> DevToolsBrowser::connectionFor(Endpoint endpoint) {
    for (const std::shared_ptr<CdpConnection> &known : std::as_const(m_connections)) {
        // A connection that timed out is dialled afresh: one short wait per walk.
        if (known->endpoint() == endpoint && known->usable())
            co_return known;
    }
    const auto connection = std::make_shared<CdpConnection>(endpoint, m_timeouts, m_stats);
    const bool opened = co_await connection->open();
    m_lastDialUnreachable = connection->unreachable();
    co_return opened ? connection : nullptr;
}

Async<std::unique_ptr<ShellWindows>> DevToolsBrowser::createShellWindows() {
    return listTargets();
}

Task<std::unique_ptr<ShellWindows>> DevToolsBrowser::listTargets() {
    const QList<Endpoint> endpoints = m_discovery ? m_discovery() : discoverEndpoints();
    QList<std::shared_ptr<CdpConnection>> live;
    QList<TargetEntry> targets;
    QList<BrowserState> states;
    for (const Endpoint &endpoint : endpoints) {
        BrowserState &state = states.emplaceBack(BrowserState{endpoint.label(), {}, 0});
        const std::shared_ptr<CdpConnection> connection = co_await connectionFor(endpoint);
        if (!connection) {
            state.state = m_lastDialUnreachable ? u"not reachable"_qs : u"did not answer"_qs;
            continue;
        }
        if (live.contains(connection)) {
            states.removeLast();
            continue;
        }
        const CdpReply reply = co_await connection->call(u"Target.getTargets"_qs);
        if (!reply.ok()) {
            state.state = u"did not answer"_qs;
            continue;
        }
        live.append(connection);
        state.state = u"connected"_qs;
        for (const QJsonValue value : reply.result.value(u"targetInfos").toArray()) {
            const QJsonObject info = value.toObject();
            const QString type = info.value(u"type").toString();
            const QString subtype = info.value(u"subtype").toString();
            QString name = type;
            if (!subtype.isEmpty()) {
                name.append(u':').append(subtype); // a prerendered page is no window
            } else if (type == u"page") {
                name = kBrowserWindowName.toString();
                ++state.tabs;
            }
            const PageInfo page{info.value(u"title").toString(), info.value(u"url").toString(),
                                endpoint.label()};
            targets.append({connection, info.value(u"targetId").toString(), name, page});
        }
    }
    m_connections = live;
    m_states = states;
    co_return std::make_unique<DevToolsWindows>(std::move(targets));
}

} // namespace pressbird
