#pragma once

#include "awaitonloop.h"
#include "bidiconnection.h"
#include "bidiendpoints.h"
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

#include <csignal>
#include <memory>
#include <optional>
#include <sys/prctl.h>

namespace pressbird::testing {

inline QString firefoxBinary() {
    for (const char *name : {"firefox-esr", "firefox"}) {
        const QString found = QStandardPaths::findExecutable(QString::fromLatin1(name));
        if (!found.isEmpty())
            return found;
    }
    return {};
}

} // namespace pressbird::testing

// Skips the test on a developer's machine without Firefox; fails it in CI.
#define PRESSBIRD_REQUIRE_FIREFOX()                                                                \
    PRESSBIRD_REQUIRE_BROWSER(pressbird::testing::firefoxBinary(),                                 \
                              "no Firefox, and CI is set: the browser tests must run",             \
                              "no Firefox")

namespace pressbird::testing {

// Where a test's Firefox keeps its profile, and what it starts with.
struct FirefoxProfile {
    // Empty: a fresh temporary one at every start, with a home of its own.
    QString folder;
    // The folder's user's: none with a temporary profile.
    std::optional<QProcessEnvironment> environment;
    // An .xpi sideloaded into the profile, as a user who accepts unsigned
    // extensions would have it.
    QString extension;
    // A BiDi session of the test's own to open, navigate, inspect and close
    // tabs. Firefox admits one session: a test of the BiDi backend has none.
    bool control = false;
};

// One headless Firefox ESR serving WebDriver BiDi on a port it picks, as
// `firefox --remote-debugging-port 0` does.
class HeadlessFirefox {
public:
    explicit HeadlessFirefox(FirefoxProfile profile = {})
        : m_profile(std::move(profile)) {}
    ~HeadlessFirefox() { stop(); }

    bool start(const QString &url = u"about:blank"_qs) {
        stop();
        if (firefoxBinary().isEmpty())
            return false;
        QProcessEnvironment environment;
        if (m_profile.folder.isEmpty()) {
            m_temporary = std::make_unique<QTemporaryDir>();
            environment = QProcessEnvironment::systemEnvironment();
            environment.insert(u"HOME"_qs, m_temporary->filePath(u"home"_qs));
            environment.insert(u"MOZ_CRASHREPORTER_DISABLE"_qs, u"1"_qs);
        } else {
            QDir().mkpath(m_profile.folder);
            environment = m_profile.environment.value_or(QProcessEnvironment::systemEnvironment());
        }
        if (!m_profile.extension.isEmpty() && !sideload())
            return false;
        QFile::remove(serverFile());
        m_process.setProcessEnvironment(environment);
        m_process.setProgram(firefoxBinary());
        m_process.setArguments({u"--headless"_qs, u"--no-remote"_qs, u"--profile"_qs, profile(),
                                u"--remote-debugging-port"_qs, u"0"_qs, url});
        m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        m_process.setStandardOutputFile(QProcess::nullDevice());
        m_process.setStandardErrorFile(QProcess::nullDevice());
        m_process.start();
        if (!QTest::qWaitFor([&] { return readBidiServerFile(serverFile()).has_value(); }, 60000))
            return false;
        if (!m_profile.control)
            return true;
        m_control = std::make_shared<BidiConnection>(*readBidiServerFile(serverFile()),
                                                     BidiTimeouts{10000, 10000});
        return awaitOnLoop(m_control->open());
    }
    void stop() {
        m_control.reset();
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(10000);
        }
    }
    void kill() { stop(); }
    BidiEndpoint endpoint() const {
        return readBidiServerFile(serverFile()).value_or(BidiEndpoint{});
    }
    QString profile() const { return m_temporary ? m_temporary->path() : m_profile.folder; }
    qint64 pid() const { return m_process.processId(); }

    // The calls of the test's own session (FirefoxProfile::control).
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
    QString serverFile() const { return profile() + u"/WebDriverBiDiServer.json"_qs; }
    bool sideload() {
        QDir().mkpath(profile() + u"/extensions"_qs);
        const QString xpi =
            profile() + u"/extensions/"_qs + QFileInfo(m_profile.extension).fileName();
        // Copied once: a changed file is an update, installed anew.
        if (!QFileInfo::exists(xpi))
            QFile::copy(m_profile.extension, xpi);
        QFile prefs(profile() + u"/user.js"_qs);
        if (!prefs.open(QIODevice::WriteOnly))
            return false;
        prefs.write("user_pref(\"xpinstall.signatures.required\", false);\n"
                    "user_pref(\"extensions.autoDisableScopes\", 0);\n"
                    "user_pref(\"datareporting.policy.firstRunURL\", \"\");\n"
                    "user_pref(\"browser.startup.homepage_override.mstone\", \"ignore\");\n"
                    "user_pref(\"browser.sessionstore.resume_from_crash\", false);\n");
        return true;
    }

    FirefoxProfile m_profile;
    std::unique_ptr<QTemporaryDir> m_temporary;
    QProcess m_process;
    std::shared_ptr<BidiConnection> m_control;
};

} // namespace pressbird::testing
