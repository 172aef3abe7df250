#pragma once

#include "loopback.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

namespace pressbird {

// A DevTools endpoint of one browser. browserPath is the WebSocket path of the
// browser target when known (from DevToolsActivePort); otherwise it is asked
// for over HTTP.
struct Endpoint {
    QString host;
    quint16 port = 0;
    QString browserPath;
    // Chromium falls back to [::1] when 127.0.0.1 is taken; worth a second dial.
    bool tryIpv6Too = false;
    // The user-data folder whose DevToolsActivePort named it, if any.
    QString profile;

    // What the user knows the browser by: its profile folder, else host:port.
    QString label() const;

    friend bool operator==(const Endpoint &, const Endpoint &) = default;
};

// "host:port" or "[v6]:port"; nullopt when malformed or not loopback.
std::optional<Endpoint> parseEndpoint(QStringView text);

// Chromium names its browser target with a GUID; nothing else is let into a URL.
bool isBrowserPath(QStringView path);

// What a DevToolsActivePort file may hold; no more is read.
inline constexpr qsizetype kMaxActivePortBytes = 4096;
// A DevToolsActivePort file's content: the port on the first line, the
// browser target's path on the second. The host is always 127.0.0.1.
std::optional<Endpoint> parseActivePort(QByteArrayView content);
// The same from a file; nullopt for anything but a readable regular file.
std::optional<Endpoint> readActivePortFile(const QString &path);

// The URL of a path at an endpoint, built by parts: nothing in the path can
// change the host.
QUrl endpointUrl(const QString &scheme, const QString &host, quint16 port, const QString &path);

// Pressbird's own browser profile, where pressbird-browser keeps its user data.
QString pressbirdProfileDir();
// Pressbird's profile, then the per-user Chromium, Google Chrome and Microsoft Edge folders.
QStringList defaultProfileDirs();

// The endpoints to contact, in order, without duplicates. A set override (the
// PRESSBIRD_BROWSERS variable) replaces the defaults; its refused entries are dropped.
QList<Endpoint> discoverEndpoints(const std::optional<QString> &override,
                                  const QStringList &profileDirs);
// The same from the process environment and the usual folders.
QList<Endpoint> discoverEndpoints();

} // namespace pressbird
