#include "connectorlink.h"

#include "async/abandonedcalls.h"
#include "pagedocument.h"
#include "runtimefolder.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>

namespace pressbird {

namespace {

// The parent of a process, from /proc/PID/stat ("pid (name) state ppid ...";
// the name may hold blanks and parentheses, so the last ')' ends it).
qint64 parentOf(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (pid <= 0 || !stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray line = stat.read(4096);
    const QList<QByteArray> after = line.mid(line.lastIndexOf(')') + 1).trimmed().split(' ');
    return after.size() > 1 ? after.at(1).toLongLong() : 0;
}

} // namespace

QString browserNameOfProgram(const QString &program) {
    const QString name = QFileInfo(program).fileName().toLower();
    if (name.contains(u"edge"))
        return QStringLiteral("Microsoft Edge");
    if (name.contains(u"chromium"))
        return QStringLiteral("Chromium");
    if (name.contains(u"chrome"))
        return QStringLiteral("Google Chrome");
    if (name.contains(u"firefox"))
        return QStringLiteral("Firefox");
    return name.isEmpty() ? QStringLiteral("a browser") : name;
}

ConnectorLink::ConnectorLink(QLocalSocket *socket, ConnectorTimeouts timeouts)
    : m_socket(socket)
    , m_timeouts(timeouts) {
    m_socket->setParent(this);
    // Taken from the system, not from the host's word: the browser that
    // started the host is its parent.
    m_browserPid = parentOf(peerPid(int(m_socket->socketDescriptor())));
    m_browserName = browserNameOfProgram(
        QFileInfo(QStringLiteral("/proc/%1/exe").arg(m_browserPid)).symLinkTarget());
    connect(m_socket, &QLocalSocket::readyRead, this, &ConnectorLink::readFrames);
    connect(m_socket, &QLocalSocket::disconnected, this, &ConnectorLink::onClosed);
}

ConnectorLink::~ConnectorLink() {
    m_socket->disconnect(this);
    m_socket->abort();
}

int ConnectorLink::send(QJsonObject request, qint64 tab) {
    const int id = m_nextId++;
    m_pending.insert(id, Pending{tab, request.value(u"frame").toInteger(0), false, false, {}});
    if (!m_open) {
        m_pending[id].done = true;
        m_pending[id].reply = ConnectorReply{ConnectorFailure::Closed, {}, {}};
        return id;
    }
    request.insert(QStringLiteral("id"), id);
    m_socket->write(connector::frame(request));
    return id;
}

Task<ConnectorReply> ConnectorLink::wait(int id, int timeoutMs) {
    const std::shared_ptr<ConnectorLink> self = shared_from_this();
    const AbandonedCalls<Pending> abandon(m_pending, {id});
    const auto answered = [this, id] {
        const auto it = m_pending.constFind(id);
        return it == m_pending.cend() || it->done;
    };
    if (co_await m_changed.until(answered, timeoutMs)) {
        const auto it = m_pending.constFind(id);
        if (it == m_pending.cend())
            co_return ConnectorReply{ConnectorFailure::Closed, {}, {}};
        co_return it->reply;
    }
    // A page that does not answer is skipped until its late answer comes; a
    // browser that does not, until anything is heard from it again.
    const qint64 tab = m_pending.value(id).tab;
    if (tab < 0)
        m_hung = true;
    else
        m_hungTabs.insert(tab);
    co_return ConnectorReply{ConnectorFailure::TimedOut, {}, {}};
}

Task<ConnectorReply> ConnectorLink::call(QJsonObject request, qint64 tab, int timeoutMs) {
    const std::shared_ptr<ConnectorLink> self = shared_from_this();
    const int id = send(std::move(request), tab);
    co_return co_await wait(id, timeoutMs);
}

std::shared_ptr<PageMemory> ConnectorLink::memoryFor(qint64 tab, const QString &document) {
    World &world = m_worlds[tab];
    if (world.document != document || !world.memory)
        world = World{document, std::make_shared<PageMemory>()};
    return world.memory;
}

std::shared_ptr<PageMemory> ConnectorLink::memoryForFrame(qint64 tab, qint64 frame,
                                                          const QString &document) {
    World &world = m_frameWorlds[tab][frame];
    if (world.document != document || !world.memory)
        world = World{document, std::make_shared<PageMemory>()};
    return world.memory;
}

std::optional<QJsonArray> ConnectorLink::knownFrames(qint64 tab) const {
    const auto listing = m_frameListings.constFind(tab);
    if (!m_announcesFrames || listing == m_frameListings.cend() ||
        listing->revision != framesRevision(tab))
        return std::nullopt;
    return listing->frames;
}

void ConnectorLink::keepFrames(qint64 tab, quint64 revision, const QJsonArray &frames) {
    m_frameListings.insert(tab, {revision, frames});
}

std::optional<QString> ConnectorLink::knownDocument(qint64 tab) const {
    const auto world = m_worlds.constFind(tab);
    if (!m_announcesTabs || world == m_worlds.cend())
        return std::nullopt;
    return world->document;
}

void ConnectorLink::keepOnly(const QSet<qint64> &tabs) {
    m_worlds.removeIf([&tabs](const auto &entry) { return !tabs.contains(entry.key()); });
    m_frameWorlds.removeIf([&tabs](const auto &entry) { return !tabs.contains(entry.key()); });
    m_frameListings.removeIf([&tabs](const auto &entry) { return !tabs.contains(entry.key()); });
}

void ConnectorLink::readFrames() {
    m_frames.append(m_socket->readAll());
    QByteArray json;
    for (;;) {
        const connector::FrameReader::Status status = m_frames.next(json);
        if (status == connector::FrameReader::Status::NeedMore)
            return;
        if (status == connector::FrameReader::Status::TooLarge) {
            // Nothing after it can be read as frames: the host starts afresh.
            m_socket->abort();
            onClosed();
            return;
        }
        if (status == connector::FrameReader::Status::Frame)
            onFrame(*connector::parseObject(json));
    }
}

void ConnectorLink::onFrame(const QJsonObject &message) {
    m_hung = false;
    if (message.value(u"hello").toString() == u"extension") {
        if (m_browserPid <= 0)
            m_browserName = message.value(u"browser").toString().left(200);
        // Names learned before the extension said whether it tells of
        // navigations are asked again.
        m_announcesTabs = message.value(u"tabEvents").toBool();
        m_announcesFrames = m_announcesTabs && message.value(u"frameEvents").toBool();
        m_worlds.clear();
        m_frameWorlds.clear();
        m_frameListings.clear();
        ++m_tabsRevision;
        return;
    }
    if (message.value(u"tabsChanged").toBool()) {
        ++m_tabsRevision;
        if (message.value(u"navigated").toBool()) {
            const qint64 tab = message.value(u"tab").toInteger(-1);
            // A document still held reads no more from what it kept: it asks,
            // and hears that its page is gone.
            if (const auto world = m_worlds.constFind(tab); world != m_worlds.cend())
                world->memory->pageChanged();
            for (const World &frame : m_frameWorlds.value(tab))
                frame.memory->pageChanged();
            m_worlds.remove(tab);
            m_frameWorlds.remove(tab);
            ++m_framesRevisions[tab];
        }
        return;
    }
    if (message.value(u"framesChanged").toBool()) {
        ++m_framesRevisions[message.value(u"tab").toInteger(-1)];
        return;
    }
    if (message.value(u"changed").isString()) {
        const qint64 tab = message.value(u"tab").toInteger(-1);
        const qint64 frame = message.value(u"frame").toInteger(0);
        const QHash<qint64, World> &worlds = frame == 0 ? m_worlds : m_frameWorlds.value(tab);
        const auto world = worlds.constFind(frame == 0 ? tab : frame);
        if (world != worlds.cend() && world->document == message.value(u"changed").toString())
            world->memory->pageChanged();
        return;
    }
    const QJsonValue id = message.value(u"id");
    const auto it = id.isDouble() ? m_pending.find(id.toInt(-1)) : m_pending.end();
    if (it == m_pending.end())
        return; // greetings, news and errors that answer nothing of ours
    if (it->abandoned) {
        m_hungTabs.remove(it->tab);
        m_pending.erase(it);
        return;
    }
    if (message.value(u"gone").toBool()) {
        // Asked anew at the next walk, whatever the extension told.
        if (it->frame == 0)
            m_worlds.remove(it->tab);
        else if (const auto frames = m_frameWorlds.find(it->tab); frames != m_frameWorlds.end())
            frames->remove(it->frame);
        it->reply =
            ConnectorReply{ConnectorFailure::Gone, message, message.value(u"error").toString()};
    } else if (message.contains(u"error"))
        it->reply = ConnectorReply{ConnectorFailure::Error, message,
                                   message.value(u"error").toString().left(1000)};
    else
        it->reply = ConnectorReply{ConnectorFailure::None, message, {}};
    it->done = true;
    m_changed.notify();
}

void ConnectorLink::onClosed() {
    if (!m_open)
        return;
    m_open = false;
    m_hungTabs.clear();
    m_worlds.clear();
    for (auto it = m_pending.begin(); it != m_pending.end();) {
        if (it->abandoned) {
            it = m_pending.erase(it);
            continue;
        }
        it->done = true;
        it->reply = ConnectorReply{ConnectorFailure::Closed, {}, {}};
        ++it;
    }
    m_changed.notify();
    Q_EMIT closed();
}

} // namespace pressbird
