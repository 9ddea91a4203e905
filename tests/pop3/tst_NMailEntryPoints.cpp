#include "NMailOption.h"
#include "Pop3Error.h"
#include "Pop3TestSupport.h"

#include <QTcpServer>
#include <QTest>

class tst_NMailEntryPoints final : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void buffersKeepTheirLength();
    void missingMessageEmptiesTheBuffers();
    void unknownHandlesFail();
    void unreachableServerGivesMinusOne_data();
    void unreachableServerGivesMinusOne();
    void severalHandlesAtOnce();
    void ipv6Loopback();
    void hostNameIsLookedUp();
    void lineLimitOption();
    void messagesForResultCodes();
};

void tst_NMailEntryPoints::init()
{
    mail().NMailInitializeWinSock();
    mail().NMailSetOption(NMailOptionMaxLineBytes, 8192);
    mail().NMailSetOption(NMailOptionConnectTimeoutMs, 2000);
    mail().NMailSetOption(NMailOptionReplyTimeoutMs, 2000);
    mail().NMailSetOption(NMailOptionCallDeadlineMs, 10'000);
}

void tst_NMailEntryPoints::cleanup()
{
    mail().NMailEndWinSock();
}

void tst_NMailEntryPoints::buffersKeepTheirLength()
{
    const QByteArray message = "Subject: a long subject line\r\nFrom: x@example.jp\r\n\r\nbody\r\n";
    ScriptedPop3Server server;
    server.setMessages({message, message});
    QVERIFY(server.start());
    const int handle = mail().NMailPop3Connect(server.serverName());
    QCOMPARE(mail().NMailPop3Authenticate(handle, "a", "b", 0), 2);

    QString subject(7, u'#'), from(1, u'#'), date(3, u'#'), header(8192, u'#');
    QCOMPARE(mail().NMailPop3GetMailStatus(handle, 1, subject, from, date, header, 0), 0);
    QCOMPARE(subject, QStringLiteral("a long") + QChar(0));
    QCOMPARE(from, QString(QChar(0)));
    QCOMPARE(date, QString(QChar(0)) + QStringLiteral("##"));
    QCOMPARE(upToNul(header), QString::fromLatin1(message.left(message.indexOf("\r\n\r\n") + 2)));
    QCOMPARE(header.size(), 8192);

    QByteArray shortBody(10, '#');
    QCOMPARE(mail().NMailPop3GetMail(handle, 1, subject, from, date, header, shortBody, 0, 0), message.size());
    QCOMPARE(shortBody, message.left(10));
    // The rest was read and dropped: the next message comes out whole.
    QByteArray body(message.size() + 1, '#');
    QCOMPARE(mail().NMailPop3GetMail(handle, 2, subject, from, date, header, body, 0, 0), message.size());
    QCOMPARE(body, message + '\0');
    mail().NMailPop3Close(handle);
}

void tst_NMailEntryPoints::missingMessageEmptiesTheBuffers()
{
    ScriptedPop3Server server;
    QVERIFY(server.start());
    const int handle = mail().NMailPop3Connect(server.serverName());
    QCOMPARE(mail().NMailPop3Authenticate(handle, "a", "b", 0), 0);
    Texts texts;
    QVERIFY(mail().NMailPop3GetMailStatus(handle, 9, texts.subject, texts.from, texts.date, texts.header, 0) < 0);
    QCOMPARE(texts.subject.at(0), QChar(0));
    QCOMPARE(texts.header.at(0), QChar(0));
    QVERIFY2(lastError().endsWith(u"There's no message 9."), qPrintable(lastError()));
    QCOMPARE(mail().NMailPop3GetMailSize(handle, 0), -int(Pop3Error::BadArgument));
}

void tst_NMailEntryPoints::unknownHandlesFail()
{
    Texts texts;
    QByteArray body(4, ' ');
    for (const int handle : {-1, 0, 7, 100000}) {
        QCOMPARE(mail().NMailPop3Authenticate(handle, "a", "b", 0), -int(Pop3Error::BadHandle));
        QCOMPARE(mail().NMailPop3GetMailStatus(handle, 1, texts.subject, texts.from, texts.date, texts.header, 0),
                 -int(Pop3Error::BadHandle));
        QCOMPARE(mail().NMailPop3GetMailSize(handle, 1), -int(Pop3Error::BadHandle));
        QCOMPARE(mail().NMailPop3GetMail(handle, 1, texts.subject, texts.from, texts.date, texts.header, body, 0, 0),
                 -int(Pop3Error::BadHandle));
        QCOMPARE(mail().NMailPop3Close(handle), -int(Pop3Error::BadHandle));
    }
}

void tst_NMailEntryPoints::unreachableServerGivesMinusOne_data()
{
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("meaning");
    quint16 closedPort = 0;
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        closedPort = probe.serverPort();
    }
    QTest::addRow("closed port") << QStringLiteral("127.0.0.1:%1").arg(closedPort) << QStringLiteral("接続できません");
    QTest::addRow("malformed name") << QStringLiteral("pop3s://") << QStringLiteral("サーバー名が正しくありません");
}

void tst_NMailEntryPoints::unreachableServerGivesMinusOne()
{
    QFETCH(QString, server);
    QFETCH(QString, meaning);
    QCOMPARE(mail().NMailPop3Connect(server), -1);
    QVERIFY2(lastError().contains(meaning), qPrintable(lastError()));
}

void tst_NMailEntryPoints::severalHandlesAtOnce()
{
    ScriptedPop3Server first, second;
    first.setMessages({sampleMessage(1)});
    second.setMessages({sampleMessage(1), sampleMessage(2)});
    QVERIFY(first.start() && second.start());
    const int a = mail().NMailPop3Connect(first.serverName());
    const int b = mail().NMailPop3Connect(second.serverName());
    QVERIFY(a >= 0 && b >= 0 && a != b);
    QCOMPARE(mail().NMailPop3Authenticate(b, "a", "b", 0), 2);
    QCOMPARE(mail().NMailPop3Close(b), 0);
    QCOMPARE(mail().NMailPop3Close(b), -int(Pop3Error::BadHandle));
    QCOMPARE(mail().NMailPop3Authenticate(a, "a", "b", 0), 1);
    QCOMPARE(mail().NMailPop3GetMailSize(a, 1), sampleMessage(1).size());
    QCOMPARE(mail().NMailPop3Close(a), 0);
}

void tst_NMailEntryPoints::ipv6Loopback()
{
    ScriptedPop3Server server;
    if (!server.start(QHostAddress(QHostAddress::LocalHostIPv6)))
        QSKIP("::1 is not available here");
    QVERIFY(server.serverName().startsWith(u"[::1]:"));
    const int handle = mail().NMailPop3Connect(server.serverName());
    QCOMPARE(mail().NMailPop3Authenticate(handle, "a", "b", 0), 0);
    mail().NMailPop3Close(handle);
    QCOMPARE(server.commandsWhenClosed(), Commands({"CAPA", "USER a", "PASS b", "STAT", "QUIT"}));
}

// "localhost" may resolve to ::1 first, where nobody listens: the next address must be tried.
void tst_NMailEntryPoints::hostNameIsLookedUp()
{
    ScriptedPop3Server server;
    QVERIFY(server.start());
    const int handle = mail().NMailPop3Connect(QStringLiteral("pop3://localhost:%1").arg(server.port()));
    QVERIFY2(handle >= 0, qPrintable(lastError()));
    QCOMPARE(mail().NMailPop3Authenticate(handle, "a", "b", 0), 0);
    mail().NMailPop3Close(handle);
    QCOMPARE(server.connectionCount(), 1);
}

void tst_NMailEntryPoints::lineLimitOption()
{
    const Reply longStatus = Reply::line("+OK 0 0 " + QByteArray(600, 'z'));
    for (const int limit : {8192, 512}) {
        QCOMPARE(mail().NMailSetOption(NMailOptionMaxLineBytes, limit), 0);
        ScriptedPop3Server server;
        server.setReply("STAT", longStatus);
        QVERIFY(server.start());
        const int handle = mail().NMailPop3Connect(server.serverName());
        QCOMPARE(mail().NMailPop3Authenticate(handle, "a", "b", 0) == 0, limit == 8192);
        mail().NMailPop3Close(handle);
    }
    QVERIFY(mail().NMailSetOption(12345, 1) < 0);
}

void tst_NMailEntryPoints::messagesForResultCodes()
{
    QString buffer(8192, u' ');
    int length = 8192;
    QCOMPARE(mail().NMailGetMessage(-int(Pop3Error::Auth), buffer, length),
             int(QStringLiteral("認証に失敗しました").size()));
    QCOMPARE(upToNul(buffer), QStringLiteral("認証に失敗しました"));
    length = 3;
    mail().NMailGetMessage(-int(Pop3Error::Auth), buffer, length);
    QCOMPARE(length, 2);
    QCOMPARE(upToNul(buffer), QStringLiteral("認証"));
    QCOMPARE(buffer.size(), 8192);
}

QTEST_GUILESS_MAIN(tst_NMailEntryPoints)
#include "tst_NMailEntryPoints.moc"
