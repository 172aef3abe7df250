#pragma once

#include "awaitonloop.h"
#include "bidiconnection.h"
#include "connectorchromium.h"
#include "headlessfirefox.h"

#include <QRegularExpression>

namespace pressbird::testing {

// The test pages over HTTP on loopback, as a user's pages come: Firefox
// gives an extension no host permission for file: pages.
class PageServer {
public:
    ~PageServer() {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    bool start() {
        m_process.setWorkingDirectory(QStringLiteral(PRESSBIRD_TEST_PAGES));
        m_process.start(u"python3"_qs, {u"-u"_qs, u"-m"_qs, u"http.server"_qs, u"0"_qs,
                                        u"--bind"_qs, u"127.0.0.1"_qs});
        QByteArray said;
        const QRegularExpression port(u"port (\\d+)"_qs);
        return QTest::qWaitFor(
            [&] {
                said += m_process.readAllStandardOutput();
                const QRegularExpressionMatch found = port.match(QString::fromUtf8(said));
                if (found.hasMatch())
                    m_port = found.captured(1);
                return !m_port.isEmpty();
            },
            10000);
    }
    QString url(const QString &page) const {
        return u"http://127.0.0.1:"_qs + m_port + u'/' + page;
    }

private:
    QProcess m_process;
    QString m_port;
};

// Headless Firefox ESR with the .xpi sideloaded into a profile under the test
// home, as a user who accepts unsigned extensions would have it. A BiDi
// session of the test's own opens, navigates, inspects and closes tabs.
class ConnectorFirefox {
public:
    explicit ConnectorFirefox(const TestHome &home)
        : m_home(home) {
        // The user's Firefox folder, where Pressbird writes the host manifest.
        QDir().mkpath(home.path() + u"/.mozilla"_qs);
    }
    ~ConnectorFirefox() { stop(); }

    QString profile() const { return m_home.path() + u"/firefox-profile"_qs; }

    bool start() {
        stop();
        if (firefoxBinary().isEmpty())
            return false;
        QDir().mkpath(profile() + u"/extensions"_qs);
        const QString xpi = profile() + u"/extensions/pressbird@pressbird.xpi"_qs;
        // Copied once: a changed file is an update, installed anew.
        if (!QFileInfo::exists(xpi))
            QFile::copy(QStringLiteral(PRESSBIRD_EXTENSION_XPI), xpi);
        QFile prefs(profile() + u"/user.js"_qs);
        if (!prefs.open(QIODevice::WriteOnly))
            return false;
        prefs.write("user_pref(\"xpinstall.signatures.required\", false);\n"
                    "user_pref(\"extensions.autoDisableScopes\", 0);\n"
                    "user_pref(\"datareporting.policy.firstRunURL\", \"\");\n"
                    "user_pref(\"browser.startup.homepage_override.mstone\", \"ignore\");\n"
                    "user_pref(\"browser.sessionstore.resume_from_crash\", false);\n");
        prefs.close();
        QFile::remove(profile() + u"/WebDriverBiDiServer.json"_qs);
        m_process.setProcessEnvironment(m_home.environment());
        m_process.setProgram(firefoxBinary());
        m_process.setArguments({u"--headless"_qs, u"--no-remote"_qs, u"--profile"_qs, profile(),
                                u"--remote-debugging-port"_qs, u"0"_qs, u"about:blank"_qs});
        m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        m_process.setStandardOutputFile(QProcess::nullDevice());
        m_process.setStandardErrorFile(QProcess::nullDevice());
        m_process.start();
        const QString file = profile() + u"/WebDriverBiDiServer.json"_qs;
        if (!QTest::qWaitFor([&] { return readBidiServerFile(file).has_value(); }, 60000))
            return false;
        m_control =
            std::make_shared<BidiConnection>(*readBidiServerFile(file), BidiTimeouts{10000, 10000});
        return awaitOnLoop(m_control->open());
    }
    void stop() {
        m_control.reset();
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(10000);
        }
    }

    BidiReply call(const QString &method, const QJsonObject &params) {
        return awaitOnLoop(m_control->call(method, params, QString(), 10000));
    }
    QString openTab(const QString &url) {
        const QJsonObject create{{u"type"_qs, u"tab"_qs}};
        const QString context =
            call(u"browsingContext.create"_qs, create).result.value(u"context").toString();
        navigate(context, url);
        return context;
    }
    void navigate(const QString &context, const QString &url) {
        call(u"browsingContext.navigate"_qs,
             {{u"context"_qs, context}, {u"url"_qs, url}, {u"wait"_qs, u"complete"_qs}});
    }
    void closeTab(const QString &context) {
        call(u"browsingContext.close"_qs, {{u"context"_qs, context}});
    }
    // Every tab but a blank one, so the browser stays open.
    void closeAllTabs() {
        const QJsonObject topLevelOnly{{u"maxDepth"_qs, 0}};
        const QJsonArray contexts =
            call(u"browsingContext.getTree"_qs, topLevelOnly).result.value(u"contexts").toArray();
        for (qsizetype i = 0; i < contexts.size(); ++i) {
            const QString context = contexts.at(i).toObject().value(u"context").toString();
            if (i == 0)
                navigate(context, u"about:blank"_qs);
            else
                closeTab(context);
        }
    }
    // An expression in the page's own world; its value as text.
    QString evaluate(const QString &context, const QString &expression) {
        const BidiReply reply =
            call(u"script.evaluate"_qs, {{u"expression"_qs, expression},
                                         {u"target"_qs, QJsonObject{{u"context"_qs, context}}},
                                         {u"awaitPromise"_qs, false}});
        const QJsonValue value = reply.result.value(u"result").toObject().value(u"value");
        return value.isString() ? value.toString() : value.toVariant().toString();
    }

private:
    const TestHome &m_home;
    QProcess m_process;
    std::shared_ptr<BidiConnection> m_control;
};

} // namespace pressbird::testing
