#pragma once

#include "bidiendpoints.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
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

inline QString bidiPageUrl(const QString &name) {
    return QUrl::fromLocalFile(QStringLiteral(PRESSBIRD_BIDI_TEST_PAGES) + u'/' + name).toString();
}

// One headless Firefox ESR with a fresh profile and home, serving WebDriver
// BiDi on a port it picks, as `firefox --remote-debugging-port 0` does.
class HeadlessFirefox {
public:
    ~HeadlessFirefox() { stop(); }

    bool start(const QString &url) {
        stop();
        if (firefoxBinary().isEmpty())
            return false;
        m_profile = std::make_unique<QTemporaryDir>();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"HOME"_qs, m_profile->filePath(u"home"_qs));
        environment.insert(u"MOZ_CRASHREPORTER_DISABLE"_qs, u"1"_qs);
        m_process.setProcessEnvironment(environment);
        m_process.setProgram(firefoxBinary());
        m_process.setArguments({u"--headless"_qs, u"--no-remote"_qs, u"--profile"_qs,
                                m_profile->path(), u"--remote-debugging-port"_qs, u"0"_qs, url});
        m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        m_process.setStandardOutputFile(QProcess::nullDevice());
        m_process.setStandardErrorFile(QProcess::nullDevice());
        m_process.start();
        const QString file = m_profile->filePath(u"WebDriverBiDiServer.json"_qs);
        return QTest::qWaitFor([&] { return readBidiServerFile(file).has_value(); }, 60000);
    }
    void stop() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(10000);
        }
    }
    void kill() { stop(); }
    BidiEndpoint endpoint() const {
        return readBidiServerFile(m_profile->filePath(u"WebDriverBiDiServer.json"_qs))
            .value_or(BidiEndpoint{});
    }
    QString profile() const { return m_profile->path(); }
    qint64 pid() const { return m_process.processId(); }

private:
    QProcess m_process;
    std::unique_ptr<QTemporaryDir> m_profile;
};

} // namespace pressbird::testing
