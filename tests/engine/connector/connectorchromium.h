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
class ConnectorChromium : public ChromiumControl {
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
        return connectTo(profile());
    }
    void stop() {
        m_control.reset();
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(10000);
        }
    }
    qint64 pid() const { return m_process.processId(); }

private:
    const TestHome &m_home;
    QProcess m_process;
};

} // namespace pressbird::testing
