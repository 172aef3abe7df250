#include "runtimefolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pressbird {

namespace {

// A folder that this user owns and no one else may enter.
bool isPrivateFolder(const QString &path) {
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return false;
    return S_ISDIR(st.st_mode) && st.st_uid == ::getuid() && (st.st_mode & 077) == 0;
}

std::optional<QString> makePrivateFolder(const QString &path) {
    QDir().mkpath(path);
    ::chmod(QFile::encodeName(path).constData(), 0700);
    if (!isPrivateFolder(path))
        return std::nullopt;
    return path;
}

} // namespace

std::optional<QString> runtimeFolder(QString *why) {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir()) {
        if (std::optional<QString> folder =
                makePrivateFolder(runtime + QStringLiteral("/pressbird")))
            return folder;
    }
    const QString fallback = QDir::tempPath() + QStringLiteral("/pressbird-%1").arg(::getuid());
    if (std::optional<QString> folder = makePrivateFolder(fallback))
        return folder;
    if (why)
        *why = QStringLiteral("no private folder for the control socket could be made (%1 "
                              "belongs to another user or is open to others)")
                   .arg(fallback);
    return std::nullopt;
}

std::optional<uid_t> peerUid(int socketDescriptor) {
    ucred peer{};
    socklen_t size = sizeof peer;
    if (::getsockopt(socketDescriptor, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0)
        return std::nullopt;
    return peer.uid;
}

pid_t peerPid(int socketDescriptor) {
    ucred peer{};
    socklen_t size = sizeof peer;
    if (::getsockopt(socketDescriptor, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0)
        return 0;
    return peer.pid;
}

} // namespace pressbird
