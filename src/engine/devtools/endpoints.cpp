#include "endpoints.h"

#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QStandardPaths>

namespace pressbird {

bool isLoopbackHost(QStringView host) {
    if (host.compare(u"localhost", Qt::CaseInsensitive) == 0)
        return true;
    QHostAddress address;
    // setAddress accepts only numeric forms, so no name is ever looked up.
    if (!address.setAddress(host.toString()))
        return false;
    return address.isLoopback();
}

QString urlHost(const QString &host) {
    return host.contains(u':') ? u"["_qs + host + u"]"_qs : host;
}

QString Endpoint::label() const {
    if (!profile.isEmpty())
        return profile;
    return urlHost(host) + u':' + QString::number(port);
}

std::optional<Endpoint> parseEndpoint(QStringView text) {
    text = text.trimmed();
    QStringView host;
    QStringView port;
    if (text.startsWith(u'[')) {
        const qsizetype close = text.indexOf(u"]:");
        if (close < 0)
            return std::nullopt;
        host = text.mid(1, close - 1);
        port = text.mid(close + 2);
    } else {
        const qsizetype colon = text.lastIndexOf(u':');
        if (colon <= 0 || text.left(colon).contains(u':'))
            return std::nullopt;
        host = text.left(colon);
        port = text.mid(colon + 1);
    }
    bool ok = false;
    const uint number = port.toUInt(&ok);
    if (!ok || number == 0 || number > 65535 || !isLoopbackHost(host))
        return std::nullopt;
    Endpoint endpoint;
    endpoint.host = host.toString();
    endpoint.port = static_cast<quint16>(number);
    return endpoint;
}

std::optional<Endpoint> readActivePortFile(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QList<QByteArray> lines = file.read(4096).split('\n');
    bool ok = false;
    const uint port = lines.value(0).trimmed().toUInt(&ok);
    const QString browserPath = QString::fromLatin1(lines.value(1).trimmed());
    if (!ok || port == 0 || port > 65535 || !browserPath.startsWith(u"/devtools/browser/"))
        return std::nullopt;
    Endpoint endpoint;
    endpoint.host = u"127.0.0.1"_qs;
    endpoint.port = static_cast<quint16>(port);
    endpoint.browserPath = browserPath;
    endpoint.tryIpv6Too = true;
    return endpoint;
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
