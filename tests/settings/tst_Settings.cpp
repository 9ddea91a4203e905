#include "ProfileFile.h"
#include "ServerSettingsFile.h"
#include "TestFolder.h"

#include <QDir>
#include <QTest>

#include <sys/stat.h>

namespace {

const QByteArray Bom = QByteArray::fromHex("efbbbf");
const QString Default = QStringLiteral("<default>");

} // namespace

class tst_Settings final : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { ::umask(022); }
    void profile_data();
    void profile();
    void files_data();
    void files();
    void vbmail_data();
    void vbmail();
};

void tst_Settings::profile_data()
{
    QTest::addColumn<QByteArray>("before"); // null: no file
    QTest::addColumn<QString>("write");     // to NAME; null: only read, "-": remove it
    QTest::addColumn<QString>("read");      // NAME's value then, or Default
    QTest::addColumn<int>("number");        // what the integer read makes of it
    QTest::addColumn<QByteArray>("after");  // null: unchanged

    const QByteArray name = "[EXEINI]\r\nNAME=";
    const auto row = [](const char *title, const QByteArray &before, const QString &write, const QString &read,
                        int number, const QByteArray &after = {}) {
        QTest::addRow("%s", title) << before << write << read << number << after;
    };
    row("names in any case, first line", "[exeIni]\r\nnAmE=12ab\r\nNAME=2", {}, "12ab", 12);
    row("blanks and quotes", "[ EXEINI ]\r\n \tNAME \t= \"-7 \" \r\n", {}, "-7 ", -7);
    row("LF ends, comment, other sections", "NAME=0\n[EXEINI]\n;NAME=1\n[X]\nNAME=2\n[EXEINI]\nNAME=3", {}, Default, 0);
    row("empty value", name, {}, "", 0);
    // Values are read cut to 255 bytes, never inside a character.
    row("cut to 255 bytes", name + QByteArray(300, '1'), {}, QString(255, u'1'), 2147483647);
    row("pair across 255", name + QByteArray(250, 'a') + "\xb1\x82\xa0\x88\xe0\x88\xe0", {},
        QString(250, u'a') + "ｱあ謂", 0);
    row("UTF-8 across 255", name + Bom + "a" + QStringLiteral("😀").repeated(63).toUtf8(), {},
        "a" + QStringLiteral("😀").repeated(62), 0);
    // A write changes the key's line in place and keeps every other byte.
    row("in place", "; c\r\n[X]\nNAME=o\n[exeini]\r\n  name = old \n\r\n[Y]\r\nx=y", "1", "1", 1,
        "; c\r\n[X]\nNAME=o\n[exeini]\r\nname=1\n\r\n[Y]\r\nx=y");
    row("after the section's last line", "[EXEINI]\r\nA=1\r\n;c\r\n\r\n[B]\r\nNAME=b", "v", "v", 0,
        "[EXEINI]\r\nA=1\r\n;c\r\nNAME=v\r\n\r\n[B]\r\nNAME=b");
    row("new section", "[X]\nx=1", "v", "v", 0, "[X]\nx=1\r\n[EXEINI]\r\nNAME=v\r\n");
    // Code page 932 where it parts ways with plain Shift_JIS; what it cannot hold goes as UTF-8, never as '?' or
    // a look-alike.
    row("new file, code page 932", {}, "～①髙★－ｱ\x1a\x1c\x7f", "～①髙★－ｱ\x1a\x1c\x7f", 0,
        name + "\x81\x60\x87\x40\xfb\xfc\x81\x9a\x81\x7c\xb1\x1a\x1c\x7f\r\n");
    row("UTF-8", "", "¥〜한", "¥〜한", 0, name + Bom + "¥〜한\r\n");
    row("remove", "[X]\r\nNAME=o\r\n[EXEINI]\r\nA=1\n Name = x \r\nB=2", "-", Default, 0,
        "[X]\r\nNAME=o\r\n[EXEINI]\r\nA=1\nB=2");
    row("remove, no file", {}, "-", Default, 0);
}

void tst_Settings::profile()
{
    QFETCH(QByteArray, before);
    QFETCH(QString, write);
    QFETCH(QString, read);
    QFETCH(int, number);
    QFETCH(QByteArray, after);

    TestFolder folder;
    const QString path = folder.dataFile(QStringLiteral("ini.ini"));
    folder.write(path, before);
    ProfileFile file(path);
    const QString key = QStringLiteral("NAME");
    if (!write.isNull())
        QVERIFY(write == u"-" ? file.removeKey(key) : file.writeString(key, write));
    QCOMPARE(file.readString(key, Default), read);
    QCOMPARE(file.readInt(key), number);
    QCOMPARE(folder.exists(path), !(after.isNull() ? before : after).isNull());
    QCOMPARE(folder.read(path), after.isNull() ? before : after);
}

void tst_Settings::files_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("mode"); // of the file before; 0: none
    QTest::addColumn<int>("folderMode");
    QTest::addColumn<bool>("asNobody"); // whom file modes stop, unlike root
    QTest::addColumn<int>("modeAfter"); // 0: no file; negative: the write failed and left the file as it was

    QTest::addRow("as nobody") << "ini.ini" << 0666 << 0777 << true << 0666;
    QTest::addRow("read-only file") << "ini.ini" << 0444 << 0777 << true << -0444;
    QTest::addRow("read-only folder") << "ini.ini" << 0666 << 0555 << true << -0666;
    QTest::addRow("missing folder") << "gone/ini.ini" << 0 << 0755 << false << 0;
    QTest::addRow("vbmail.ini, whole") << "vbmail.ini" << 0640 << 0755 << false << 0640;
    QTest::addRow("vbmail.ini, read-only folder") << "vbmail.ini" << 0666 << 0555 << true << -0666;
}

// A file is replaced whole and keeps its mode; a read-only file or folder, or a missing folder, makes the write
// fail and leaves everything as it was, with no file left behind.
void tst_Settings::files()
{
    QFETCH(QString, file);
    QFETCH(int, mode);
    QFETCH(int, folderMode);
    QFETCH(bool, asNobody);
    QFETCH(int, modeAfter);

    TestFolder folder;
    const QString path = folder.programFolder() + u'/' + file;
    const QByteArray old = "[EXEINI]\r\nNAME=old\r\nEXTRA=1\r\n";
    if (mode)
        folder.write(path, old);
    QVERIFY(!mode || ::chmod(QFile::encodeName(path), mode_t(mode)) == 0);
    QCOMPARE(::chmod(QFile::encodeName(folder.programFolder()), mode_t(folderMode)), 0);
    const bool vbmail = file.endsWith(u"vbmail.ini");
    bool written = false;
    const auto save = [&] {
        written = vbmail ? ServerSettingsFile::write(path, {"～", "p", "€😀", -1})
                         : ProfileFile(path).writeString(QStringLiteral("NAME"), QStringLiteral("new"));
    };
    QVERIFY(asNobody ? TestFolder::asNobody(save) : (save(), true));
    QCOMPARE(written, modeAfter > 0);
    QCOMPARE(TestFolder::mode(path), modeAfter ? qAbs(modeAfter) : -1);
    const QByteArray bytes = vbmail ? "SMTP=\x81\x60\r\nPOP3=p\r\nMAIL=" + Bom + "€😀\r\nAPOP=-1\r\n"
                                    : "[EXEINI]\r\nNAME=new\r\n" + QByteArray(mode ? "EXTRA=1\r\n" : "");
    QCOMPARE(folder.read(path), modeAfter > 0 ? bytes : modeAfter ? old : QByteArray());
    const QStringList entries = QDir(folder.programFolder()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    QCOMPARE(entries, modeAfter ? QStringList({file, "★MailData"}) : QStringList({"★MailData"}));
}

void tst_Settings::vbmail_data()
{
    QTest::addColumn<QByteArray>("content"); // null: no file
    QTest::addColumn<QString>("read");       // over s|p|m|7

    QTest::addRow("four lines") << QByteArray("SMTP=smtp.jp\r\nPOP3=pop.jp\r\nMAIL=me@jp\r\nAPOP=1\r\n")
                                << "smtp.jp|pop.jp|me@jp|1";
    QTest::addRow("CR, LF, blank lines, later line wins")
        << QByteArray("\r\nAPOP=1\n\nSMTP=a\r\rPOP3= b \r\nPOP3= c ") << "a| c |m|1";
    QTest::addRow("no file") << QByteArray() << "s|p|m|7";
    QTest::addRow("prefixes in their case only") << QByteArray("pop3=x\r\nSmtp=x\r\n POP3=x\r\nPOP3 =x") << "s|p|m|7";
    QTest::addRow("cut to 100 characters")
        << "MAIL=" + QByteArray(120, 'm') + "\r\nSMTP=" + Bom + "😀" + QByteArray(99, 'a') +
               "\r\nPOP3=" + QByteArray::fromHex("fbfc").repeated(101)
        << "😀" + QString(99, u'a') + "|" + QStringLiteral("髙").repeated(100) + "|" + QString(100, u'm') + "|7";
    // APOP, like the interval and the counters, takes the number at the start of the text; here it is rounded
    // half to even, and counts as 0 beyond 16 bits.
    for (const char *row : {"1.5|2", "2.5|2", "-2.5|-2", "0.5|0", ".5|0", " \t3.5x|4", "1.2.3|1", "+4|4", "5e3|5",
                            "0x1A|0", "- 1|0", "１２|0", "|0", "-32768|-32768", "32767.5|0", "99999999999|0"})
        QTest::addRow("APOP=%s", row) << "APOP=" + QByteArray(row).split('|')[0]
                                      << "s|p|m|" + QString(row).section(u'|', 1);
}

void tst_Settings::vbmail()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, read);
    TestFolder folder;
    folder.write(ServerSettingsFile::currentPath(), content);
    ServerSettings s{"s", "p", "m", 7};
    ServerSettingsFile::read(ServerSettingsFile::currentPath(), s);
    QCOMPARE(QStringLiteral("%1|%2|%3|%4").arg(s.smtp, s.pop3, s.mail).arg(s.apop), read);
}

QTEST_GUILESS_MAIN(tst_Settings)
#include "tst_Settings.moc"
