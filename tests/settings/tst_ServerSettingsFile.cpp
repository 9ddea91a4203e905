#include "ServerSettingsFile.h"
#include "SettingsTestSupport.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace SettingsTest;
using ReadResult = ServerSettingsFile::ReadResult;
Q_DECLARE_METATYPE(ServerSettingsFile::ReadResult)

namespace {

const QByteArray Bom = QByteArray::fromHex("efbbbf");
const ServerSettings Before{QStringLiteral("s0"), QStringLiteral("p0"), QStringLiteral("m0"), 7};

ServerSettings with(QString smtp, QString pop3, QString mail, qint16 apop)
{
    return ServerSettings{std::move(smtp), std::move(pop3), std::move(mail), apop};
}

ServerSettings withApop(qint16 apop)
{
    ServerSettings settings = Before;
    settings.apop = apop;
    return settings;
}

} // namespace

namespace QTest {

template <>
char *toString(const ServerSettings &s)
{
    return qstrdup(QStringLiteral("{%1|%2|%3|%4}").arg(s.smtp, s.pop3, s.mail).arg(s.apop).toUtf8().constData());
}

} // namespace QTest

class tst_ServerSettingsFile final : public QObject {
    Q_OBJECT

private slots:
    void init();
    void read_data();
    void read();
    void readResult_data();
    void readResult();
    void write_data();
    void write();
    void writeFails_data();
    void writeFails();

private:
    QString path() const { return m_dir->filePath(QStringLiteral("vbmail.ini")); }

    std::unique_ptr<QTemporaryDir> m_dir;
};

void tst_ServerSettingsFile::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void tst_ServerSettingsFile::read_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<ServerSettings>("expected");

    const ServerSettings all = with("smtp.example.jp", "pop.example.jp", "me@example.jp", 1);
    QTest::addRow("crlf") << QByteArray("SMTP=smtp.example.jp\r\nPOP3=pop.example.jp\r\n"
                                        "MAIL=me@example.jp\r\nAPOP=1\r\n")
                          << all;
    QTest::addRow("cr") << QByteArray("SMTP=smtp.example.jp\rPOP3=pop.example.jp\rMAIL=me@example.jp\rAPOP=1\r") << all;
    QTest::addRow("mixed, blank lines")
        << QByteArray("\r\nAPOP=1\n\nSMTP=smtp.example.jp\r\rPOP3=pop.example.jp\r\nMAIL=me@example.jp") << all;
    QTest::addRow("empty file") << QByteArray() << Before;
    QTest::addRow("some keys only") << QByteArray("POP3=p1\r\n") << with("s0", "p1", "m0", 7);
    QTest::addRow("lower case key") << QByteArray("pop3=x\r\nSmtp=x\r\n") << Before;
    QTest::addRow("blank before key") << QByteArray(" POP3=x\r\n") << Before;
    QTest::addRow("blank before equals") << QByteArray("POP3 =x\r\n") << Before;
    QTest::addRow("value kept as is") << QByteArray("POP3= p1 \r\n") << with("s0", " p1 ", "m0", 7);
    QTest::addRow("empty values") << QByteArray("SMTP=\r\nPOP3=\r\nMAIL=\r\n") << with("", "", "", 7);
    QTest::addRow("later line wins") << QByteArray("POP3=a\r\nAPOP=1\r\nPOP3=b\r\nAPOP=0") << with("s0", "b", "m0", 0);
    QTest::addRow("cut to 100") << "MAIL=" + QByteArray(150, 'm') << with("s0", "p0", QString(100, u'm'), 7);
    QTest::addRow("cut to 100 kanji") << "MAIL=" + QByteArray::fromHex("fbfc").repeated(120)
                                      << with("s0", "p0", QStringLiteral("髙").repeated(100), 7);
    QTest::addRow("emoji counts once") << "MAIL=" + Bom + QByteArray(99, 'a') + QStringLiteral("😀😀").toUtf8()
                                       << with("s0", "p0", QString(99, u'a') + QStringLiteral("😀"), 7);
    QTest::addRow("code page value") << "SMTP=" + QByteArray::fromHex("8160819a") << with("～★", "p0", "m0", 7);
    QTest::addRow("utf8 value") << "SMTP=" + Bom + QStringLiteral("😀").toUtf8()
                                << with(QStringLiteral("😀"), "p0", "m0", 7);

    // APOP takes the leading number, rounded half to even, and counts as 0 outside the 16-bit range.
    const QList<std::pair<const char *, qint16>> apop = {
        {"1", 1},           {"1.5", 2},    {"2.5", 2},   {"0.5", 0},        {"-1", -1},     {" 3", 3},
        {"2x", 2},          {"abc", 0},    {"", 0},      {"32767", 32767},  {"32767.5", 0}, {"32768", 0},
        {"-32768", -32768}, {"-32769", 0}, {"70000", 0}, {"99999999999", 0}};
    for (const auto &[text, value] : apop)
        QTest::addRow("APOP=%s", text) << QByteArray("APOP=") + text + "\r\n" << withApop(value);
}

void tst_ServerSettingsFile::read()
{
    QFETCH(QByteArray, content);
    QFETCH(ServerSettings, expected);

    QVERIFY(put(path(), content));
    ServerSettings settings = Before;
    QCOMPARE(ServerSettingsFile::read(path(), settings), ReadResult::Read);
    QCOMPARE(settings, expected);
}

void tst_ServerSettingsFile::readResult_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<ReadResult>("expected");

    QTest::addRow("missing") << "missing" << ReadResult::Missing;
    QTest::addRow("directory") << "directory" << ReadResult::Missing;
    QTest::addRow("no read permission") << "unreadable" << ReadResult::Unreadable;
}

void tst_ServerSettingsFile::readResult()
{
    QFETCH(QString, kind);
    QFETCH(ReadResult, expected);

    QVERIFY(setMode(m_dir->path(), 0755)); // only the file itself may be what stops the reading
    if (kind == "directory")
        QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("vbmail.ini")));
    if (kind == "unreadable") {
        QVERIFY(put(path(), "POP3=secret\r\n"));
        QVERIFY(setMode(path(), 0200));
    }

    ServerSettings settings = Before;
    ReadResult result = ReadResult::Read;
    {
        AsNobody nobody;
        if (!nobody.ok())
            QSKIP("running as root and cannot switch to another user to make the file unreadable");
        result = ServerSettingsFile::read(path(), settings);
    }
    QCOMPARE(result, expected);
    QCOMPARE(settings, Before);
}

void tst_ServerSettingsFile::write_data()
{
    QTest::addColumn<ServerSettings>("settings");
    QTest::addColumn<QByteArray>("bytes");

    QTest::addRow("ascii") << with("smtp.example.jp", "pop.example.jp", "me@example.jp", 1)
                           << QByteArray("SMTP=smtp.example.jp\r\nPOP3=pop.example.jp\r\n"
                                         "MAIL=me@example.jp\r\nAPOP=1\r\n");
    QTest::addRow("empty") << ServerSettings{} << QByteArray("SMTP=\r\nPOP3=\r\nMAIL=\r\nAPOP=0\r\n");
    QTest::addRow("negative apop") << with("s", "p", "m", -1)
                                   << QByteArray("SMTP=s\r\nPOP3=p\r\nMAIL=m\r\nAPOP=-1\r\n");
    QTest::addRow("code page") << with(QStringLiteral("～"), QStringLiteral("①"), QStringLiteral("髙★"), 0)
                               << "SMTP=" + QByteArray::fromHex("8160") + "\r\nPOP3=" + QByteArray::fromHex("8740") +
                                      "\r\nMAIL=" + QByteArray::fromHex("fbfc819a") + "\r\nAPOP=0\r\n";
    QTest::addRow("utf8") << with("s", "p", QStringLiteral("€😀"), 0)
                          << "SMTP=s\r\nPOP3=p\r\nMAIL=" + Bom + QStringLiteral("€😀").toUtf8() + "\r\nAPOP=0\r\n";
}

void tst_ServerSettingsFile::write()
{
    QFETCH(ServerSettings, settings);
    QFETCH(QByteArray, bytes);

    // Whatever was there before goes, extra lines included.
    QVERIFY(put(path(), "; old\r\nSMTP=x\r\nPOP3=y\r\nMAIL=z\r\nAPOP=3\r\nEXTRA=1\r\n"));
    QVERIFY(ServerSettingsFile::write(path(), settings));
    QCOMPARE(contents(path()), bytes);

    ServerSettings back = Before;
    QCOMPARE(ServerSettingsFile::read(path(), back), ReadResult::Read);
    QCOMPARE(back, settings);
}

void tst_ServerSettingsFile::writeFails_data()
{
    QTest::addColumn<QString>("kind");

    QTest::addRow("read-only folder") << "read-only";
    QTest::addRow("read-only folder, writable file") << "read-only, file";
    QTest::addRow("missing folder") << "missing";
    QTest::addRow("under /proc") << "proc";
}

void tst_ServerSettingsFile::writeFails()
{
    QFETCH(QString, kind);

    QString target = path();
    const QByteArray old("POP3=old\r\n");
    if (kind == "read-only, file") {
        QVERIFY(put(target, old));
        QVERIFY(setMode(target, 0666));
    }
    QVERIFY(setMode(m_dir->path(), kind.startsWith("read-only") ? 0555 : 0777));
    if (kind == "missing")
        target = m_dir->filePath(QStringLiteral("gone/vbmail.ini"));
    else if (kind == "proc")
        target = QStringLiteral("/proc/vbmail.ini");

    bool written = true;
    {
        AsNobody nobody;
        if (!nobody.ok())
            QSKIP("running as root and cannot switch to another user to make the folder read-only");
        written = ServerSettingsFile::write(target, with("s", "p", "m", 1));
    }
    QVERIFY(!written);
    // Without a way to replace it whole, the file is left alone rather than written over in place.
    QCOMPARE(contents(target), kind == "read-only, file" ? old : QByteArray());
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             kind == "read-only, file" ? QStringList{QStringLiteral("vbmail.ini")} : QStringList());
}

QTEST_GUILESS_MAIN(tst_ServerSettingsFile)
#include "tst_ServerSettingsFile.moc"
