#include "externalextensions.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <algorithm>

namespace pressbird {

namespace {

struct Family {
    QStringView name;
    QStringView key; // as pressbird-ctl takes it
    QStringView folder;
};
constexpr Family kFamilies[] = {
    {u"Chromium", u"chromium", u"chromium"},
    {u"Microsoft Edge", u"edge", u"microsoft-edge"},
};

const Family *familyNamed(QStringView name) {
    for (const Family &family : kFamilies)
        if (family.name == name)
            return &family;
    return nullptr;
}

QString fileName() {
    return kChromiumExtensionId.toString() + u".json"_qs;
}

QString fileOf(const BrowserFolders &folders, const Family &family) {
    return folders.configHome + u'/' + family.folder.toString() + u"/External Extensions/"_qs +
           fileName();
}

// Where each family reads external extensions for every user, the one the
// Debian package installs into first. Debian's Chromium reads its program
// folder's; its start script hands everything in /usr/share/chromium/extensions
// to --load-extension, so a file there would be taken for an unpacked
// extension and refused.
struct SystemFolders {
    QStringView family;
    QStringView folders[2];
};
constexpr SystemFolders kSystemFolders[] = {
    {u"Chromium", {u"/usr/lib/chromium/extensions", u"/usr/share/chromium/extensions"}},
    {u"Google Chrome", {u"/usr/share/google-chrome/extensions", u"/opt/google/chrome/extensions"}},
    {u"Microsoft Edge",
     {u"/usr/share/microsoft-edge/extensions", u"/opt/microsoft/msedge/extensions"}},
};

} // namespace

QStringList externalExtensionFamilies(const BrowserFolders &folders, const QString &name) {
    QStringList families;
    for (const Family &family : kFamilies) {
        if (name.isEmpty() ? QFileInfo(folders.configHome + u'/' + family.folder.toString()).isDir()
                           : name.compare(family.key, Qt::CaseInsensitive) == 0)
            families.append(family.name.toString());
    }
    if (name.isEmpty() && families.isEmpty())
        families.append(kFamilies[0].name.toString());
    return families;
}

QList<ExternalExtensionFile> writeExternalExtensionFiles(const BrowserFolders &folders,
                                                         const QStringList &families,
                                                         const QString &crxPath,
                                                         const QString &version) {
    const QByteArray wanted =
        QJsonDocument(QJsonObject{{u"external_crx"_qs, crxPath}, {u"external_version"_qs, version}})
            .toJson();
    QList<ExternalExtensionFile> written;
    for (const QString &name : families) {
        const Family *family = familyNamed(name);
        if (!family)
            continue;
        ExternalExtensionFile entry{name, fileOf(folders, *family), false, {}};
        if (!QFileInfo(crxPath).isFile()) {
            entry.why = crxPath + u" is not there"_qs;
        } else {
            QDir().mkpath(QFileInfo(entry.path).absolutePath());
            QSaveFile file(entry.path);
            if (file.open(QIODevice::WriteOnly) && file.write(wanted) == wanted.size() &&
                file.commit())
                entry.done = true;
            else
                entry.why = file.errorString();
        }
        written.append(entry);
    }
    return written;
}

QList<ExternalExtensionFile> removeExternalExtensionFiles(const BrowserFolders &folders,
                                                          const QStringList &families) {
    QList<ExternalExtensionFile> removed;
    for (const QString &name : families) {
        const Family *family = familyNamed(name);
        if (!family)
            continue;
        ExternalExtensionFile entry{name, fileOf(folders, *family), false, {}};
        QFile file(entry.path);
        entry.done = !file.exists() || file.remove();
        if (!entry.done)
            entry.why = file.errorString();
        removed.append(entry);
    }
    return removed;
}

QString installMessage(const ExternalExtensionFile &file, bool installed) {
    if (!file.done)
        return QStringLiteral("%1: %2 (%3)").arg(file.family, file.path, file.why);
    if (installed)
        return QStringLiteral("%1: %2 written; restart %1 to install the Pressbird Connector")
            .arg(file.family, file.path);
    return QStringLiteral("%1: %2 removed; the browser keeps the extension until you remove it "
                          "there")
        .arg(file.family, file.path);
}

QStringList systemExternalExtensionFiles(const QString &family, const QString &root) {
    QStringList files;
    for (const SystemFolders &system : kSystemFolders) {
        if (system.family != family)
            continue;
        for (QStringView folder : system.folders)
            files.append(root + folder.toString() + u'/' + fileName());
    }
    return files;
}

bool externalExtensionFileExists(const BrowserFolders &folders, const QString &family,
                                 const QString &root) {
    if (const Family *own = familyNamed(family); own && QFileInfo::exists(fileOf(folders, *own)))
        return true;
    const QStringList system = systemExternalExtensionFiles(family, root);
    return std::any_of(system.cbegin(), system.cend(),
                       [](const QString &file) { return QFileInfo::exists(file); });
}

QString packedExtensionVersion() {
    return QStringLiteral(PRESSBIRD_EXTENSION_VERSION);
}

QString installedPackedExtension() {
    const QString packed = QDir(QCoreApplication::applicationDirPath())
                               .filePath(QStringLiteral(
                                   "../share/pressbird/browser-extension/pressbird-connector.crx"));
    return QFileInfo(packed).isFile() ? QFileInfo(packed).canonicalFilePath() : QString();
}

} // namespace pressbird
