#include "devtoolsbrowser.h"

#include "devtoolswindows.h"

#include <QDeadlineTimer>
#include <QJsonArray>

namespace pressbird {

namespace {
// Another browser, or the same one restarted, is at that port now.
bool sameBrowser(const Endpoint &a, const Endpoint &b) {
    return a.host == b.host && a.port == b.port && a.browserPath == b.browserPath;
}

// Targets of one endpoint's answer, in the browser's order.
void addTargets(QList<TargetEntry> &targets, int &tabs,
                const std::shared_ptr<CdpConnection> &connection, const Endpoint &endpoint,
                const QJsonObject &result) {
    for (const QJsonValue value : result.value(u"targetInfos").toArray()) {
        const QJsonObject info = value.toObject();
        const QString type = info.value(u"type").toString();
        const QString subtype = info.value(u"subtype").toString();
        QString name = type;
        if (!subtype.isEmpty()) {
            name.append(u':').append(subtype); // a prerendered page is no window
        } else if (type == u"page") {
            name = kBrowserWindowName.toString();
            ++tabs;
        }
        const PageInfo page{info.value(u"title").toString(), info.value(u"url").toString(),
                            endpoint.label()};
        targets.append({connection, info.value(u"targetId").toString(), name, page});
    }
}
} // namespace

DevToolsBrowser::DevToolsBrowser(DevToolsTimeouts timeouts, Discovery discovery)
    : m_timeouts(timeouts)
    , m_discovery(std::move(discovery))
    , m_stats(std::make_shared<DevToolsStats>()) {}

DevToolsBrowser::~DevToolsBrowser() = default;

Async<std::unique_ptr<ShellWindows>> DevToolsBrowser::createShellWindows() {
    return listTargets();
}

void DevToolsBrowser::retry() {
    for (const LinkPtr &link : std::as_const(m_links)) {
        link->refused.reset();
        if (link->connection && link->connection->status() == CdpStatus::Refused)
            link->connection.reset();
    }
}

// The links of this walk, by host and port; those no longer found go, and
// their connections close once no call holds them.
QList<DevToolsBrowser::LinkPtr> DevToolsBrowser::linksFor(const QList<Endpoint> &endpoints) {
    QList<LinkPtr> links;
    for (const Endpoint &endpoint : endpoints) {
        LinkPtr link;
        for (const LinkPtr &known : std::as_const(m_links)) {
            if (known->endpoint.host == endpoint.host && known->endpoint.port == endpoint.port)
                link = known;
        }
        if (!link)
            link = std::make_shared<Link>();
        link->endpoint = endpoint;
        links.append(link);
    }
    m_links = links;
    return links;
}

bool DevToolsBrowser::needsDial(Link &link) const {
    if (link.connection && (link.connection->connected() || link.connection->dialling()))
        return false;
    if (link.connection && link.connection->status() == CdpStatus::Refused) {
        link.refused = link.connection->endpoint();
        link.connection.reset();
    }
    if (link.refused && sameBrowser(*link.refused, link.endpoint))
        return false;
    link.refused.reset();
    return true;
}

Task<std::unique_ptr<ShellWindows>> DevToolsBrowser::listTargets() {
    const QList<LinkPtr> links = linksFor(m_discovery ? m_discovery() : discoverEndpoints());

    // New dials start together and are waited for together, briefly; one still
    // pending afterwards (a browser asking its user) goes on without the walk.
    QList<std::shared_ptr<CdpConnection>> dialled;
    for (const LinkPtr &link : links) {
        if (!needsDial(*link))
            continue;
        link->connection = std::make_shared<CdpConnection>(link->endpoint, m_timeouts, m_stats);
        link->connection->start();
        link->answered.reset();
        dialled.append(link->connection);
    }
    const QDeadlineTimer dialling(m_timeouts.connectMs);
    for (const std::shared_ptr<CdpConnection> &connection : std::as_const(dialled))
        co_await connection->waitDialled(int(dialling.remainingTime()));

    // Every connected browser is asked at once, so one that hangs costs one
    // short time-out shared by all; after it, walks pass it by until it is
    // heard from again (its late answer will do).
    struct Asked {
        LinkPtr link;
        std::shared_ptr<CdpConnection> connection;
        QList<int> ids; // the target list's last
    };
    QList<Asked> asked;
    for (const LinkPtr &link : links) {
        const std::shared_ptr<CdpConnection> &connection = link->connection;
        if (!connection || !connection->usable())
            continue;
        Asked asking{link, connection, {}};
        // A list that went unanswered holds nothing: asked again once the
        // browser is heard from.
        const bool listedStillHolds =
            link->answered.value_or(false) && link->listedBy == connection && link->discovering &&
            link->listedRevision == connection->targetsRevision() && link->listedAt.isValid() &&
            link->listedAt.elapsed() < kListReuseMs;
        if (!listedStillHolds) {
            // Events first: those of every target there now come before the list.
            if (!link->discovering)
                asking.ids.append(
                    connection->send(u"Target.setDiscoverTargets"_qs, {{u"discover"_qs, true}}));
            asking.ids.append(connection->send(u"Target.getTargets"_qs, {}));
        }
        asked.append(std::move(asking));
    }
    const QDeadlineTimer answering(m_timeouts.connectMs);
    QList<TargetEntry> targets;
    for (Asked &each : asked) {
        Link &link = *each.link;
        if (!each.ids.isEmpty()) {
            const bool discovery = each.ids.size() > 1;
            const QList<CdpReply> replies =
                co_await each.connection->waitAll(each.ids, int(answering.remainingTime()));
            link.answered = replies.constLast().ok();
            if (discovery)
                link.discovering = replies.constFirst().ok();
            link.listed = *link.answered ? replies.constLast().result : QJsonObject();
            link.listedBy = each.connection;
            link.listedRevision = each.connection->targetsRevision();
            link.listedAt.start();
        }
        link.tabs = 0;
        if (link.answered.value_or(false))
            addTargets(targets, link.tabs, each.connection, link.endpoint, link.listed);
    }
    co_return std::make_unique<DevToolsWindows>(std::move(targets));
}

QString DevToolsBrowser::stateOf(const Link &link) {
    if (link.refused && !(link.connection && link.connection->dialling()))
        return u"refused in the browser"_qs;
    switch (link.connection ? link.connection->status() : CdpStatus::Idle) {
    case CdpStatus::Idle:
        return u"not tried yet"_qs;
    case CdpStatus::LookingUp:
        return u"connecting"_qs;
    case CdpStatus::Handshaking:
        return u"waiting for you to allow remote debugging in the browser"_qs;
    case CdpStatus::Connected:
        return link.connection->usable() && link.answered.value_or(true) ? u"connected"_qs
                                                                         : u"not answering"_qs;
    case CdpStatus::Refused:
        return u"refused in the browser"_qs;
    case CdpStatus::Unreachable:
        return u"not reachable"_qs;
    case CdpStatus::NoAnswer:
        return u"did not answer"_qs;
    case CdpStatus::NotDevTools:
        return u"no DevTools endpoint there"_qs;
    case CdpStatus::Closed:
        return u"closed"_qs;
    }
    return {};
}

QList<BrowserState> DevToolsBrowser::states() const {
    QList<BrowserState> states;
    for (const LinkPtr &link : m_links) {
        const bool live =
            link->connection && link->connection->usable() && link->answered.value_or(false);
        states.append({link->endpoint.label(), stateOf(*link), live ? link->tabs : 0});
    }
    return states;
}

} // namespace pressbird
