#include "endpoints.h"

#include "loopback.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QStandardPaths>

namespace pressbird {

QString Endpoint::label() const {
    if (!profile.isEmpty())
        return profile;
    return urlHost(host) + u':' + QString::number(port);
}

QUrl endpointUrl(const QString &scheme, const QString &host, quint16 port, const QString &path) {
    QUrl url;
    url.setScheme(scheme);
    url.setHost(host);
    url.setPort(port);
    url.setPath(path);
    return url;
}

std::optional<Endpoint> parseEndpoint(QStringView text) {
    const std::optional<LoopbackAddress> address = parseLoopbackAddress(text);
    if (!address)
        return std::nullopt;
    Endpoint endpoint;
    endpoint.host = address->host;
    endpoint.port = address->port;
    endpoint.tryIpv6Too = address->tryIpv6Too;
    return endpoint;
}

bool isBrowserPath(QStringView path) {
    static constexpr QStringView prefix = u"/devtools/browser/";
    if (!path.startsWith(prefix) || path.size() == prefix.size() || path.size() > 160)
        return false;
    for (const QChar c : path.sliced(prefix.size())) {
        const char16_t u = c.unicode();
        const bool allowed =
            (u >= '0' && u <= '9') || (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || u == '-';
        if (!allowed)
            return false;
    }
    return true;
}

std::optional<Endpoint> parseActivePort(QByteArrayView content) {
    content = content.first(std::min<qsizetype>(content.size(), kMaxActivePortBytes));
    const qsizetype newline = content.indexOf('\n');
    if (newline < 0)
        return std::nullopt;
    bool ok = false;
    const uint port = content.first(newline).trimmed().toUInt(&ok);
    QByteArrayView rest = content.sliced(newline + 1);
    const qsizetype end = rest.indexOf('\n');
    const QByteArrayView path = (end < 0 ? rest : rest.first(end)).trimmed();
    const QString browserPath = QString::fromLatin1(path);
    if (!ok || port == 0 || port > 65535 || !isBrowserPath(browserPath))
        return std::nullopt;
    Endpoint endpoint;
    endpoint.host = u"127.0.0.1"_qs;
    endpoint.port = static_cast<quint16>(port);
    endpoint.browserPath = browserPath;
    endpoint.tryIpv6Too = true;
    return endpoint;
}

std::optional<Endpoint> readActivePortFile(const QString &path) {
    // A FIFO or a device in its place would block the open or never end.
    if (!QFileInfo(path).isFile())
        return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return parseActivePort(file.read(kMaxActivePortBytes));
}

QString pressbirdProfileDir() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           u"/Pressbird/browser-profile"_qs;
}

QStringList defaultProfileDirs() {
    QStringList dirs{pressbirdProfileDir()};
#if defined(Q_OS_WIN)
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    for (const char *name : {"Chromium", "Google/Chrome", "Microsoft/Edge"})
        dirs.append(base + u'/' + QString::fromLatin1(name) + u"/User Data"_qs);
#elif defined(Q_OS_MACOS)
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    for (const char *name : {"Chromium", "Google/Chrome", "Microsoft Edge"})
        dirs.append(base + u'/' + QString::fromLatin1(name));
#else
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    for (const char *name : {"chromium", "google-chrome", "microsoft-edge"})
        dirs.append(base + u'/' + QString::fromLatin1(name));
#endif
    return dirs;
}

QList<Endpoint> discoverEndpoints(const std::optional<QString> &override,
                                  const QStringList &profileDirs) {
    QList<Endpoint> found;
    const auto add = [&found](const Endpoint &endpoint) {
        for (Endpoint &known : found) {
            if (known.host == endpoint.host && known.port == endpoint.port) {
                if (known.browserPath.isEmpty()) {
                    known.browserPath = endpoint.browserPath;
                    known.profile = endpoint.profile;
                }
                return;
            }
        }
        found.append(endpoint);
    };
    if (override) {
        for (const QString &item : override->split(u',', Qt::SkipEmptyParts)) {
            if (const std::optional<Endpoint> endpoint = parseEndpoint(item))
                add(*endpoint);
        }
        return found;
    }
    Endpoint fixed;
    fixed.host = u"127.0.0.1"_qs;
    fixed.port = 9222;
    fixed.tryIpv6Too = true;
    add(fixed);
    for (const QString &dir : profileDirs) {
        std::optional<Endpoint> endpoint =
            readActivePortFile(QDir(dir).filePath(u"DevToolsActivePort"_qs));
        if (!endpoint)
            continue;
        endpoint->profile = dir;
        add(*endpoint);
    }
    return found;
}

QList<Endpoint> discoverEndpoints() {
    std::optional<QString> override;
    if (qEnvironmentVariableIsSet("PRESSBIRD_BROWSERS"))
        override = qEnvironmentVariable("PRESSBIRD_BROWSERS");
    return discoverEndpoints(override, defaultProfileDirs());
}

} // namespace pressbird
