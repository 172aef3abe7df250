#include "externalextensions.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

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

QString fileOf(const BrowserFolders &folders, const Family &family) {
    return folders.configHome + u'/' + family.folder.toString() + u"/External Extensions/"_qs +
           kChromiumExtensionId.toString() + u".json"_qs;
}

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
