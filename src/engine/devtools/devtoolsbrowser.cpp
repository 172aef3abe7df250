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
    co_return opened ? connection : nullptr;
}

Async<std::unique_ptr<ShellWindows>> DevToolsBrowser::createShellWindows() {
    return listTargets();
}

Task<std::unique_ptr<ShellWindows>> DevToolsBrowser::listTargets() {
    const QList<Endpoint> endpoints = m_discovery ? m_discovery() : discoverEndpoints();
    QList<std::shared_ptr<CdpConnection>> live;
    QList<TargetEntry> targets;
    for (const Endpoint &endpoint : endpoints) {
        const std::shared_ptr<CdpConnection> connection = co_await connectionFor(endpoint);
        if (!connection || live.contains(connection))
            continue;
        const CdpReply reply = co_await connection->call(u"Target.getTargets"_qs);
        if (!reply.ok())
            continue;
        live.append(connection);
        for (const QJsonValue value : reply.result.value(u"targetInfos").toArray()) {
            const QJsonObject info = value.toObject();
            const QString type = info.value(u"type").toString();
            const QString subtype = info.value(u"subtype").toString();
            QString name = type;
            if (!subtype.isEmpty())
                name.append(u':').append(subtype); // a prerendered page is no window
            else if (type == u"page")
                name = kBrowserWindowName.toString();
            targets.append({connection, info.value(u"targetId").toString(), name});
        }
    }
    m_connections = live;
    co_return std::make_unique<DevToolsWindows>(std::move(targets));
}

} // namespace pressbird
