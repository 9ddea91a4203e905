#include "ProfileFile.h"
#include "SettingsTestSupport.h"

#include <QDateTime>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace SettingsTest;
using Access = ProfileFile::Access;
Q_DECLARE_METATYPE(ProfileFile::Access)

namespace {

const QByteArray Bom = QByteArray::fromHex("efbbbf");
const QByteArray A = QByteArray::fromHex("82a0"); // あ in code page 932
const QString Default = QStringLiteral("<default>");

ino_t inodeOf(const QString &path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : 0;
}

} // namespace

class tst_ProfileFile final : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void readString_data();
    void readString();
    void readInt_data();
    void readInt();
    void write_data();
    void write();
    void roundTrip_data();
    void roundTrip();
    void missingFolder();
    void missingFile();
    void readOnlyFile_data();
    void readOnlyFile();
    void permissions_data();
    void permissions();
    void unchangedWriteKeepsFile_data();
    void unchangedWriteKeepsFile();

private:
    QString path() const { return m_dir->filePath(QStringLiteral("ini.ini")); }
    QStringList filesInFolder() const { return QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden); }

    std::unique_ptr<QTemporaryDir> m_dir;
};

void tst_ProfileFile::initTestCase()
{
    ::umask(022);
}

void tst_ProfileFile::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void tst_ProfileFile::readString_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");

    QTest::addRow("plain") << QByteArray("[EXEINI]\r\nNAME=abc\r\n") << "NAME"
                           << "abc";
    QTest::addRow("names in other case") << QByteArray("[exeIni]\r\nnAmE=abc\r\n") << "NAME"
                                         << "abc";
    QTest::addRow("blanks around") << QByteArray("[ EXEINI ]\r\n \tNAME \t=  a b \t\r\n") << "NAME"
                                   << "a b";
    QTest::addRow("quoted") << QByteArray("[EXEINI]\r\nNAME= \" a b \" \r\n") << "NAME"
                            << " a b ";
    QTest::addRow("one quote kept") << QByteArray("[EXEINI]\r\nNAME=\"abc\r\n") << "NAME"
                                    << "\"abc";
    QTest::addRow("empty value is not missing") << QByteArray("[EXEINI]\r\nNAME=\r\n") << "NAME"
                                                << "";
    QTest::addRow("lf only") << QByteArray("[EXEINI]\nA=1\nNAME=abc\n") << "NAME"
                             << "abc";
    QTest::addRow("no final line end") << QByteArray("[EXEINI]\r\nNAME=abc") << "NAME"
                                       << "abc";
    QTest::addRow("missing key") << QByteArray("[EXEINI]\r\nNAME2=abc\r\n") << "NAME" << Default;
    QTest::addRow("comment") << QByteArray("[EXEINI]\r\n;NAME=abc\r\n") << "NAME" << Default;
    QTest::addRow("other section") << QByteArray("[EXEINI]\r\nA=1\r\n[Other]\r\nNAME=abc\r\n") << "NAME" << Default;
    QTest::addRow("before any section") << QByteArray("NAME=abc\r\n[EXEINI]\r\n") << "NAME" << Default;
    QTest::addRow("first section only") << QByteArray("[EXEINI]\r\nA=1\r\n[EXEINI]\r\nNAME=abc\r\n") << "NAME"
                                        << Default;
    QTest::addRow("first of two lines") << QByteArray("[EXEINI]\r\nNAME=one\r\nname=two\r\n") << "NAME"
                                        << "one";
    QTest::addRow("code page value") << "[EXEINI]\r\nNAME=" + QByteArray::fromHex("81608740fbfc819a") + "\r\n"
                                     << "NAME" << QStringLiteral("～①髙★");
    QTest::addRow("utf8 value") << "[EXEINI]\r\nNAME=" + Bom + QStringLiteral("한😀").toUtf8() << "NAME"
                                << QStringLiteral("한😀");

    // Values are cut to 255 bytes, and never inside a character.
    const QByteArray head("[EXEINI]\r\nNAME=");
    QTest::addRow("cut at 255") << head + QByteArray(300, 'a') + "\r\n"
                                << "NAME" << QString(255, u'a');
    QTest::addRow("pair ends at 255") << head + QByteArray(253, 'a') + A << "NAME" << QString(253, u'a') + u'あ';
    QTest::addRow("pair across 255") << head + QByteArray(254, 'a') + A << "NAME" << QString(254, u'a');
    QTest::addRow("kana byte at 255") << head + QByteArray(254, 'a') + "\xB1\xB1"
                                      << "NAME" << QString(254, u'a') + QStringLiteral("ｱ");
    const QString smiles = QStringLiteral("😀").repeated(63);
    QTest::addRow("utf8 ends at 255") << head + Bom + smiles.toUtf8() + "\r\n"
                                      << "NAME" << smiles;
    QTest::addRow("utf8 across 255") << head + Bom + "a" + smiles.toUtf8() << "NAME"
                                     << "a" + smiles.left(smiles.size() - 2);
}

void tst_ProfileFile::readString()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, key);
    QFETCH(QString, expected);

    QVERIFY(put(path(), content));
    QCOMPARE(ProfileFile(path()).readString(key, Default), expected);
}

void tst_ProfileFile::readInt_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<qint32>("expected");

    QTest::addRow("number") << QByteArray("N=42") << 42;
    QTest::addRow("blanks and quotes") << QByteArray("N = \"42\" ") << 42;
    QTest::addRow("negative") << QByteArray("N=-7") << -7;
    QTest::addRow("junk after") << QByteArray("N=12abc") << 12;
    QTest::addRow("not a number") << QByteArray("N=abc") << 0;
    QTest::addRow("empty") << QByteArray("N=") << 0;
    QTest::addRow("missing") << QByteArray("M=3") << 0;
    QTest::addRow("top") << QByteArray("N=2147483647") << 2147483647;
    QTest::addRow("over top") << QByteArray("N=2147483648") << 2147483647;
    QTest::addRow("bottom") << QByteArray("N=-2147483648") << qint32(-2147483647 - 1);
    QTest::addRow("under bottom") << QByteArray("N=-2147483649") << qint32(-2147483647 - 1);
    QTest::addRow("very long") << "N=" + QByteArray(40, '9') << 2147483647;
}

void tst_ProfileFile::readInt()
{
    QFETCH(QByteArray, line);
    QFETCH(qint32, expected);

    QVERIFY(put(path(), "[EXEINI]\r\n" + line + "\r\n"));
    QCOMPARE(ProfileFile(path()).readInt(QStringLiteral("N")), expected);
}

void tst_ProfileFile::write_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QString>("key");
    QTest::addColumn<bool>("remove");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("after");

    QTest::addRow("replaced in place")
        << QByteArray("; settings\r\n[Other]\nNAME=o\n[EXEINI]\r\n  a =  1 \r\nNAME=old\n\r\n[Last]\r\nx=y") << "NAME"
        << false << "new"
        << QByteArray("; settings\r\n[Other]\nNAME=o\n[EXEINI]\r\n  a =  1 \r\nNAME=new\n\r\n[Last]\r\nx=y");
    QTest::addRow("spaced line, other case") << QByteArray("[exeini]\r\n  name = old \r\nB=2") << "NAME" << false << "v"
                                             << QByteArray("[exeini]\r\nname=v\r\nB=2");
    QTest::addRow("new key after last line")
        << QByteArray("[EXEINI]\r\nA=1\r\n;c\r\n\r\n\r\n[B]\r\nNAME=b\r\n") << "NAME" << false << "v"
        << QByteArray("[EXEINI]\r\nA=1\r\n;c\r\nNAME=v\r\n\r\n\r\n[B]\r\nNAME=b\r\n");
    QTest::addRow("new key, lf file") << QByteArray("[EXEINI]\nA=1\n") << "NAME" << false << "v"
                                      << QByteArray("[EXEINI]\nA=1\nNAME=v\r\n");
    QTest::addRow("new key, header unended")
        << QByteArray("[EXEINI]") << "NAME" << false << "v" << QByteArray("[EXEINI]\r\nNAME=v\r\n");
    QTest::addRow("commented key stays") << QByteArray("[EXEINI]\r\n;NAME=x\r\n") << "NAME" << false << "v"
                                         << QByteArray("[EXEINI]\r\n;NAME=x\r\nNAME=v\r\n");
    QTest::addRow("first section only") << QByteArray("[EXEINI]\r\nA=1\r\n[EXEINI]\r\nNAME=old\r\n") << "NAME" << false
                                        << "v" << QByteArray("[EXEINI]\r\nA=1\r\nNAME=v\r\n[EXEINI]\r\nNAME=old\r\n");
    QTest::addRow("new section") << QByteArray("[Other]\nx=1") << "NAME" << false << "v"
                                 << QByteArray("[Other]\nx=1\r\n[EXEINI]\r\nNAME=v\r\n");
    QTest::addRow("empty file") << QByteArray() << "NAME" << false << "v" << QByteArray("[EXEINI]\r\nNAME=v\r\n");
    QTest::addRow("empty value") << QByteArray("[EXEINI]\r\nNAME=x\r\n") << "NAME" << false << ""
                                 << QByteArray("[EXEINI]\r\nNAME=\r\n");
    QTest::addRow("code page value") << QByteArray("[EXEINI]\r\n") << "NAME" << false << QStringLiteral("～①髙★")
                                     << "[EXEINI]\r\nNAME=" + QByteArray::fromHex("81608740fbfc819a") + "\r\n";
    QTest::addRow("utf8 value") << QByteArray("[EXEINI]\r\n") << "NAME" << false << QStringLiteral("😀")
                                << "[EXEINI]\r\nNAME=" + QByteArray::fromHex("efbbbff09f9880") + "\r\n";
    QTest::addRow("remove") << QByteArray("[Other]\r\nNAME=o\r\n[EXEINI]\r\nA=1\n Name = x \r\nB=2") << "NAME" << true
                            << "" << QByteArray("[Other]\r\nNAME=o\r\n[EXEINI]\r\nA=1\nB=2");
    QTest::addRow("remove last unended line")
        << QByteArray("[EXEINI]\r\nA=1\r\nNAME=x") << "NAME" << true << "" << QByteArray("[EXEINI]\r\nA=1\r\n");
}

void tst_ProfileFile::write()
{
    QFETCH(QByteArray, before);
    QFETCH(QString, key);
    QFETCH(bool, remove);
    QFETCH(QString, value);
    QFETCH(QByteArray, after);

    QVERIFY(put(path(), before));
    ProfileFile file(path());
    QVERIFY(remove ? file.removeKey(key) : file.writeString(key, value));
    QCOMPARE(contents(path()), after);
    QCOMPARE(file.readString(key, Default), remove ? Default : value);
}

void tst_ProfileFile::roundTrip_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("expected");

    const auto same = [](const QString &text) { QTest::addRow("%s", qPrintable(text)) << text << text; };
    for (const QString &text :
         {QStringLiteral("user01"), QStringLiteral("～①髙★"), QStringLiteral("😀"), QStringLiteral("€"),
          QStringLiteral("한글"), QStringLiteral("¥"), QStringLiteral("髙橋😀"), QStringLiteral("ｶﾅ")})
        same(text);

    // A long ID comes back as the whole characters that fit in 255 bytes.
    const QString a = QStringLiteral("あ");
    QTest::addRow("128 kana") << a.repeated(128) << a.repeated(127);
    QTest::addRow("ascii and 128 kana") << "x" + a.repeated(128) << "x" + a.repeated(127);
    const QString smile = QStringLiteral("😀");
    QTest::addRow("64 emoji") << smile.repeated(64) << smile.repeated(63);
    QTest::addRow("ascii and 64 emoji") << "x" + smile.repeated(64) << "x" + smile.repeated(62);
}

void tst_ProfileFile::roundTrip()
{
    QFETCH(QString, value);
    QFETCH(QString, expected);

    QVERIFY(ProfileFile(path()).writeString(QStringLiteral("NAME"), value));
    QCOMPARE(ProfileFile(path()).readString(QStringLiteral("NAME")), expected);
}

void tst_ProfileFile::missingFolder()
{
    const QString missing = m_dir->filePath(QStringLiteral("gone/ini.ini"));
    ProfileFile file(missing);
    QCOMPARE(file.readString(QStringLiteral("NAME"), Default), Default);
    QCOMPARE(file.readInt(QStringLiteral("NAME")), 0);
    QVERIFY(!file.writeString(QStringLiteral("NAME"), QStringLiteral("v")));
    QVERIFY(!file.removeKey(QStringLiteral("NAME")));
    QVERIFY(!QFileInfo::exists(m_dir->filePath(QStringLiteral("gone"))));
}

void tst_ProfileFile::missingFile()
{
    ProfileFile file(path());
    file.removeKey(QStringLiteral("NAME"));
    QVERIFY(!QFileInfo::exists(path()));
    QVERIFY(file.writeString(QStringLiteral("NAME"), QStringLiteral("v")));
    QCOMPARE(contents(path()), QByteArray("[EXEINI]\r\nNAME=v\r\n"));
}

void tst_ProfileFile::readOnlyFile_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<bool>("remove");
    QTest::addColumn<int>("fileMode");
    QTest::addColumn<int>("folderMode");

    // A writable folder must not let the save-and-rename replace a read-only file.
    QTest::addRow("change value") << "NAME" << false << 0444 << 0777;
    QTest::addRow("new key") << "NAME2" << false << 0444 << 0777;
    QTest::addRow("remove key") << "NAME" << true << 0444 << 0777;
    // Writes are whole-file replacements; without one the file is not written over in place either.
    QTest::addRow("read-only folder") << "NAME" << false << 0666 << 0555;
}

void tst_ProfileFile::readOnlyFile()
{
    QFETCH(QString, key);
    QFETCH(bool, remove);
    QFETCH(int, fileMode);
    QFETCH(int, folderMode);

    const QByteArray before("[EXEINI]\r\nNAME=old\r\n");
    QVERIFY(put(path(), before));
    QVERIFY(setMode(path(), fileMode));
    QVERIFY(setMode(m_dir->path(), folderMode));

    bool written = false;
    {
        AsNobody nobody;
        if (!nobody.ok())
            QSKIP("running as root and cannot switch to another user to make the file read-only");
        ProfileFile file(path());
        written = remove ? file.removeKey(key) : file.writeString(key, QStringLiteral("new"));
    }
    QVERIFY(!written);
    QCOMPARE(contents(path()), before);
    QCOMPARE(modeOf(path()), fileMode);
    QCOMPARE(filesInFolder(), QStringList{QStringLiteral("ini.ini")});
}

void tst_ProfileFile::permissions_data()
{
    QTest::addColumn<int>("existingMode"); // -1: no file yet
    QTest::addColumn<Access>("access");
    QTest::addColumn<int>("expectedMode");

    QTest::addRow("kept 0640") << 0640 << Access::Shared << 0640;
    QTest::addRow("kept 0604") << 0604 << Access::Shared << 0604;
    QTest::addRow("owner-only keeps 0644") << 0644 << Access::OwnerOnly << 0644;
    QTest::addRow("new owner-only") << -1 << Access::OwnerOnly << 0600;
    QTest::addRow("new shared") << -1 << Access::Shared << 0644;
}

void tst_ProfileFile::permissions()
{
    QFETCH(int, existingMode);
    QFETCH(Access, access);
    QFETCH(int, expectedMode);

    if (existingMode >= 0) {
        QVERIFY(put(path(), "[EXEINI]\r\nNAME=old\r\n"));
        QVERIFY(setMode(path(), existingMode));
    }
    QVERIFY(ProfileFile(path(), access).writeString(QStringLiteral("NAME"), QStringLiteral("new")));
    QCOMPARE(contents(path()), QByteArray("[EXEINI]\r\nNAME=new\r\n"));
    QCOMPARE(modeOf(path()), expectedMode);
    QCOMPARE(filesInFolder(), QStringList{QStringLiteral("ini.ini")}); // no temporary file left behind
}

void tst_ProfileFile::unchangedWriteKeepsFile_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<bool>("remove");
    QTest::addColumn<QString>("value");

    QTest::addRow("same value, other case key") << "name" << false << "abc";
    QTest::addRow("remove missing key") << "NAME2" << true << "";
}

void tst_ProfileFile::unchangedWriteKeepsFile()
{
    QFETCH(QString, key);
    QFETCH(bool, remove);
    QFETCH(QString, value);

    const QByteArray before("[EXEINI]\r\nNAME=abc\n");
    QVERIFY(put(path(), before));
    const QDateTime old = QDateTime::currentDateTimeUtc().addYears(-1);
    {
        QFile touch(path());
        QVERIFY(touch.open(QIODevice::ReadWrite));
        QVERIFY(touch.setFileTime(old, QFileDevice::FileModificationTime));
    }
    const ino_t inode = inodeOf(path());

    ProfileFile file(path());
    QVERIFY(remove ? file.removeKey(key) : file.writeString(key, value));
    QCOMPARE(contents(path()), before);
    QCOMPARE(inodeOf(path()), inode);
    QCOMPARE(QFileInfo(path()).lastModified().toSecsSinceEpoch(), old.toSecsSinceEpoch());
}

QTEST_GUILESS_MAIN(tst_ProfileFile)
#include "tst_ProfileFile.moc"
