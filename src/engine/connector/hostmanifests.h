#pragma once

#include <QList>
#include <QString>

namespace pressbird {

inline constexpr QStringView kConnectorHostName = u"pressbird.connector";
// The extension's ids: Chromium's follows from the public key in its manifest
// (packaging/chromium/connector-key.pem signs the packed extension).
inline constexpr QStringView kChromiumExtensionId = u"cjkanmnobpboeldkhdaiimkohbkpbdbe";
// The id of earlier releases, whose key signed nothing: an unpacked copy a
// user loaded before still reaches the host until it is loaded anew.
inline constexpr QStringView kFormerChromiumExtensionId = u"bldklfbbllepncdgbcjbbejnklfglebk";
inline constexpr QStringView kFirefoxExtensionId = u"pressbird@pressbird";

struct HostManifest {
    QString family; // "Chromium", "Google Chrome", "Microsoft Edge", "Firefox"
    QString path;   // the manifest file
    bool written = false;
    QString why; // when not written
};

// The folders of the user's home that the browsers read. configHome is
// $XDG_CONFIG_HOME (~/.config), home is $HOME, dataHome $XDG_DATA_HOME
// (~/.local/share), where pressbird-browser keeps its browser's profile.
struct BrowserFolders {
    QString configHome;
    QString home;
    QString dataHome;
    static BrowserFolders ofThisUser();
};

// Writes the native-messaging host manifest, naming hostProgram, for every
// browser family whose configuration folder exists; a file that already
// says the same is left as it is. One entry per family found.
QList<HostManifest> writeHostManifests(const BrowserFolders &folders, const QString &hostProgram);

// The host installed beside the running program; empty when there is none.
QString installedHostProgram();

} // namespace pressbird
