#include "hostmanifests.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

namespace pressbird {

namespace {

struct Family {
    QString name;
    QString browserFolder; // exists when the browser has run for this user
    QString manifestFolder;
    bool firefox = false;
};

QList<Family> familiesOf(const BrowserFolders &folders) {
    const QString config = folders.configHome;
    const QString hosts = QStringLiteral("/NativeMessagingHosts");
    return {
        {QStringLiteral("Chromium"), config + u"/chromium"_qs, config + u"/chromium"_qs + hosts,
         false},
        {QStringLiteral("Google Chrome"), config + u"/google-chrome"_qs,
         config + u"/google-chrome"_qs + hosts, false},
        {QStringLiteral("Microsoft Edge"), config + u"/microsoft-edge"_qs,
         config + u"/microsoft-edge"_qs + hosts, false},
        {QStringLiteral("Firefox"), folders.home + u"/.mozilla"_qs,
         folders.home + u"/.mozilla/native-messaging-hosts"_qs, true},
        // The browser pressbird-browser starts looks in its own profile too.
        {QStringLiteral("Chromium"), folders.dataHome + u"/Pressbird/browser-profile"_qs,
         folders.dataHome + u"/Pressbird/browser-profile"_qs + hosts, false},
        // Firefox's newer home for its files.
        {QStringLiteral("Firefox"), config + u"/mozilla"_qs,
         config + u"/mozilla/native-messaging-hosts"_qs, true},
    };
}

QByteArray manifestFor(const Family &family, const QString &hostProgram) {
    QJsonObject manifest{
        {QStringLiteral("name"), kConnectorHostName.toString()},
        {QStringLiteral("description"), QStringLiteral("Pressbird Connector: relays to Pressbird")},
        {QStringLiteral("path"), hostProgram},
        {QStringLiteral("type"), QStringLiteral("stdio")}};
    if (family.firefox)
        manifest.insert(QStringLiteral("allowed_extensions"),
                        QJsonArray{kFirefoxExtensionId.toString()});
    else
        manifest.insert(
            QStringLiteral("allowed_origins"),
            QJsonArray{u"chrome-extension://"_qs + kChromiumExtensionId.toString() + u'/',
                       u"chrome-extension://"_qs + kFormerChromiumExtensionId.toString() + u'/'});
    return QJsonDocument(manifest).toJson();
}

} // namespace

BrowserFolders BrowserFolders::ofThisUser() {
    const QString home = QDir::homePath();
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty() || !QDir::isAbsolutePath(config))
        config = home + QStringLiteral("/.config");
    QString data = qEnvironmentVariable("XDG_DATA_HOME");
    if (data.isEmpty() || !QDir::isAbsolutePath(data))
        data = home + QStringLiteral("/.local/share");
    return {config, home, data};
}

QList<HostManifest> writeHostManifests(const BrowserFolders &folders, const QString &hostProgram) {
    QList<HostManifest> written;
    for (const Family &family : familiesOf(folders)) {
        if (!QFileInfo(family.browserFolder).isDir())
            continue;
        HostManifest entry{family.name,
                           family.manifestFolder + u'/' + kConnectorHostName.toString() +
                               u".json"_qs,
                           false,
                           {}};
        if (hostProgram.isEmpty() || !QFileInfo(hostProgram).isExecutable()) {
            entry.why = QStringLiteral("pressbird-connector is not installed beside Pressbird");
            written.append(entry);
            continue;
        }
        const QByteArray wanted = manifestFor(family, hostProgram);
        QFile existing(entry.path);
        if (existing.open(QIODevice::ReadOnly) && existing.read(wanted.size() + 1) == wanted) {
            entry.written = true;
            written.append(entry);
            continue;
        }
        QDir().mkpath(family.manifestFolder);
        QSaveFile file(entry.path);
        if (file.open(QIODevice::WriteOnly) && file.write(wanted) == wanted.size() && file.commit())
            entry.written = true;
        else
            entry.why = file.errorString();
        written.append(entry);
    }
    return written;
}

QString installedHostProgram() {
    const QString beside = QDir(QCoreApplication::applicationDirPath())
                               .filePath(QStringLiteral("pressbird-connector"));
    return QFileInfo(beside).isExecutable() ? beside : QString();
}

} // namespace pressbird
