#include "connectorbrowser.h"

#include "connectordocument.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>

namespace pressbird {

namespace {

// What a browser may send in one listing: more is not a browser's answer.
constexpr qsizetype kMostTabs = 10000;
constexpr qsizetype kMostTitleChars = 4096;
constexpr qsizetype kMostUrlChars = 64 * 1024;
constexpr qsizetype kMostNameChars = 64;

using TabEntry = ConnectorTab;

QString pageKey(const QString &address, const QString &title) {
    return address + QChar(0) + title;
}

QString nameOf(const ConnectorLink &link) {
    return link.browserName() + QStringLiteral(" (Pressbird Connector)");
}

// The frames the tab's listing names; a frame's document is named there
// already, so making it costs no call.
class ConnectorFrames final : public FrameDocuments {
public:
    ConnectorFrames(TabEntry entry, QJsonArray frames)
        : m_entry(std::move(entry))
        , m_frames(std::move(frames)) {}

    Async<std::optional<FrameDocument>> next(QDeadlineTimer until) override {
        while (more() && !until.hasExpired()) {
            const QJsonObject frame = m_frames.at(m_next++).toObject();
            const qint64 id = frame.value(u"frame").toInteger(-1);
            const QString name = frame.value(u"doc").toString();
            const QString url = frame.value(u"url").toString();
            if (id <= 0 || name.isEmpty() || name.size() > kMostNameChars ||
                url.size() > kMostUrlChars)
                continue;
            return std::optional(
                FrameDocument{url, std::make_unique<ConnectorDocument>(
                                       m_entry.link, m_entry.tab, name,
                                       m_entry.link->memoryForFrame(m_entry.tab, id, name), id)});
        }
        return std::optional<FrameDocument>();
    }
    bool more() const override { return m_next < m_frames.size(); }

private:
    TabEntry m_entry;
    QJsonArray m_frames;
    qsizetype m_next = 0;
};

class ConnectorWindow final : public BrowserWindow {
public:
    explicit ConnectorWindow(TabEntry entry)
        : m_entry(std::move(entry)) {}

    PageInfo page() const override { return m_entry.page; }
    Async<std::optional<QString>> name() override {
        return std::optional(kBrowserWindowName.toString());
    }
    bool readsAhead() const override { return true; }
    Async<std::unique_ptr<Document>> document() override {
        const std::shared_ptr<ConnectorLink> &link = m_entry.link;
        if (!link->tabUsable(m_entry.tab))
            return std::unique_ptr<Document>();
        // Named before, and the extension has told of no navigation since.
        if (const std::optional<QString> known = link->knownDocument(m_entry.tab))
            return std::unique_ptr<Document>(std::make_unique<ConnectorDocument>(
                link, m_entry.tab, *known, link->memoryFor(m_entry.tab, *known)));
        return open(m_entry);
    }
    Async<std::unique_ptr<FrameDocuments>> frames() override {
        if (!m_entry.link->tabUsable(m_entry.tab))
            return std::unique_ptr<FrameDocuments>();
        return framesOf(m_entry);
    }

private:
    // One look at every frame of the tab names the document each one shows.
    // The listing is kept while the extension tells of no frame that came,
    // went or navigated.
    static Task<std::unique_ptr<FrameDocuments>> framesOf(TabEntry entry) {
        QJsonArray frames;
        if (const std::optional<QJsonArray> known = entry.link->knownFrames(entry.tab)) {
            frames = *known;
        } else {
            const quint64 revision = entry.link->framesRevision(entry.tab);
            const QJsonObject request{{QStringLiteral("op"), QStringLiteral("frames")},
                                      {QStringLiteral("tab"), entry.tab}};
            const ConnectorReply reply =
                co_await entry.link->call(request, entry.tab, entry.link->timeouts().callMs);
            frames = reply.answer.value(u"frames").toArray();
            if (reply.ok() && reply.answer.value(u"frames").isArray())
                entry.link->keepFrames(entry.tab, revision, frames);
        }
        co_return std::make_unique<ConnectorFrames>(std::move(entry), std::move(frames));
    }

    // The content script's name for the document shown now binds the document.
    static Task<std::unique_ptr<Document>> open(TabEntry entry) {
        const QJsonObject request{{QStringLiteral("op"), QStringLiteral("open")},
                                  {QStringLiteral("tab"), entry.tab}};
        const ConnectorReply reply =
            co_await entry.link->call(request, entry.tab, entry.link->timeouts().callMs);
        const QJsonValue name = reply.answer.value(u"doc");
        if (!reply.ok() || !name.isString() || name.toString().isEmpty() ||
            name.toString().size() > kMostNameChars)
            co_return nullptr;
        co_return std::make_unique<ConnectorDocument>(
            entry.link, entry.tab, name.toString(),
            entry.link->memoryFor(entry.tab, name.toString()));
    }

    TabEntry m_entry;
};

class ConnectorWindows final : public ShellWindows {
public:
    explicit ConnectorWindows(QList<TabEntry> entries)
        : m_entries(std::move(entries)) {}
    Async<std::optional<int>> count() override { return std::optional(int(m_entries.size())); }
    Async<std::unique_ptr<BrowserWindow>> next() override {
        if (m_next >= m_entries.size())
            return std::unique_ptr<BrowserWindow>();
        return std::unique_ptr<BrowserWindow>(
            std::make_unique<ConnectorWindow>(m_entries.at(m_next++)));
    }

private:
    QList<TabEntry> m_entries;
    qsizetype m_next = 0;
};

// The tabs of one listing; nullopt when it is not one.
std::optional<QList<TabEntry>> tabsOf(const ConnectorReply &reply,
                                      const std::shared_ptr<ConnectorLink> &link) {
    const QJsonValue tabs = reply.answer.value(u"tabs");
    if (!reply.ok() || !tabs.isArray() || tabs.toArray().size() > kMostTabs)
        return std::nullopt;
    QList<TabEntry> entries;
    for (const QJsonValue value : tabs.toArray()) {
        const QJsonObject tab = value.toObject();
        const QJsonValue id = tab.value(u"tab");
        const QString url = tab.value(u"url").toString();
        const QString title = tab.value(u"title").toString();
        if (!id.isDouble() || id.toInteger(-1) < 0 || url.isEmpty() || url.size() > kMostUrlChars ||
            title.size() > kMostTitleChars)
            continue;
        entries.append({link, id.toInteger(), PageInfo{title, url, nameOf(*link)}});
    }
    return entries;
}

// "hostname-PID" (Chromium's SingletonLock) or "address:+PID" (Firefox's lock).
qint64 pidOfLock(const QString &target) {
    const qsizetype at = std::max(target.lastIndexOf(u'-'), target.lastIndexOf(u'+'));
    bool number = false;
    const qint64 pid = target.mid(at + 1).toLongLong(&number);
    return at >= 0 && number && pid > 0 ? pid : 0;
}

// The profile folder another backend names its browser by: the folder itself
// (DevTools), or the one in parentheses after the address (BiDi).
QString profileOf(const QString &browser) {
    if (QFileInfo(browser).isDir())
        return browser;
    const qsizetype open = browser.lastIndexOf(u'(');
    if (browser.endsWith(u')') && open >= 0)
        return browser.mid(open + 1, browser.size() - open - 2);
    return {};
}

} // namespace

qint64 browserPidOfProfile(const QString &folder) {
    if (folder.isEmpty())
        return 0;
    for (const char16_t *lock : {u"SingletonLock", u"lock"}) {
        const QString target =
            QFile::symLinkTarget(QDir(folder).filePath(QString::fromUtf16(lock)));
        if (!target.isEmpty())
            return pidOfLock(target.section(u'/', -1));
    }
    return 0;
}

ConnectorBrowser::ConnectorBrowser(ConnectorServer &server, Registration registration)
    : m_server(server)
    , m_registration(std::move(registration))
    , m_arrivals(server.listening() ? 1000 : 0) {
    if (m_registration)
        m_manifests = m_registration();
    m_states = statesWithoutBrowsers();
}

Async<std::unique_ptr<ShellWindows>> ConnectorBrowser::createShellWindows() {
    return walk();
}

Task<std::unique_ptr<ShellWindows>> ConnectorBrowser::walk() {
    while (!m_arrivals.hasExpired())
        co_await m_server.changed().wait(int(std::max<qint64>(1, m_arrivals.remainingTime())));
    const QList<std::shared_ptr<ConnectorLink>> links = m_server.links();
    if (links.isEmpty() && m_registration)
        m_manifests = m_registration();
    // Every browser is asked at once: one that hangs costs one time-out. A
    // browser whose extension told of no change to its tabs since the last
    // listing is taken at its word for a while (ConnectorTimeouts::listReuseMs);
    // one that hangs meanwhile is found by the first call that times out.
    QList<int> asked;
    // Any change told after a question was sent may be missing from its answer.
    QList<quint64> askedAt;
    QList<std::optional<Listing>> kept;
    for (const std::shared_ptr<ConnectorLink> &link : links) {
        const auto last = m_listings.constFind(link.get());
        askedAt.append(link->tabsRevision());
        if (last != m_listings.cend() && last->link.lock() == link && link->usable() &&
            link->announcesTabs() && last->tabsRevision == link->tabsRevision() &&
            !last->fresh.hasExpired()) {
            kept.append(*last);
            asked.append(-1);
            continue;
        }
        kept.append(std::nullopt);
        const QJsonObject request{{QStringLiteral("op"), QStringLiteral("tabs")}};
        asked.append(link->usable() ? link->send(request, -1) : -1);
    }
    QHash<const ConnectorLink *, Listing> listings;
    const QDeadlineTimer deadline(links.isEmpty() ? 0 : links.first()->timeouts().listMs);
    QList<TabEntry> entries;
    QList<BrowserState> states;
    QStringList connectedNames;
    QSet<qint64> pids;
    QSet<QString> pages;
    // A connected browser's tabs, listed now or kept from the last listing.
    const auto connected = [&](const ConnectorLink &link, const Listing &listing) {
        listings.insert(&link, listing);
        states.append({nameOf(link), QStringLiteral("connected"), int(listing.entries.size())});
        connectedNames.append(link.browserName());
        if (link.browserPid() > 0)
            pids.insert(link.browserPid());
        for (const TabEntry &entry : listing.entries)
            pages.insert(pageKey(entry.page.address, entry.page.title));
        entries.append(listing.entries);
    };
    for (qsizetype i = 0; i < links.size(); ++i) {
        const std::shared_ptr<ConnectorLink> &link = links.at(i);
        if (kept.at(i)) {
            connected(*link, *kept.at(i));
            continue;
        }
        if (asked.at(i) < 0) {
            states.append({nameOf(*link), QStringLiteral("not answering"), 0});
            continue;
        }
        const ConnectorReply reply =
            co_await link->wait(asked.at(i), int(std::max<qint64>(0, deadline.remainingTime())));
        const std::optional<QList<TabEntry>> tabs = tabsOf(reply, link);
        if (!tabs) {
            states.append({nameOf(*link),
                           reply.failure == ConnectorFailure::TimedOut
                               ? QStringLiteral("did not answer")
                               : QStringLiteral("answered no list of tabs"),
                           0});
            continue;
        }
        QSet<qint64> listed;
        for (const TabEntry &entry : *tabs)
            listed.insert(entry.tab);
        link->keepOnly(listed);
        connected(*link, Listing{link, *tabs, askedAt.at(i),
                                 QDeadlineTimer(link->timeouts().listReuseMs)});
    }
    m_listings = std::move(listings);
    m_states = states.isEmpty() ? statesWithoutBrowsers() : states;
    m_connected = connectedNames;
    m_browserPids = pids;
    m_pages = pages;
    co_return std::make_unique<ConnectorWindows>(std::move(entries));
}

QList<BrowserState> ConnectorBrowser::statesWithoutBrowsers() const {
    QStringList registered;
    QStringList why;
    for (const HostManifest &manifest : m_manifests) {
        if (manifest.written)
            registered.append(manifest.family);
        else
            why.append(manifest.family + u": "_qs + manifest.why);
    }
    if (registered.isEmpty()) {
        const QString reason =
            why.isEmpty() ? QStringLiteral("no Chromium, Google Chrome, Microsoft Edge or Firefox "
                                           "settings folder found")
                          : why.join(u"; ");
        return {{QStringLiteral("Pressbird Connector (%1)").arg(reason),
                 QStringLiteral("host not registered"), 0}};
    }
    registered.removeDuplicates();
    return {{QStringLiteral("Pressbird Connector (%1)").arg(registered.join(u", ")),
             QStringLiteral("extension not installed"), 0}};
}

// A tab the other backends reach too is walked here only. Their browser is
// told by its process where its profile's lock names it; else by the page.
bool ConnectorBrowser::reaches(const PageInfo &page) const {
    if (m_pages.isEmpty())
        return false;
    if (const qint64 pid = browserPidOfProfile(profileOf(page.browser)))
        return m_browserPids.contains(pid);
    return m_pages.contains(pageKey(page.address, page.title));
}

} // namespace pressbird
