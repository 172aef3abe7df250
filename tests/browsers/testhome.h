#pragma once

#include <QDir>
#include <QFile>
#include <QProcessEnvironment>
#include <QTemporaryDir>

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

} // namespace pressbird::testing
