#include "bidibrowser.h"

#include "bididocument.h"

#include <QJsonArray>

namespace pressbird {

namespace {

struct ContextEntry {
    std::shared_ptr<BidiConnection> connection;
    QString context;
    PageInfo page;
    QString frame = {}; // a frame's context within the page's; empty for the page itself
};

// The frames below a context of a tree, in tree order, up to one more than
// a walk takes (so the walk knows it was left).
void collectFrames(const QJsonArray &children, QList<QJsonObject> &frames) {
    for (const QJsonValue child : children) {
        if (frames.size() > BrowserWindow::kMostFrames)
            return;
        const QJsonObject frame = child.toObject();
        if (frame.value(u"context").toString().isEmpty())
            continue;
        frames.append(frame);
        collectFrames(frame.value(u"children").toArray(), frames);
    }
}

// Installs the page operations in our sandbox, with the channel they tell of
// a change through (given once, before the operations first look for it).
const QString &installFunction() {
    static const QString function =
        u"function (changed) {\n"
        u"  if (Object.getOwnPropertyDescriptor(globalThis, 'pressbirdChanged') === undefined)\n"
        u"    Object.defineProperty(globalThis, 'pressbirdChanged', {value: changed});\n"_qs +
        pageScriptSource() + u"\n}"_qs;
    return function;
}

// Our sandbox of the document shown now: its realm id binds the document.
// Asking for it installs the page operations there.
Task<std::unique_ptr<Document>> documentOf(ContextEntry entry) {
    // A frame's document lives in its own context.
    const QString context = entry.frame.isEmpty() ? entry.context : entry.frame;
    if (!entry.connection->contextUsable(entry.context) ||
        !entry.connection->contextUsable(context))
        co_return nullptr;
    // The realm of an earlier walk serves while Firefox has not said it went.
    if (const QString kept = entry.connection->keptRealm(context); !kept.isEmpty())
        co_return std::make_unique<BidiDocument>(entry.connection, entry.context, kept,
                                                 entry.connection->pageMemory(context, kept),
                                                 entry.frame);
    const QJsonObject target{{u"context"_qs, context}, {u"sandbox"_qs, kBidiSandbox.toString()}};
    const QJsonObject channel{{u"type"_qs, u"channel"_qs},
                              {u"value"_qs, QJsonObject{{u"channel"_qs, kChangedChannel.toString()},
                                                        {u"ownership"_qs, u"none"_qs}}}};
    const QJsonObject params{{u"functionDeclaration"_qs, installFunction()},
                             {u"arguments"_qs, QJsonArray{channel}},
                             {u"target"_qs, target},
                             {u"awaitPromise"_qs, false},
                             {u"resultOwnership"_qs, u"none"_qs}};
    const BidiReply reply =
        co_await entry.connection->call(u"script.callFunction"_qs, params, entry.context);
    const QString realm = reply.result.value(u"realm").toString();
    if (!reply.ok() || realm.isEmpty())
        co_return nullptr;
    co_return std::make_unique<BidiDocument>(entry.connection, entry.context, realm,
                                             entry.connection->pageMemory(context, realm),
                                             entry.frame);
}

// Every frame is a context of its own below the tab's, cross-origin ones too;
// each gets our sandbox only when the walk reaches it.
class BidiFrames final : public FrameDocuments {
public:
    BidiFrames(ContextEntry entry, QList<QJsonObject> frames)
        : m_entry(std::move(entry))
        , m_frames(std::move(frames)) {}

    Async<std::optional<FrameDocument>> next(QDeadlineTimer until) override {
        return nextOf(until);
    }
    bool more() const override { return m_next < m_frames.size(); }

private:
    Task<std::optional<FrameDocument>> nextOf(QDeadlineTimer until) {
        while (more() && !until.hasExpired()) {
            const QJsonObject &frame = m_frames.at(m_next++);
            ContextEntry inFrame = m_entry;
            inFrame.frame = frame.value(u"context").toString();
            const QString address = frame.value(u"url").toString();
            if (std::unique_ptr<Document> document = co_await documentOf(inFrame))
                co_return FrameDocument{address, std::move(document)};
        }
        co_return std::nullopt;
    }

    ContextEntry m_entry;
    QList<QJsonObject> m_frames;
    qsizetype m_next = 0;
};

class BidiWindow final : public BrowserWindow {
public:
    explicit BidiWindow(ContextEntry entry)
        : m_entry(std::move(entry)) {}

    PageInfo page() const override { return m_entry.page; }
    Async<std::optional<QString>> name() override {
        return std::optional(kBrowserWindowName.toString());
    }
    bool readsAhead() const override { return true; }
    Async<std::unique_ptr<Document>> document() override { return documentOf(m_entry); }
    Async<std::unique_ptr<FrameDocuments>> frames() override { return framesOf(m_entry); }

private:
    static Task<std::unique_ptr<FrameDocuments>> framesOf(ContextEntry entry) {
        if (!entry.connection->contextUsable(entry.context))
            co_return nullptr;
        std::optional<QJsonArray> tree = entry.connection->keptTree(entry.context);
        if (!tree) {
            const QJsonObject below{{u"root"_qs, entry.context}};
            const BidiReply reply = co_await entry.connection->call(u"browsingContext.getTree"_qs,
                                                                    below, entry.context);
            tree = reply.result.value(u"contexts").toArray();
            if (reply.ok())
                entry.connection->keepTree(entry.context, *tree);
        }
        QList<QJsonObject> frames;
        collectFrames(tree->at(0).toObject().value(u"children").toArray(), frames);
        co_return std::make_unique<BidiFrames>(std::move(entry), std::move(frames));
    }

    ContextEntry m_entry;
};

class BidiWindows final : public ShellWindows {
public:
    explicit BidiWindows(QList<ContextEntry> entries)
        : m_entries(std::move(entries)) {}
    Async<std::optional<int>> count() override { return std::optional(int(m_entries.size())); }
    Async<std::unique_ptr<BrowserWindow>> next() override {
        if (m_next >= m_entries.size())
            return std::unique_ptr<BrowserWindow>();
        return std::unique_ptr<BrowserWindow>(std::make_unique<BidiWindow>(m_entries.at(m_next++)));
    }

private:
    QList<ContextEntry> m_entries;
    qsizetype m_next = 0;
};

QString nameOf(const BidiEndpoint &endpoint) {
    return u"Firefox %1:%2 (%3)"_qs.arg(endpoint.host).arg(endpoint.port).arg(endpoint.foundIn);
}

} // namespace

BidiBrowser::BidiBrowser(BidiTimeouts timeouts, Discovery discovery)
    : m_timeouts(timeouts)
    , m_discovery(std::move(discovery)) {}

BidiBrowser::~BidiBrowser() = default;

Task<> BidiBrowser::release() {
    const QList<std::shared_ptr<BidiConnection>> connections = std::exchange(m_connections, {});
    for (const std::shared_ptr<BidiConnection> &connection : connections)
        co_await connection->endSession();
}

Async<std::unique_ptr<ShellWindows>> BidiBrowser::createShellWindows() {
    return walk();
}

Task<std::unique_ptr<ShellWindows>> BidiBrowser::walk() {
    const QList<BidiEndpoint> endpoints = m_discovery ? m_discovery() : discoverBidiEndpoints();
    QList<std::shared_ptr<BidiConnection>> kept;
    QList<BrowserState> states;
    QList<ContextEntry> entries;
    for (const BidiEndpoint &endpoint : endpoints) {
        std::shared_ptr<BidiConnection> connection;
        for (const std::shared_ptr<BidiConnection> &known : std::as_const(m_connections)) {
            if (known->endpoint() == endpoint)
                connection = known;
        }
        if (!connection)
            connection = std::make_shared<BidiConnection>(endpoint, m_timeouts);
        const bool opened = co_await connection->open();
        if (!opened) {
            const QString state = connection->busy() ? u"busy: another program holds its session"_qs
                                  : connection->starting() ? u"starting its session"_qs
                                                           : u"not reachable"_qs;
            states.append({nameOf(endpoint), state, 0});
            // Asked again at the next walk, no sooner; a session still starting is awaited.
            if (connection->busy() || connection->starting())
                kept.append(connection);
            continue;
        }
        std::optional<QJsonArray> tree = connection->keptTree(QString());
        if (!tree) {
            const QJsonObject topLevelOnly{{u"maxDepth"_qs, 0}};
            const BidiReply reply =
                co_await connection->call(u"browsingContext.getTree"_qs, topLevelOnly);
            if (!reply.ok()) {
                states.append({nameOf(endpoint), u"did not answer"_qs, 0});
                // Kept with its session: Firefox keeps a session whose socket
                // closes, so a connection dropped here would leave the browser
                // held by Pressbird's own lost session for good.
                kept.append(connection);
                continue;
            }
            tree = reply.result.value(u"contexts").toArray();
            connection->keepTree(QString(), *tree);
        }
        kept.append(connection);
        int tabs = 0;
        for (const QJsonValue value : *tree) {
            const QJsonObject context = value.toObject();
            const QString id = context.value(u"context").toString();
            if (id.isEmpty())
                continue;
            entries.append(
                {connection, id,
                 PageInfo{QString(), context.value(u"url").toString(), nameOf(endpoint)}});
            ++tabs;
        }
        states.append({nameOf(endpoint), u"connected"_qs, tabs});
    }
    m_connections = kept;
    m_states = states;
    co_return std::make_unique<BidiWindows>(std::move(entries));
}

} // namespace pressbird
