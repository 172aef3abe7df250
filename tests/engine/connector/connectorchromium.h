#pragma once

#include "awaitonloop.h"
#include "cdpconnection.h"
#include "endpoints.h"
#include "headlesschromium.h"

#include <QDir>
#include <QJsonArray>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>
#include <sys/prctl.h>

namespace pressbird::testing {

// A user's home for the browsers under test: its own configuration folder
// and runtime folder, so the manifests and the socket are the test's alone.
class TestHome {
public:
    TestHome() {
        QDir().mkpath(configHome());
        QDir().mkpath(runtimeDir());
        QFile::setPermissions(runtimeDir(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    QString path() const { return m_dir.path(); }
    QString configHome() const { return m_dir.filePath(u"config"_qs); }
    QString runtimeDir() const { return m_dir.filePath(u"runtime"_qs); }
    QProcessEnvironment environment() const {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"HOME"_qs, path());
        environment.insert(u"XDG_CONFIG_HOME"_qs, configHome());
        environment.insert(u"XDG_RUNTIME_DIR"_qs, runtimeDir());
        environment.insert(u"MOZ_CRASHREPORTER_DISABLE"_qs, u"1"_qs);
        return environment;
    }

private:
    QTemporaryDir m_dir;
};

// Headless Chromium on the default profile folder under the test home, with the
// installed extension loaded as a user's browser would have it. A DevTools
// channel of the test's own opens, closes and inspects tabs.
class ConnectorChromium {
public:
    explicit ConnectorChromium(const TestHome &home)
        : m_home(home) {}
    ~ConnectorChromium() { stop(); }

    QString profile() const { return m_home.configHome() + u"/chromium"_qs; }

    bool start() {
        if (chromiumBinary().isEmpty())
            return false;
        QFile::remove(profile() + u"/DevToolsActivePort"_qs);
        m_process.setProcessEnvironment(m_home.environment());
        m_process.setProgram(chromiumBinary());
        QStringList flags = headlessFlags();
        flags.replace(0, u"--headless=new"_qs);
        m_process.setArguments(
            flags + QStringList{
                        u"--load-extension="_qs + QStringLiteral(PRESSBIRD_EXTENSION_DIR),
                        // Named, as headless would take a throwaway one.
                        u"--user-data-dir="_qs + profile(),
                        u"--remote-debugging-port=0"_qs,
                        u"about:blank"_qs,
                    });
        m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        m_process.setStandardOutputFile(QProcess::nullDevice());
        m_process.setStandardErrorFile(QProcess::nullDevice());
        m_process.start();
        const QString portFile = profile() + u"/DevToolsActivePort"_qs;
        if (!QTest::qWaitFor([&] { return readActivePortFile(portFile).has_value(); }, 30000))
            return false;
        m_endpoint = *readActivePortFile(portFile);
        m_control = std::make_shared<CdpConnection>(m_endpoint, DevToolsTimeouts{10000, 10000},
                                                    std::make_shared<DevToolsStats>());
        return awaitOnLoop(m_control->open());
    }
    void stop() {
        m_control.reset();
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(10000);
        }
    }
    qint64 pid() const { return m_process.processId(); }
    const Endpoint &endpoint() const { return m_endpoint; }

    CdpReply call(const QString &method, const QJsonObject &params = {},
                  const CdpSessionPtr &session = {}) {
        return awaitOnLoop(m_control->call(method, params, session));
    }
    QString openTab(const QString &url) {
        const CdpReply reply = call(u"Target.createTarget"_qs, {{u"url"_qs, url}});
        const QString id = reply.result.value(u"targetId").toString();
        (void)QTest::qWaitFor(
            [&] {
                return evaluate(id, u"location.href !== 'about:blank' && "
                                    u"document.readyState === 'complete'"_qs) == u"true"_qs;
            },
            20000);
        return id;
    }
    void closeTab(const QString &targetId) {
        call(u"Target.closeTarget"_qs, {{u"targetId"_qs, targetId}});
    }
    // Every page but one blank tab, so the browser stays open.
    void closeAllPages() {
        const QJsonArray pages = pageTargets();
        for (const QJsonValue &info : pages)
            closeTab(info.toObject().value(u"targetId").toString());
    }
    QJsonArray pageTargets() {
        QJsonArray pages;
        const CdpReply reply = call(u"Target.getTargets"_qs);
        for (const QJsonValue &value : reply.result.value(u"targetInfos").toArray()) {
            const QJsonObject info = value.toObject();
            if (info.value(u"type").toString() == u"page")
                pages.append(info);
        }
        return pages;
    }
    QString evaluate(const QString &targetId, const QString &expression) {
        CdpSessionPtr session = m_control->sessionForTarget(targetId);
        if (!session) {
            const CdpReply attached = call(u"Target.attachToTarget"_qs,
                                           {{u"targetId"_qs, targetId}, {u"flatten"_qs, true}});
            session = std::make_shared<CdpSession>();
            session->id = attached.result.value(u"sessionId").toString();
            session->targetId = targetId;
            m_control->addSession(session);
        }
        const CdpReply reply =
            call(u"Runtime.evaluate"_qs,
                 {{u"expression"_qs, expression}, {u"returnByValue"_qs, true}}, session);
        const QJsonValue value = reply.result.value(u"result").toObject().value(u"value");
        return value.isString() ? value.toString() : value.toVariant().toString();
    }

private:
    const TestHome &m_home;
    QProcess m_process;
    Endpoint m_endpoint;
    std::shared_ptr<CdpConnection> m_control;
};

} // namespace pressbird::testing
