// The Connector installed as a user installs it with pressbird-ctl connector
// install: a real Chromium with a window (under Xvfb), a fresh default
// profile, no --load-extension and no Developer mode, only the per-user
// external-extension file naming the signed extension. The browser installs
// it, its host connects, and a link is pressed.

#include "connectorrig.h"
#include "externalextensions.h"

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

    void externalExtensionFileOnly_chromiumInstallsItAndItsLinkIsPressed() {
        const QList<ExternalExtensionFile> written = writeExternalExtensionFiles(
            folders(), {u"Chromium"_qs}, QStringLiteral(PRESSBIRD_EXTENSION_CRX),
            packedExtensionVersion());
        QCOMPARE(written.size(), 1);
        QVERIFY2(written.first().done, qPrintable(written.first().why));
        QCOMPARE(written.first().path, m_home.configHome() + u"/chromium/External Extensions/"_qs +
                                           kChromiumExtensionId.toString() + u".json"_qs);

        HeadlessChromium chromium(
            {m_home.configHome() + u"/chromium"_qs, m_home.environment(), QString(), false});
        ConnectorRig rig(m_home); // writes the host manifest, as pressbird does at start
        QVERIFY(chromium.start());
        QVERIFY2(rig.waitForBrowsers(1, 60000), "the installed extension's host never connected");
        chromium.closeAllPages();
        const QString tab = chromium.openTab(m_pages.url(u"basic.html"_qs));
        rig.listClick.appendTicked(rule(u"Next Page"_qs, u"Exact Match"_qs));
        rig.scan();
        QCOMPARE(chromium.evaluate(tab, u"window.clicks"_qs), u"link:Next Page;"_qs);
        QCOMPARE(rig.browser.states().first().state, u"connected"_qs);
        chromium.stop();

        // Undone: the file goes; a second removal finds nothing and says so as done.
        for (int twice = 0; twice < 2; ++twice) {
            const QList<ExternalExtensionFile> removed =
                removeExternalExtensionFiles(folders(), {u"Chromium"_qs});
            QVERIFY(removed.first().done);
            QVERIFY(!QFileInfo::exists(removed.first().path));
        }
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
