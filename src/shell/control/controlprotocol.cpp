#include "controlprotocol.h"

#include "activitylog.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QStandardPaths>

#include <sys/stat.h>
#include <unistd.h>

namespace pressbird::control {

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

QString socketName(const QString &folder) {
    return folder + QStringLiteral("/control");
}

QString lockFileName(const QString &folder) {
    return folder + QStringLiteral("/instance.lock");
}

QByteArray encode(const QJsonObject &message) {
    return QJsonDocument(message).toJson(QJsonDocument::Compact).append('\n');
}

std::optional<QJsonObject> decode(const QByteArray &line) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(line, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    return document.object();
}

QJsonObject request(const QString &verb, const QString &argument) {
    QJsonObject message{{QStringLiteral("verb"), verb}};
    if (!argument.isNull())
        message.insert(QStringLiteral("argument"), argument);
    return message;
}

QString field(QString text) {
    return text.replace(u'\t', u' ').replace(u'\n', u' ').replace(u'\r', u' ');
}

std::optional<qsizetype> activityCount(const QString &text) {
    if (text.isEmpty())
        return 20;
    bool ok = false;
    const qsizetype count = text.toLongLong(&ok);
    if (!ok || count < 0)
        return std::nullopt;
    return count;
}

QString previewLine(const ActivityEntry &entry) {
    return QStringList{entry.link ? QStringLiteral("link") : QStringLiteral("button"),
                       field(entry.entry), field(entry.element), field(entry.pageAddress)}
        .join(u'\t');
}

QString activityLine(const ActivityEntry &entry) {
    return entry.time.toString(Qt::ISODate) + u'\t' + previewLine(entry);
}

QJsonObject ack() {
    return {{QStringLiteral("ack"), true}};
}

QJsonObject success(const QString &text) {
    return {{QStringLiteral("ok"), true}, {QStringLiteral("text"), text}};
}

QJsonObject failure(const QString &error) {
    return {{QStringLiteral("ok"), false}, {QStringLiteral("error"), error}};
}

} // namespace pressbird::control
