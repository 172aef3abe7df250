#pragma once

#include "hostmanifests.h"

#include <QList>
#include <QString>

namespace pressbird {

// Chromium and Microsoft Edge install a packed extension named by a file in
// the "External Extensions" folder of their configuration folder: no
// Developer mode, and the browser keeps it up to date from that file. A user
// who removes the extension in the browser is not fought with: the browser
// remembers the removal and leaves the file alone.
struct ExternalExtensionFile {
    QString family; // "Chromium", "Microsoft Edge"
    QString path;
    bool done = false;
    QString why; // when not done
};

// The browser families of a name ("chromium", "edge"), or of an empty name
// those whose configuration folder exists (Chromium when none does); empty
// for a name that is no such family.
QStringList externalExtensionFamilies(const BrowserFolders &folders, const QString &name);

// Writes, for each family given, the file naming the packed extension at
// crxPath and its version; one entry per family.
QList<ExternalExtensionFile> writeExternalExtensionFiles(const BrowserFolders &folders,
                                                         const QStringList &families,
                                                         const QString &crxPath,
                                                         const QString &version);
// Removes those files; a file that is not there counts as removed.
QList<ExternalExtensionFile> removeExternalExtensionFiles(const BrowserFolders &folders,
                                                          const QStringList &families);

// What to tell the user of one file written (what to do next) or removed.
QString installMessage(const ExternalExtensionFile &file, bool installed);

// The system-wide files naming the extension for a family ("Chromium",
// "Google Chrome", "Microsoft Edge"), as Pressbird's Debian package installs
// them, under root ("" for the system's own).
QStringList systemExternalExtensionFiles(const QString &family, const QString &root = {});

// Whether a file naming the extension is in place for a family, this user's
// or the system's.
bool externalExtensionFileExists(const BrowserFolders &folders, const QString &family,
                                 const QString &root = {});

// The version of the packed extension this program was built with.
QString packedExtensionVersion();

// The packed extension installed with the running program
// (PREFIX/share/pressbird/browser-extension); empty when there is none.
QString installedPackedExtension();

} // namespace pressbird
