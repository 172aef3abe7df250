#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace pressbird {

// A WebDriver BiDi endpoint of one Firefox: loopback only, reached at
// ws://host:port/session.
struct BidiEndpoint {
    QString host;
    quint16 port = 0;
    QString foundIn; // the profile folder, or "PRESSBIRD_BROWSERS"
    friend bool operator==(const BidiEndpoint &a, const BidiEndpoint &b) {
        return a.host == b.host && a.port == b.port;
    }
};

// "bidi://127.0.0.1:PORT" (or [::1], localhost); nullopt when malformed or
// not loopback. Other entries of PRESSBIRD_BROWSERS are the Chrome protocol's.
std::optional<BidiEndpoint> parseBidiEndpoint(QStringView text);

// WebDriverBiDiServer.json of a profile: {"ws_host": ..., "ws_port": ...}.
// Untrusted: read up to a small bound; off the loopback, stale shapes and
// garbage give nullopt.
std::optional<BidiEndpoint> readBidiServerFile(const QString &path);

// Pressbird's own Firefox profile (pressbird-browser --firefox).
QString pressbirdFirefoxProfileDir();
// Pressbird's profile, then every profile listed in the user's profiles.ini
// under ~/.mozilla/firefox and ~/.config/mozilla/firefox.
QStringList firefoxProfileDirs();

// In order, without duplicates. A set override (PRESSBIRD_BROWSERS) replaces
// the profiles; only its bidi:// entries count here.
QList<BidiEndpoint> discoverBidiEndpoints(const std::optional<QString> &override,
                                          const QStringList &profileDirs);
QList<BidiEndpoint> discoverBidiEndpoints();

} // namespace pressbird
