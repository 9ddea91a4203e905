#include "ProfileFile.h"
#include "ProgramPaths.h"
#include "SettingsTestSupport.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

class tst_ProgramPaths final : public QObject {
    Q_OBJECT

private slots:
    void cleanup();
    void paths_data();
    void paths();
    void namedFolder();
    void doubledSeparatorReachesFiles();
};

void tst_ProgramPaths::cleanup()
{
    ProgramPaths::setFolder(QString());
    qunsetenv(ProgramPaths::FolderVariable);
}

void tst_ProgramPaths::paths_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("checkSettings");
    QTest::addColumn<QString>("account");
    QTest::addColumn<QString>("folderSettings");

    QTest::addRow("program folder") << "/opt/prog" << QStringLiteral("/opt/prog/★MailData/ini.ini")
                                    << QStringLiteral("/opt/prog/★MailData/iniIdPass.ini") << "/opt/prog/ini.ini";
    QTest::addRow("root folder") << "/" << QStringLiteral("//★MailData/ini.ini")
                                 << QStringLiteral("//★MailData/iniIdPass.ini") << "/ini.ini";
}

void tst_ProgramPaths::paths()
{
    QFETCH(QString, folder);
    QFETCH(QString, checkSettings);
    QFETCH(QString, account);
    QFETCH(QString, folderSettings);

    ProgramPaths::setFolder(folder);
    QCOMPARE(ProgramPaths::folder(), folder);
    QCOMPARE(ProgramPaths::checkSettingsFile(), checkSettings);
    QCOMPARE(ProgramPaths::accountFile(), account);
    QCOMPARE(ProgramPaths::folderSettingsFile(), folderSettings);
}

// The launcher's folder stands in for the executable's, cleaned like the executable's.
void tst_ProgramPaths::namedFolder()
{
    QCOMPARE(ProgramPaths::folder(), QCoreApplication::applicationDirPath());
    qputenv(ProgramPaths::FolderVariable, "/home/u/.local/share//poronica/");
    QCOMPARE(ProgramPaths::folder(), QStringLiteral("/home/u/.local/share/poronica"));
    QCOMPARE(ProgramPaths::accountFile(), QStringLiteral("/home/u/.local/share/poronica/★MailData/iniIdPass.ini"));
}

// A folder ending in the separator stands in for the root folder: the doubled separator must still reach the
// files, for reading and for the save-and-rename that a write does.
void tst_ProgramPaths::doubledSeparatorReachesFiles()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(QDir(dir.path()).mkdir(ProgramPaths::DataFolderName));
    ProgramPaths::setFolder(dir.path() + "/");
    QVERIFY(ProgramPaths::checkSettingsFile().contains("//"));

    ProfileFile account(ProgramPaths::accountFile(), ProfileFile::Access::OwnerOnly);
    QVERIFY(account.writeString(QStringLiteral("NAME"), QStringLiteral("髙橋")));
    QCOMPARE(account.readString(QStringLiteral("NAME")), QStringLiteral("髙橋"));

    const QString clean = dir.path() + "/" + ProgramPaths::DataFolderName + "/iniIdPass.ini";
    QCOMPARE(SettingsTest::contents(clean), "[EXEINI]\r\nNAME=" + QByteArray::fromHex("fbfc8bb4") + "\r\n");
    QCOMPARE(SettingsTest::modeOf(clean), 0600);

    QVERIFY(SettingsTest::put(clean, "[exeini]\r\nname2=pw\r\n"));
    QCOMPARE(account.readString(QStringLiteral("NAME2")), QStringLiteral("pw"));

    ProfileFile folderSettings(ProgramPaths::folderSettingsFile());
    QCOMPARE(ProgramPaths::folderSettingsFile(), dir.path() + "/ini.ini");
    QVERIFY(folderSettings.writeString(QStringLiteral("NAME"), QStringLiteral("x")));
    QVERIFY(folderSettings.removeKey(QStringLiteral("NAME")));
    QCOMPARE(SettingsTest::contents(dir.path() + "/ini.ini"), QByteArray("[EXEINI]\r\n"));
}

QTEST_GUILESS_MAIN(tst_ProgramPaths)
#include "tst_ProgramPaths.moc"
