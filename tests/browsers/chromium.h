#pragma once

#include "awaitonloop.h"
#include "cdpconnection.h"
#include "endpoints.h"
#include "requirebrowser.h"
#include "testpages.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <csignal>
#include <memory>
#include <sys/prctl.h>

namespace pressbird::testing {

// PRESSBIRD_TEST_CHROMIUM, else chromium on the PATH; empty when not executable.
inline QString chromiumBinary() {
    const QString chosen = qEnvironmentVariable("PRESSBIRD_TEST_CHROMIUM");
    if (!chosen.isEmpty())
        return QFileInfo(chosen).isExecutable() ? chosen : QString();
    return QStandardPaths::findExecutable(u"chromium"_qs);
}

} // namespace pressbird::testing

// Skips the test on a developer's machine without Chromium; fails it in CI.
#define PRESSBIRD_REQUIRE_CHROMIUM()                                                               \
    PRESSBIRD_REQUIRE_BROWSER(pressbird::testing::chromiumBinary(),                                \
                              "no chromium binary, and CI is set: the browser tests must run",     \
                              "no chromium binary")

namespace pressbird::testing {

inline QStringList headlessFlags() {
    return {u"--headless"_qs,
            u"--no-sandbox"_qs,
            u"--disable-gpu"_qs,
            u"--no-first-run"_qs,
            u"--disable-background-networking"_qs,
            u"--disable-component-update"_qs,
            u"--disable-sync"_qs};
}

// A test's own DevTools channel to a Chromium it started, to open, close,
// inspect and disturb tabs. Its calls run the event loop until they are
// answered.
class ChromiumControl {
public:
    const Endpoint &endpoint() const { return m_endpoint; }
    CdpConnection &control() { return *m_control; }
    CdpReply call(const QString &method, const QJsonObject &params = {},
                  const CdpSessionPtr &session = {}) {
        return awaitOnLoop(m_control->call(method, params, session));
    }

    QString openTab(const QString &url) {
        const CdpReply reply = call(u"Target.createTarget"_qs, {{u"url"_qs, url}});
        const QString id = reply.result.value(u"targetId").toString();
        (void)QTest::qWaitFor(
            [&] {
                // The tab's first document is a complete about:blank: wait for the page.
                return evaluate(id, u"location.href !== 'about:blank' && "
                                    u"document.readyState === 'complete'"_qs) == u"true"_qs;
            },
            20000);
        return id;
    }
    void closeTab(const QString &targetId) {
        call(u"Target.closeTarget"_qs, {{u"targetId"_qs, targetId}});
    }
    void closeAllPages() {
        for (const QJsonValue &info : pageTargets())
            closeTab(info.toObject().value(u"targetId").toString());
    }
    QJsonArray pageTargets() {
        QJsonArray pages;
        const CdpReply reply = call(u"Target.getTargets"_qs);
        for (const QJsonValue &value : reply.result.value(u"targetInfos").toArray()) {
            if (value.toObject().value(u"type").toString() == u"page")
                pages.append(value);
        }
        return pages;
    }
    // The query of every page's address, sorted: which test pages are open.
    QStringList pageQueries() {
        QStringList queries;
        for (const QJsonValue &target : pageTargets())
            queries.append(QUrl(target.toObject().value(u"url").toString()).query());
        queries.sort();
        return queries;
    }
    QString url(const QString &targetId) {
        const CdpReply reply = call(u"Target.getTargetInfo"_qs, {{u"targetId"_qs, targetId}});
        return reply.result.value(u"targetInfo").toObject().value(u"url").toString();
    }

    // An expression in the page's own world; its value as text.
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

protected:
    // Waits for the browser to name its port in the profile, then connects.
    bool connectTo(const QString &profile) {
        const QString portFile = profile + u"/DevToolsActivePort"_qs;
        if (!QTest::qWaitFor([&] { return readActivePortFile(portFile).has_value(); }, 30000))
            return false;
        m_endpoint = *readActivePortFile(portFile);
        m_control = std::make_shared<CdpConnection>(m_endpoint, DevToolsTimeouts{10000, 10000},
                                                    std::make_shared<DevToolsStats>());
        return awaitOnLoop(m_control->open());
    }

    Endpoint m_endpoint;
    std::shared_ptr<CdpConnection> m_control;
};

// Where a test's Chromium keeps its profile, and what it starts with.
struct ChromiumProfile {
    QString folder; // empty: a fresh temporary one
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    QString extension;    // an unpacked extension to load, if any
    bool headless = true; // false: a window on $DISPLAY, as a user's browser
};

// One headless Chromium, and the test's channel to it.
class HeadlessChromium : public ChromiumControl {
public:
    explicit HeadlessChromium(ChromiumProfile profile = {})
        : m_profile(std::move(profile)) {}
    ~HeadlessChromium() { stop(); }

    bool start() {
        if (!m_dir.isValid() || chromiumBinary().isEmpty())
            return false;
        // A restart on the same profile waits for the new port, not the old one.
        QFile::remove(profile() + u"/DevToolsActivePort"_qs);
        QStringList flags = headlessFlags();
        if (!m_profile.headless)
            flags.removeFirst();
        else if (!m_profile.extension.isEmpty())
            flags.replace(0, u"--headless=new"_qs);
        if (!m_profile.extension.isEmpty())
            flags << u"--load-extension="_qs + m_profile.extension;
        m_process.setProcessEnvironment(m_profile.environment);
        m_process.setProgram(chromiumBinary());
        // Named, as headless would take a throwaway one.
        m_process.setArguments(flags + QStringList{u"--user-data-dir="_qs + profile(),
                                                   u"--remote-debugging-port=0"_qs,
                                                   u"about:blank"_qs});
        // A test that crashes takes its browser with it.
        m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        m_process.setStandardOutputFile(QProcess::nullDevice());
        m_process.setStandardErrorFile(QProcess::nullDevice());
        m_process.start();
        return connectTo(profile());
    }

    void stop() {
        m_control.reset();
        if (m_process.state() != QProcess::NotRunning) {
            resume();
            m_process.kill();
            m_process.waitForFinished(10000);
        }
    }
    void kill() {
        m_process.kill();
        m_process.waitForFinished(10000);
    }
    void pause() { ::kill(static_cast<pid_t>(m_process.processId()), SIGSTOP); }
    void resume() { ::kill(static_cast<pid_t>(m_process.processId()), SIGCONT); }

    QString profile() const { return m_profile.folder.isEmpty() ? m_dir.path() : m_profile.folder; }
    qint64 pid() const { return m_process.processId(); }
    QString address() const { return u"127.0.0.1:"_qs + QString::number(m_endpoint.port); }

private:
    ChromiumProfile m_profile;
    QTemporaryDir m_dir;
    QProcess m_process;
};

} // namespace pressbird::testing
