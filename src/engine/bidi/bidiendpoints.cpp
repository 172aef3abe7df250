#include "bidiendpoints.h"

#include "loopback.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QStandardPaths>

namespace pressbird {

namespace {
constexpr qint64 kMostServerFileBytes = 4096;
constexpr QStringView kScheme = u"bidi://";
} // namespace

std::optional<BidiEndpoint> parseBidiEndpoint(QStringView text) {
    text = text.trimmed();
    if (!text.startsWith(kScheme, Qt::CaseInsensitive))
        return std::nullopt;
    const std::optional<LoopbackAddress> address =
        parseLoopbackAddress(text.sliced(kScheme.size()));
    if (!address)
        return std::nullopt;
    return BidiEndpoint{address->host, address->port, u"PRESSBIRD_BROWSERS"_qs};
}

std::optional<BidiEndpoint> readBidiServerFile(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray bytes = file.read(kMostServerFileBytes + 1);
    if (bytes.size() > kMostServerFileBytes)
        return std::nullopt;
    const QJsonObject server = QJsonDocument::fromJson(bytes).object();
    const QString host = server.value(u"ws_host").toString();
    const int port = server.value(u"ws_port").toInt(-1);
    if (port <= 0 || port > 65535 || !isLoopbackHost(host))
        return std::nullopt;
    return BidiEndpoint{host, quint16(port), QFileInfo(path).absolutePath()};
}

QString pressbirdFirefoxProfileDir() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           u"/Pressbird/firefox-profile"_qs;
}

QStringList firefoxProfileDirs() {
    QStringList dirs{pressbirdFirefoxProfileDir()};
    const QString home = QDir::homePath();
    for (const QString &root :
         {home + u"/.mozilla/firefox"_qs, home + u"/.config/mozilla/firefox"_qs}) {
        const QString ini = root + u"/profiles.ini"_qs;
        if (!QFileInfo(ini).isFile() || QFileInfo(ini).size() > 1024 * 1024)
            continue;
        const QSettings profiles(ini, QSettings::IniFormat);
        for (const QString &group : profiles.childGroups()) {
            if (!group.startsWith(u"Profile"))
                continue;
            const QString path = profiles.value(group + u"/Path"_qs).toString();
            if (path.isEmpty())
                continue;
            const bool relative = profiles.value(group + u"/IsRelative"_qs, 1).toInt() == 1;
            dirs.append(relative ? QDir(root).filePath(path) : path);
        }
    }
    dirs.removeDuplicates();
    return dirs;
}

QList<BidiEndpoint> discoverBidiEndpoints(const std::optional<QString> &override,
                                          const QStringList &profileDirs) {
    QList<BidiEndpoint> found;
    const auto add = [&found](const BidiEndpoint &endpoint) {
        if (!found.contains(endpoint))
            found.append(endpoint);
    };
    if (override) {
        for (const QString &item : override->split(u',', Qt::SkipEmptyParts)) {
            if (const std::optional<BidiEndpoint> endpoint = parseBidiEndpoint(item))
                add(*endpoint);
        }
        return found;
    }
    for (const QString &dir : profileDirs) {
        if (const std::optional<BidiEndpoint> endpoint =
                readBidiServerFile(QDir(dir).filePath(u"WebDriverBiDiServer.json"_qs)))
            add(*endpoint);
    }
    return found;
}

QList<BidiEndpoint> discoverBidiEndpoints() {
    std::optional<QString> override;
    if (qEnvironmentVariableIsSet("PRESSBIRD_BROWSERS"))
        override = qEnvironmentVariable("PRESSBIRD_BROWSERS");
    return discoverBidiEndpoints(override, firefoxProfileDirs());
}

} // namespace pressbird
