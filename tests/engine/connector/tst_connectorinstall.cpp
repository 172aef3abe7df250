// The Connector installed as a user installs it with the Browsers window's
// Install button or pressbird-ctl connector install: a real Chromium with a
// window (under Xvfb), a fresh default profile, no --load-extension and no
// Developer mode, only the per-user external-extension file naming the
// signed extension (or, where the test may write it, the system-wide file
// the Debian package installs). The browser installs it, its host connects,
// and a link is pressed.

#include "connectorinstaller.h"
#include "connectorrig.h"
#include "externalextensions.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QScopeGuard>
#include <QTest>

using namespace pressbird;
using namespace pressbird::testing;

class TestConnectorInstall : public QObject {
    Q_OBJECT

private:
    TestHome m_home;
    PageServer m_pages;

    BrowserFolders folders() const {
        return {m_home.configHome(), m_home.path(), m_home.path() + u"/data"_qs};
    }

private Q_SLOTS:
    void initTestCase() {
        PRESSBIRD_REQUIRE_CHROMIUM();
        if (qEnvironmentVariableIsEmpty("DISPLAY"))
            QFAIL("no DISPLAY: this test runs under xvfb-run, as CTest starts it");
        qputenv("XDG_RUNTIME_DIR", m_home.runtimeDir().toLocal8Bit());
        // A packed extension has no access to file: pages unless the user grants it.
        QVERIFY(m_pages.start());
    }

    // Starts Chromium on a fresh default profile and checks that the
    // extension it installed from a file connects and presses a link, and
    // that the Connector's route for Chromium says so.
    void installedChromiumConnectsAndPresses(const QString &profile, ConnectorInstaller &installer,
                                             ConnectorRig &rig) {
        QVERIFY(installer.routes().first().state.startsWith(u"extension installed; restart"_qs));
        HeadlessChromium chromium({profile, m_home.environment(), QString(), false});
        QVERIFY(chromium.start());
        QVERIFY2(rig.waitForBrowsers(1, 60000), "the installed extension's host never connected");
        chromium.closeAllPages();
        const QString tab = chromium.openTab(m_pages.url(u"basic.html"_qs));
        rig.listClick.appendTicked(rule(u"Next Page"_qs, u"Exact Match"_qs));
        rig.scan();
        QCOMPARE(chromium.evaluate(tab, u"window.clicks"_qs), u"link:Next Page;"_qs);
        QCOMPARE(rig.browser.states().first().state, u"connected"_qs);
        QCOMPARE(installer.routes().first().state, u"extension installed, connected"_qs);
        chromium.stop();
    }

    void externalExtensionFileOnly_chromiumInstallsItAndItsLinkIsPressed() {
        QDir().mkpath(m_home.configHome() + u"/chromium"_qs); // a user who has run Chromium
        ConnectorRig rig(m_home); // writes the host manifest, as pressbird does at start
        ConnectorInstaller installer(rig.browser, folders(),
                                     QStringLiteral(PRESSBIRD_EXTENSION_CRX), m_home.path());
        const ExtensionRoute before = installer.routes().first();
        QCOMPARE(before.family, u"Chromium"_qs);
        QCOMPARE(before.state, u"extension not installed"_qs);
        QVERIFY(before.installable);
        const QString file = m_home.configHome() + u"/chromium/External Extensions/"_qs +
                             kChromiumExtensionId.toString() + u".json"_qs;
        QCOMPARE(installer.install(u"Chromium"_qs),
                 u"Chromium: "_qs + file +
                     u" written; restart Chromium to install the Pressbird Connector"_qs);
        installedChromiumConnectsAndPresses(m_home.configHome() + u"/chromium"_qs, installer, rig);

        // Undone: the file goes; a second removal finds nothing and says so as done.
        for (int twice = 0; twice < 2; ++twice) {
            const QList<ExternalExtensionFile> removed =
                removeExternalExtensionFiles(folders(), {u"Chromium"_qs});
            QVERIFY(removed.first().done);
            QVERIFY(!QFileInfo::exists(removed.first().path));
        }
    }

    // The file the Debian package installs for every user: Debian's Chromium
    // reads it from its program folder. Only where the test may write there
    // and the package has not put one in place; removed again at once.
    void systemWideFileOnly_debiansChromiumInstallsItToo() {
        const QString file = systemExternalExtensionFiles(u"Chromium"_qs).first();
        const QString folder = QFileInfo(file).absolutePath();
        if (!QFileInfo(QFileInfo(folder).absolutePath()).isWritable() || QFileInfo::exists(file))
            QSKIP("the system's Chromium folder is not ours to write");
        // Chromium makes the folder itself when it runs as root: only the file is ours.
        QVERIFY(QDir().mkpath(folder));
        const auto undo = qScopeGuard([&] { QFile::remove(file); });
        QFile json(file);
        QVERIFY(json.open(QIODevice::WriteOnly));
        json.write(
            QJsonDocument(QJsonObject{{u"external_crx"_qs, QStringLiteral(PRESSBIRD_EXTENSION_CRX)},
                                      {u"external_version"_qs, packedExtensionVersion()}})
                .toJson());
        json.close();

        // A fresh default profile again, with no file of this user's.
        const QString profile = m_home.configHome() + u"/chromium"_qs;
        QDir(profile).removeRecursively();
        QDir().mkpath(profile);
        ConnectorRig rig(m_home);
        ConnectorInstaller installer(rig.browser, folders(),
                                     QStringLiteral(PRESSBIRD_EXTENSION_CRX));
        installedChromiumConnectsAndPresses(profile, installer, rig);
    }

    // Which browsers a name or no name means, and what cannot be installed.
    void families_byNameOrByTheFoldersThere_andAMissingFileRefused() {
        QCOMPARE(externalExtensionFamilies(folders(), u"EDGE"_qs),
                 QStringList{u"Microsoft Edge"_qs});
        QCOMPARE(externalExtensionFamilies(folders(), u"firefox"_qs), QStringList());
        QDir().mkpath(m_home.configHome() + u"/microsoft-edge"_qs);
        QDir().mkpath(m_home.configHome() + u"/chromium"_qs);
        QCOMPARE(externalExtensionFamilies(folders(), QString()),
                 (QStringList{u"Chromium"_qs, u"Microsoft Edge"_qs}));
        const QList<ExternalExtensionFile> missing = writeExternalExtensionFiles(
            folders(), {u"Microsoft Edge"_qs}, m_home.path() + u"/none.crx"_qs, u"1"_qs);
        QVERIFY(!missing.first().done);
        QVERIFY(missing.first().why.contains(u"none.crx"_qs));
        QVERIFY(!QFileInfo::exists(missing.first().path));
    }
};

QTEST_GUILESS_MAIN(TestConnectorInstall)
#include "tst_connectorinstall.moc"
