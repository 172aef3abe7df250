// Pressbird's side of the Connector without a browser: the host manifests it
// writes, what it tells the user, and answers from a browser that cannot be
// trusted (malformed, oversized, late, or about a document that is gone).

#include "awaitonloop.h"
#include "connectorbrowser.h"
#include "connectorframes.h"
#include "enginerig.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLocalSocket>
#include <QTemporaryDir>
#include <QTest>

using namespace pressbird;
using namespace pressbird::testing;

namespace {

// A browser's host, in process: answers each request with what `reply` makes
// of it; an empty object is no answer at all.
class FakeHost {
public:
    std::function<QJsonObject(const QJsonObject &)> reply;

    explicit FakeHost(const QString &socketName) {
        QObject::connect(&m_socket, &QLocalSocket::readyRead, &m_socket, [this] {
            m_frames.append(m_socket.readAll());
            QByteArray json;
            while (m_frames.next(json) == connector::FrameReader::Status::Frame) {
                const QJsonObject request = *connector::parseObject(json);
                QJsonObject answer = reply ? reply(request) : QJsonObject();
                if (answer.isEmpty())
                    continue;
                answer.insert(u"id"_qs, request.value(u"id"));
                m_socket.write(connector::frame(answer));
            }
        });
        m_socket.connectToServer(socketName);
    }
    QLocalSocket &socket() { return m_socket; }

private:
    QLocalSocket m_socket;
    connector::FrameReader m_frames{connector::kMostToBrowserBytes};
};

QJsonObject tabs(const QJsonArray &list) {
    return {{u"tabs"_qs, list}};
}
QJsonObject tab(const QJsonValue &id, const QString &url, const QString &title = u"t"_qs) {
    return {{u"tab"_qs, id}, {u"url"_qs, url}, {u"title"_qs, title}};
}

QList<PageInfo> walk(Browser &browser) {
    const std::unique_ptr<ShellWindows> windows = awaitOnLoop(browser.createShellWindows());
    QList<PageInfo> pages;
    while (std::unique_ptr<BrowserWindow> window = awaitOnLoop(windows->next()))
        pages.append(window->page());
    return pages;
}

} // namespace

class TestConnectorBrowser : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_socket;
    std::unique_ptr<ConnectorServer> m_server;

    BrowserFolders folders() const {
        return {m_dir.filePath(u"config"_qs), m_dir.filePath(u"home"_qs),
                m_dir.filePath(u"data"_qs)};
    }
    // The program the manifests name: any executable will do.
    static QString hostProgram() { return QStringLiteral(PRESSBIRD_CONNECTOR_HOST); }

private Q_SLOTS:
    void init() {
        QVERIFY(m_dir.isValid());
        m_socket = m_dir.filePath(u"connector"_qs);
        // A list's time-out as the program's: the fake hosts answer from this
        // thread, slowly under a sanitizer on a busy machine.
        m_server = std::make_unique<ConnectorServer>(ConnectorTimeouts{1000, 300, 1000});
        QVERIFY(m_server->listen(m_socket));
    }

    void manifests_onlyForBrowsersFound_namingTheHostAndTheExtension_writtenOnce() {
        QCOMPARE(writeHostManifests(folders(), hostProgram()).size(), 0);
        QDir().mkpath(folders().configHome + u"/chromium"_qs);
        QDir().mkpath(folders().home + u"/.mozilla"_qs);
        const QList<HostManifest> written = writeHostManifests(folders(), hostProgram());
        QCOMPARE(written.size(), 2);
        QVERIFY(written.at(0).written && written.at(1).written);
        QFile chromium(written.at(0).path);
        QVERIFY(chromium.open(QIODevice::ReadOnly));
        const QJsonObject forChromium = QJsonDocument::fromJson(chromium.readAll()).object();
        QCOMPARE(written.at(0).path,
                 folders().configHome +
                     u"/chromium/NativeMessagingHosts/pressbird.connector.json"_qs);
        QCOMPARE(forChromium.value(u"path").toString(), hostProgram());
        QCOMPARE(forChromium.value(u"allowed_origins").toArray(),
                 (QJsonArray{u"chrome-extension://cjkanmnobpboeldkhdaiimkohbkpbdbe/"_qs,
                             u"chrome-extension://bldklfbbllepncdgbcjbbejnklfglebk/"_qs}));
        QFile firefox(written.at(1).path);
        QVERIFY(firefox.open(QIODevice::ReadOnly));
        QCOMPARE(QJsonDocument::fromJson(firefox.readAll()).object().value(u"allowed_extensions"),
                 QJsonArray{u"pressbird@pressbird"_qs});
        // At every start: a file that says the same is left alone.
        const QDateTime before = QFileInfo(written.at(0).path).lastModified();
        QTest::qWait(20);
        QVERIFY(writeHostManifests(folders(), hostProgram()).at(0).written);
        QCOMPARE(QFileInfo(written.at(0).path).lastModified(), before);
    }

    void states_hostNotRegistered_thenExtensionNotInstalled_thenConnectedWithTabs() {
        QString program;
        ConnectorBrowser browser(*m_server, [&] { return writeHostManifests(folders(), program); });
        QCOMPARE(browser.states().first().state, u"host not registered"_qs);
        QDir().mkpath(folders().configHome + u"/chromium"_qs);
        walk(browser); // no host program beside Pressbird
        QCOMPARE(browser.states().first().state, u"host not registered"_qs);
        QVERIFY(browser.states().first().browser.contains(u"not installed beside Pressbird"));
        program = hostProgram();
        walk(browser);
        QCOMPARE(browser.states().first().state, u"extension not installed"_qs);
        FakeHost host(m_socket);
        host.reply = [](const QJsonObject &) {
            return tabs({tab(1, u"https://a.example/"_qs), tab(2, u"https://b.example/"_qs)});
        };
        QTRY_COMPARE(m_server->links().size(), 1);
        QCOMPARE(walk(browser).size(), 2);
        QCOMPARE(browser.states().first().state, u"connected"_qs);
        QCOMPARE(browser.states().first().tabs, 2);
    }

    // Entries that are no tab are passed over; a listing that is none, or
    // too long to be one, gives no windows; a browser that stays silent costs
    // one time-out, then is passed by until it speaks, and the other browser
    // is listed all along.
    void untrustedListings_passedOverAndASilentBrowserCostsOneTimeOut() {
        ConnectorBrowser browser(*m_server, {});
        FakeHost sane(m_socket);
        QTRY_COMPARE(m_server->links().size(), 1);
        FakeHost odd(m_socket);
        QTRY_COMPARE(m_server->links().size(), 2);
        sane.reply = [](const QJsonObject &) { return tabs({tab(1, u"https://a.example/"_qs)}); };
        odd.reply = [](const QJsonObject &) {
            return tabs({tab(-1, u"https://neg.example/"_qs),
                         tab(u"7"_qs, u"https://text.example/"_qs), tab(3, QString()),
                         tab(4, u"https://x.example/"_qs, QString(5000, u'x')),
                         tab(5, u"https://kept.example/"_qs)});
        };
        QStringList addresses;
        for (const PageInfo &page : walk(browser))
            addresses.append(page.address);
        QCOMPARE(addresses, (QStringList{u"https://a.example/"_qs, u"https://kept.example/"_qs}));

        QJsonArray tooMany;
        for (int i = 0; i < 10001; ++i)
            tooMany.append(tab(i, u"https://many.example/"_qs));
        odd.reply = [&](const QJsonObject &) { return tabs(tooMany); };
        QCOMPARE(walk(browser).size(), 1);
        QCOMPARE(browser.states().at(1).state, u"answered no list of tabs"_qs);

        odd.reply = [](const QJsonObject &) { return QJsonObject(); };
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(walk(browser).size(), 1);
        QCOMPARE(browser.states().at(1).state, u"did not answer"_qs);
        QVERIFY(timer.elapsed() >= m_server->links().constFirst()->timeouts().listMs);
        timer.restart();
        QCOMPARE(walk(browser).size(), 1);
        QCOMPARE(browser.states().at(1).state, u"not answering"_qs);
        QVERIFY(timer.elapsed() < 200); // generous: no time-out was waited for
    }

    void oversizeFrameFromAHost_closesItsLinkOnly() {
        ConnectorBrowser browser(*m_server, {});
        FakeHost good(m_socket);
        QTRY_COMPARE(m_server->links().size(), 1);
        FakeHost bad(m_socket);
        QTRY_COMPARE(m_server->links().size(), 2);
        const quint32 huge = quint32(connector::kMostFromBrowserBytes + 1);
        bad.socket().write(QByteArray(reinterpret_cast<const char *>(&huge), sizeof huge));
        QTRY_COMPARE(m_server->links().size(), 1);
        good.reply = [](const QJsonObject &) { return tabs({tab(1, u"https://a.example/"_qs)}); };
        QCOMPARE(walk(browser).size(), 1);
    }

    // The content script no longer serves the document (the tab navigated or
    // closed): the call fails, and every later one without asking.
    void documentGone_failsForGood() {
        ConnectorBrowser browser(*m_server, {});
        FakeHost host(m_socket);
        int pageCalls = 0;
        host.reply = [&](const QJsonObject &request) -> QJsonObject {
            const QString op = request.value(u"op").toString();
            if (op == u"tabs")
                return tabs({tab(1, u"https://a.example/"_qs)});
            if (op == u"open")
                return {{u"doc"_qs, u"d1"_qs}};
            ++pageCalls;
            return {{u"gone"_qs, true}};
        };
        QTRY_COMPARE(m_server->links().size(), 1);
        const std::unique_ptr<ShellWindows> windows = awaitOnLoop(browser.createShellWindows());
        const std::unique_ptr<BrowserWindow> window = awaitOnLoop(windows->next());
        const std::unique_ptr<Document> document = awaitOnLoop(window->document());
        QVERIFY(document);
        QCOMPARE(awaitOnLoop(document->length(Collection::All)), std::nullopt);
        QCOMPARE(awaitOnLoop(document->length(Collection::Links)), std::nullopt);
        QVERIFY(!awaitOnLoop(document->click(Collection::All, 0)));
        QCOMPARE(pageCalls, 1);
    }

    // Today's walk asked of an extension of an earlier release, which answers
    // the classic way and lists no frames: its page is read as the classic
    // collections, so no other element than an input is pushed for its value.
    void extensionOfAnEarlierRelease_askedForToday_readTheClassicWay() {
        FakeHost host(m_socket);
        QList<int> clicked;
        host.reply = [&](const QJsonObject &request) -> QJsonObject {
            const QString op = request.value(u"op").toString();
            if (op == u"tabs")
                return tabs({tab(1, u"https://a.example/"_qs)});
            if (op == u"open")
                return {{u"doc"_qs, u"d1"_qs}};
            if (op != u"page")
                return {{u"error"_qs, u"not a request this extension knows"_qs}};
            const QJsonObject args = request.value(u"args").toObject();
            if (request.value(u"call").toString() == u"click") {
                clicked.append(args.value(u"index").toInt());
                return {{u"value"_qs, true}};
            }
            const QString rows = args.value(u"links").toBool()
                                     ? u"[0,[],1,[]]"_qs
                                     : u"[2,[[0,\"Go\"],[1,\"Go\"]],1,[\"BUTTON\",\"INPUT\"]]"_qs;
            return {{u"value"_qs, rows}};
        };
        QTRY_COMPARE(m_server->links().size(), 1);
        EngineRig<ConnectorBrowser> rig(*m_server, ConnectorBrowser::Registration());
        rig.listPush.appendTicked(rule(u"Go"_qs, u"Exact Match"_qs));
        rig.engine.setPageOptions({.today = true});
        rig.scan();
        QCOMPARE(clicked, QList<int>{1});
    }

    // An extension that tells of its tabs' changes is taken at its word: a
    // listing serves for a second until it tells of one, a document's name
    // until it tells the tab navigated or a call finds the document gone.
    void toldTabChanges_listsAndOpensOnlyAfterOne() {
        ConnectorBrowser browser(*m_server, {});
        FakeHost host(m_socket);
        int lists = 0;
        int opens = 0;
        bool gone = false;
        host.reply = [&](const QJsonObject &request) -> QJsonObject {
            const QString op = request.value(u"op").toString();
            if (op == u"tabs")
                return ++lists, tabs({tab(1, u"https://a.example/"_qs)});
            if (op == u"open")
                return ++opens, QJsonObject{{u"doc"_qs, u"d1"_qs}};
            return gone ? QJsonObject{{u"gone"_qs, true}} : QJsonObject{{u"value"_qs, true}};
        };
        QTRY_COMPARE(m_server->links().size(), 1);
        const std::shared_ptr<ConnectorLink> link = m_server->links().constFirst();
        const auto tell = [&](const QJsonObject &news) {
            const quint64 before = link->tabsRevision();
            host.socket().write(connector::frame(news));
            QTRY_VERIFY(link->tabsRevision() != before);
        };
        const auto open = [&] {
            const std::unique_ptr<ShellWindows> windows = awaitOnLoop(browser.createShellWindows());
            const std::unique_ptr<BrowserWindow> window = awaitOnLoop(windows->next());
            return window ? awaitOnLoop(window->document()) : nullptr;
        };

        // Told nothing: asked at every walk, as ever.
        open();
        open();
        QCOMPARE(lists, 2);
        QCOMPARE(opens, 2);

        tell({{u"hello"_qs, u"extension"_qs}, {u"tabEvents"_qs, true}});
        QVERIFY(open());
        QVERIFY(open());
        QCOMPARE(lists, 3);
        QCOMPARE(opens, 3);
        tell({{u"tabsChanged"_qs, true}, {u"tab"_qs, 1}, {u"navigated"_qs, false}});
        QVERIFY(open());
        QCOMPARE(lists, 4);
        QCOMPARE(opens, 3);
        tell({{u"tabsChanged"_qs, true}, {u"tab"_qs, 1}, {u"navigated"_qs, true}});
        QVERIFY(open());
        QCOMPARE(lists, 5);
        QCOMPARE(opens, 4);
        QTest::qWait(m_server->links().constFirst()->timeouts().listReuseMs + 100);
        QVERIFY(open());
        QCOMPARE(lists, 6);
        QCOMPARE(opens, 4);

        gone = true;
        const std::unique_ptr<Document> document = open();
        QVERIFY(!awaitOnLoop(document->click(Collection::All, 0)));
        QVERIFY(open());
        QCOMPARE(opens, 5);
    }
};

QTEST_GUILESS_MAIN(TestConnectorBrowser)
#include "tst_connectorbrowser.moc"
