#include "autostart.h"
#include "settings.h"
#include "shellfakes.h"
#include "startupprompt.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace pressbird;
using namespace pressbird::testing;

// The prompt's answers against a real file system under throwaway XDG folders.
class TestStartupPrompt : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> tmp;
    std::unique_ptr<CountingStore> store;
    std::unique_ptr<Settings> settings;
    FakeMessages messages;
    QWidget mainWindow;
    QWidget promptWindow;
    QPushButton *yes = nullptr;
    QPushButton *no = nullptr;
    QCheckBox *check = nullptr;
    std::unique_ptr<SystemAutostart> autostart;
    std::unique_ptr<StartupPrompt> prompt;

    QString path(const QString &relative) const { return tmp->filePath(relative); }
    QString autostartFile() const {
        return path(QStringLiteral("config/autostart/Pressbird.desktop"));
    }
    static void write(const QString &file, const QByteArray &content) {
        QDir().mkpath(QFileInfo(file).absolutePath());
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
    }
    static QByteArray read(const QString &file) {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    std::optional<QString> answer() const {
        return store->value(QStringLiteral("StartUpQ"), QStringLiteral("qStrup"));
    }

private Q_SLOTS:
    void init() {
        tmp = std::make_unique<QTemporaryDir>();
        qputenv("XDG_DATA_HOME", path(QStringLiteral("home-data")).toLocal8Bit());
        qputenv("XDG_DATA_DIRS", (path(QStringLiteral("prefix/share")) + QLatin1Char(':') +
                                  path(QStringLiteral("usr/share")))
                                     .toLocal8Bit());
        qputenv("XDG_CONFIG_HOME", path(QStringLiteral("config")).toLocal8Bit());
        write(path(QStringLiteral("usr/share/applications/pressbird.desktop")), "installed\n");

        store = std::make_unique<CountingStore>();
        settings = std::make_unique<Settings>(*store);
        messages.warnings.clear();
        yes = new QPushButton(&promptWindow);
        no = new QPushButton(&promptWindow);
        check = new QCheckBox(&promptWindow);
        autostart = std::make_unique<SystemAutostart>(QStringLiteral("Pressbird 2.1 - test"));
        prompt =
            std::make_unique<StartupPrompt>(StartupPrompt::Controls{&promptWindow, yes, no, check},
                                            mainWindow, *settings, *autostart, messages);
        mainWindow.hide();
        promptWindow.show();
    }
    void cleanup() {
        prompt.reset();
        delete yes;
        delete no;
        delete check;
    }

    void yes_copiesEntryRemembersOneAndShowsMainWindow() {
        QTest::mouseClick(yes, Qt::LeftButton);
        QCOMPARE(read(autostartFile()), QByteArray("installed\n"));
        QCOMPARE(answer(), QStringLiteral("1"));
        QVERIFY(check->isChecked());
        QVERIFY(!promptWindow.isVisible());
        QVERIFY(mainWindow.isVisible());
        QVERIFY(messages.warnings.isEmpty());
    }

    void yes_prefersDataHomeThenFirstDataDir() {
        write(path(QStringLiteral("prefix/share/applications/pressbird.desktop")), "prefix\n");
        prompt->Command1_Click();
        QCOMPARE(read(autostartFile()), QByteArray("prefix\n"));
        write(path(QStringLiteral("home-data/applications/pressbird.desktop")), "mine\n");
        prompt->Command1_Click();
        QCOMPARE(read(autostartFile()), QByteArray("mine\n"));
    }

    void yes_replacesStaleAutostartEntry() {
        write(autostartFile(), "an old copy that is much longer than the new one\n");
        prompt->Command1_Click();
        QCOMPARE(read(autostartFile()), QByteArray("installed\n"));
    }

    // A link left where the entry goes is replaced; the file it points at,
    // any file of the user's, is never written.
    void yes_replacesALinkAtTheEntry_neverWritesThroughIt() {
        const QString unrelated = path(QStringLiteral("secret.txt"));
        write(unrelated, "the user's own\n");
        QVERIFY(QFile::setPermissions(unrelated, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        QDir().mkpath(QFileInfo(autostartFile()).absolutePath());
        QVERIFY(QFile::link(unrelated, autostartFile()));
        prompt->Command1_Click();
        QCOMPARE(read(unrelated), QByteArray("the user's own\n"));
        QVERIFY(!QFileInfo(autostartFile()).isSymLink());
        QCOMPARE(read(autostartFile()), QByteArray("installed\n"));
        QCOMPARE(answer(), QStringLiteral("1"));
    }

    void no_copiesNothingAndRemembersTick_data() {
        QTest::addColumn<bool>("ticked");
        QTest::addColumn<QString>("stored");
        QTest::newRow("clear: ask again") << false << "0";
        QTest::newRow("ticked: never again") << true << "1";
    }
    void no_copiesNothingAndRemembersTick() {
        QFETCH(bool, ticked);
        QFETCH(QString, stored);
        check->setChecked(ticked);
        QTest::mouseClick(no, Qt::LeftButton);
        QCOMPARE(answer(), stored);
        QVERIFY(!QFile::exists(autostartFile()));
        QVERIFY(!promptWindow.isVisible());
        QVERIFY(mainWindow.isVisible());
    }

    void yesWithoutInstalledEntry_warnsAndDoesNotRemember() {
        QFile::remove(path(QStringLiteral("usr/share/applications/pressbird.desktop")));
        prompt->Command1_Click();
        QCOMPARE(messages.warnings.size(), 1);
        QVERIFY(messages.warnings.first().contains(QStringLiteral("pressbird.desktop")));
        QVERIFY(messages.warnings.first().contains(path(QStringLiteral("usr/share/applications"))));
        QVERIFY(!answer());
        QVERIFY(!check->isChecked());
        QVERIFY(!promptWindow.isVisible());
        QVERIFY(mainWindow.isVisible());
    }

    void yesWhenAutostartFolderCannotBeMade_namesItAndDoesNotRemember() {
        write(path(QStringLiteral("config/autostart")), "a file where the folder should be");
        prompt->Command1_Click();
        QCOMPARE(messages.warnings.size(), 1);
        QVERIFY(messages.warnings.first().contains(path(QStringLiteral("config/autostart"))));
        QVERIFY(messages.warnings.first().contains(QStringLiteral("is a file, not a folder")));
        QVERIFY(!answer());
        QVERIFY(mainWindow.isVisible());
    }

    void yesWhenConfigFolderIsReadOnly_saysWhyAndDoesNotRemember() {
        const QString config = path(QStringLiteral("config"));
        QDir().mkpath(config);
        QFile::setPermissions(config, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        prompt->Command1_Click();
        QFile::setPermissions(config, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                          QFileDevice::ExeOwner);
        if (QFile::exists(autostartFile()))
            QSKIP("running with rights that ignore folder permissions");
        QCOMPARE(messages.warnings.size(), 1);
        QVERIFY(messages.warnings.first().contains(config + QStringLiteral(" may not be written")));
        QVERIFY(!answer());
    }

    void copyOverUnwritableFile_keepsOldFileWhole() {
        write(autostartFile(), "old\n");
        QFile::setPermissions(path(QStringLiteral("config/autostart")),
                              QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        const AutostartResult result = copyReplacing(
            path(QStringLiteral("usr/share/applications/pressbird.desktop")), autostartFile());
        QFile::setPermissions(path(QStringLiteral("config/autostart")),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                  QFileDevice::ExeOwner);
        if (result.ok)
            QSKIP("running with rights that ignore folder permissions");
        QVERIFY(result.error.contains(autostartFile()));
        QCOMPARE(read(autostartFile()), QByteArray("old\n"));
    }
};

QTEST_MAIN(TestStartupPrompt)
#include "tst_startupprompt.moc"
