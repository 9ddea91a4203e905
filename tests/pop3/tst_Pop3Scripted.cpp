#include "NMailOption.h"
#include "Pop3TestSupport.h"

#include <QElapsedTimer>
#include <QTest>

namespace {

constexpr int TestReplyTimeoutMs = 400;

} // namespace

// The POP3 conversation against a scripted server: the exact commands sent, and what happens
// when the server stalls, cuts the line, trickles, splits or sends what it should not.
class tst_Pop3Scripted final : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void loginAndWalk_data();
    void loginAndWalk();
    void apopUsesTheGreetingTimestamp();
    void apopWithoutTimestampSendsNothing();
    void loginRefusals_data();
    void loginRefusals();
    void rejectedUserSendsNoPassword();
    void passwordNeverInErrorText_data();
    void passwordNeverInErrorText();
    void stlsMustSucceed_data();
    void stlsMustSucceed();
    void stallsEndWithinTheReplyTimeout_data();
    void stallsEndWithinTheReplyTimeout();
    void tricklingReplyIsRead();
    void callDeadlineEndsAnEndlessTrickle();
    void walkEndsOnceTheConnectionIsGone_data();
    void walkEndsOnceTheConnectionIsGone();
    void replyCutInTheMiddle();
    void terminatorSplitAcrossReads_data();
    void terminatorSplitAcrossReads();
    void listSizes_data();
    void listSizes();
    void overlongLines_data();
    void overlongLines();
    void garbageInsteadOfOk_data();
    void garbageInsteadOfOk();
};

void tst_Pop3Scripted::init()
{
    mail().NMailInitializeWinSock();
    mail().NMailSetOption(NMailOptionMaxLineBytes, 8192);
    mail().NMailSetOption(NMailOptionConnectTimeoutMs, 2000);
    mail().NMailSetOption(NMailOptionReplyTimeoutMs, TestReplyTimeoutMs);
    mail().NMailSetOption(NMailOptionCallDeadlineMs, 10'000);
    mail().NMailSetOption(NMailOptionCheckDeadlineMs, 0);
}

void tst_Pop3Scripted::cleanup()
{
    mail().NMailEndWinSock();
}

void tst_Pop3Scripted::loginAndWalk_data()
{
    QTest::addColumn<int>("count");
    QTest::addRow("empty mailbox") << 0;
    QTest::addRow("three messages") << 3;
}

void tst_Pop3Scripted::loginAndWalk()
{
    QFETCH(int, count);
    QList<QByteArray> messages;
    for (int n = 1; n <= count; ++n)
        messages << sampleMessage(n);
    ScriptedPop3Server server;
    server.setMessages(messages);
    QVERIFY(server.start());

    const int handle = mail().NMailPop3Connect(server.serverName());
    QVERIFY(handle >= 0);
    QCOMPARE(mail().NMailPop3Authenticate(handle, "alice", "secret", 0), count);
    QStringList subjects;
    QCOMPARE(walk(handle, count, &subjects), messages);
    QCOMPARE(mail().NMailPop3Close(handle), 0);

    QStringList expectedSubjects;
    for (int n = 1; n <= count; ++n)
        expectedSubjects << QStringLiteral("message %1").arg(n);
    QCOMPARE(subjects, expectedSubjects);
    QCOMPARE(server.commandsWhenClosed(),
             Commands({"CAPA", "USER alice", "PASS secret", "STAT"}) + walkCommands(messages) + Commands({"QUIT"}));
}

void tst_Pop3Scripted::apopUsesTheGreetingTimestamp()
{
    // The example of RFC 1939, section 7.
    ScriptedPop3Server server;
    server.setGreeting(Reply::line("+OK POP3 server ready <1896.697170952@dbc.mtview.ca.us>"));
    server.setMessages({sampleMessage(1)});
    QVERIFY(server.start());

    const int handle = mail().NMailPop3Connect(server.serverName());
    QCOMPARE(mail().NMailPop3Authenticate(handle, "mrose", "tanstaaf", -1), 1);
    mail().NMailPop3Close(handle);
    QCOMPARE(server.commandsWhenClosed(),
             Commands({"CAPA", "APOP mrose c4c9334bac560ecc979e58001b3e22fb", "STAT", "QUIT"}));
}

void tst_Pop3Scripted::apopWithoutTimestampSendsNothing()
{
    ScriptedPop3Server server;
    QVERIFY(server.start());
    const int handle = mail().NMailPop3Connect(server.serverName());
    QVERIFY(mail().NMailPop3Authenticate(handle, "alice", "secret", -1) < 0);
    QVERIFY2(lastError().contains(u"APOP"), qPrintable(lastError()));
    mail().NMailPop3Close(handle);
    QCOMPARE(server.commandsWhenClosed(), Commands({"CAPA", "QUIT"}));
}

void tst_Pop3Scripted::loginRefusals_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("meaning");

    QTest::addRow("wrong password") << QByteArray("-ERR [AUTH] Authentication failed.")
                                    << QStringLiteral("認証に失敗しました");
    QTest::addRow("mailbox in use") << QByteArray("-ERR [IN-USE] Mailbox is locked") << QStringLiteral("使用中");
    QTest::addRow("login delay") << QByteArray("-ERR [LOGIN-DELAY] Wait 300 seconds")
                                 << QStringLiteral("前回のログイン");
    QTest::addRow("server trouble") << QByteArray("-ERR [SYS/TEMP] Try later") << QStringLiteral("障害");
    QTest::addRow("no response code") << QByteArray("-ERR nope") << QStringLiteral("認証に失敗しました");
}

void tst_Pop3Scripted::loginRefusals()
{
    QFETCH(QByteArray, reply);
    QFETCH(QString, meaning);
    ScriptedPop3Server server;
    server.setReply("PASS", Reply::line(reply));
    QVERIFY(server.start());

    const int handle = mail().NMailPop3Connect(server.serverName());
    QVERIFY(mail().NMailPop3Authenticate(handle, "alice", "wrong", 0) < 0);
    const QString text = lastError();
    QVERIFY2(text.contains(meaning) && text.endsWith(QString::fromLatin1(reply.mid(5))), qPrintable(text));
    mail().NMailPop3Close(handle);
    QCOMPARE(server.commandsWhenClosed(), Commands({"CAPA", "USER alice", "PASS wrong", "QUIT"}));
}

void tst_Pop3Scripted::rejectedUserSendsNoPassword()
{
    ScriptedPop3Server server;
    server.setReply("USER", Reply::line("-ERR [AUTH] Plaintext authentication disallowed"));
    QVERIFY(server.start());
    const int handle = mail().NMailPop3Connect(server.serverName());
    QVERIFY(mail().NMailPop3Authenticate(handle, "alice", "secret", 0) < 0);
    mail().NMailPop3Close(handle);
    QCOMPARE(server.commandsWhenClosed(), Commands({"CAPA", "USER alice", "QUIT"}));
}

void tst_Pop3Scripted::passwordNeverInErrorText_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<Reply>("reply");
    const QString hunter = QStringLiteral("hunter2");
    const QString controls = QStringLiteral("hun\tter2\x1b");
    const QString long400 = QStringLiteral("0123456789").repeated(40);
    QTest::addRow("echoed in -ERR") << hunter << Reply::line("-ERR bad password hunter2!");
    QTest::addRow("echoed as garbage") << hunter << Reply::line("PASS hunter2 ??");
    QTest::addRow("echoed then cut") << hunter << Reply::cut("-ERR hunter2");
    QTest::addRow("quote cut inside it") << hunter << Reply::line("-ERR " + QByteArray(295, 'x') + " hunter2");
    QTest::addRow("TAB and ESC in it") << controls << Reply::line("-ERR bad " + controls.toUtf8() + " here");
    QTest::addRow("400 characters") << long400 << Reply::line("-ERR bad " + long400.toUtf8());
    QTest::addRow("start of it echoed") << long400 << Reply::line("-ERR bad " + long400.left(200).toUtf8());
    QTest::addRow("end of it echoed") << long400 << Reply::line("-ERR " + long400.right(200).toUtf8() + " is bad");
}

void tst_Pop3Scripted::passwordNeverInErrorText()
{
    QFETCH(QString, password);
    QFETCH(Reply, reply);
    ScriptedPop3Server server;
    server.setReply("PASS", reply);
    QVERIFY(server.start());
    const int handle = mail().NMailPop3Connect(server.serverName());
    QVERIFY(mail().NMailPop3Authenticate(handle, "alice", password, 0) < 0);
    const QString text = lastError();
    QVERIFY(!text.isEmpty());
    for (qsizetype i = 0; i + 3 <= password.size(); ++i)
        QVERIFY2(!text.contains(password.mid(i, 3)), qPrintable(text));
}

void tst_Pop3Scripted::stlsMustSucceed_data()
{
    QTest::addColumn<QList<QByteArray>>("capabilities");
    QTest::addColumn<Reply>("stlsReply");
    QTest::addColumn<Commands>("expected");

    const Reply unused = Reply::line("+OK");
    QTest::addRow("not offered") << QList<QByteArray>{"TOP", "USER"} << unused << Commands({"CAPA", "QUIT"});
    QTest::addRow("refused") << QList<QByteArray>{"STLS", "USER"} << Reply::line("-ERR not now")
                             << Commands({"CAPA", "STLS", "QUIT"});
    // Bytes after "+OK" arrive before TLS protects anything: they must not be taken as replies.
    QTest::addRow("data injected before TLS")
        << QList<QByteArray>{"STLS"} << Reply::raw("+OK begin\r\n+OK 9 9\r\n") << Commands({"CAPA", "STLS"});
}

void tst_Pop3Scripted::stlsMustSucceed()
{
    QFETCH(QList<QByteArray>, capabilities);
    QFETCH(Reply, stlsReply);
    QFETCH(Commands, expected);
    ScriptedPop3Server server;
    server.setCapabilities(capabilities);
    server.setReply("STLS", stlsReply);
    QVERIFY(server.start());

    const int handle = mail().NMailPop3Connect("pop3+starttls://" + server.serverName());
    QVERIFY(handle >= 0);
    QVERIFY(mail().NMailPop3Authenticate(handle, "alice", "secret", 0) < 0);
    QVERIFY2(lastError().contains(u"STLS"), qPrintable(lastError()));
    mail().NMailPop3Close(handle);
    QCOMPARE(server.commandsWhenClosed(), expected);
}

void tst_Pop3Scripted::stallsEndWithinTheReplyTimeout_data()
{
    QTest::addColumn<QByteArray>("command"); // empty: the greeting
    QTest::addColumn<Reply>("reply");
    QTest::addColumn<Commands>("expected");

    QTest::addRow("greeting") << QByteArray() << Reply::stall() << Commands();
    QTest::addRow("STAT") << QByteArray("STAT") << Reply::stall() << Commands({"CAPA", "USER a", "PASS b", "STAT"});
    Reply partial = Reply::raw("+OK\r\nSubject: x\r\n");
    partial.then = Reply::Then::Stall;
    QTest::addRow("inside TOP data") << QByteArray("TOP") << partial
                                     << Commands({"CAPA", "USER a", "PASS b", "STAT", "TOP 1 0"});
}

void tst_Pop3Scripted::stallsEndWithinTheReplyTimeout()
{
    QFETCH(QByteArray, command);
    QFETCH(Reply, reply);
    QFETCH(Commands, expected);
    ScriptedPop3Server server;
    server.setMessages({sampleMessage(1)});
    command.isEmpty() ? server.setGreeting(reply) : server.setReply(command, reply);
    QVERIFY(server.start());

    QElapsedTimer timer;
    timer.start();
    const int handle = mail().NMailPop3Connect(server.serverName());
    QVERIFY(handle >= 0);
    const int count = mail().NMailPop3Authenticate(handle, "a", "b", 0);
    Texts texts;
    const int status =
        count > 0 ? mail().NMailPop3GetMailStatus(handle, 1, texts.subject, texts.from, texts.date, texts.header, 0)
                  : count;
    const qint64 elapsed = timer.elapsed();
    QVERIFY(status < 0);
    QVERIFY2(elapsed >= TestReplyTimeoutMs - 50 && elapsed < TestReplyTimeoutMs + 1500,
             qPrintable(QString::number(elapsed)));
    QVERIFY2(lastError().contains(u"応答がありません"), qPrintable(lastError()));
    mail().NMailPop3Close(handle);
    // Out of step after a timeout: no QUIT, just the close.
    QCOMPARE(server.commandsWhenClosed(), expected);
}

void tst_Pop3Scripted::tricklingReplyIsRead()
{
    ScriptedPop3Server server;
    const QByteArray message = sampleMessage(1);
    server.setMessages({message});
    server.setReply("STAT", Reply::trickle("+OK 1 " + QByteArray::number(message.size()) + "\r\n"));
    server.setReply("TOP 1 " + QByteArray::number(message.size()),
                    Reply::trickle("+OK\r\n" + QByteArray(message).replace("\r\n.", "\r\n..") + ".\r\n", 1));
    QVERIFY(server.start());
    const int handle = mail().NMailPop3Connect(server.serverName());
    QCOMPARE(mail().NMailPop3Authenticate(handle, "a", "b", 0), 1);
    QCOMPARE(walk(handle, 1), QList<QByteArray>{message});
    mail().NMailPop3Close(handle);
}

void tst_Pop3Scripted::callDeadlineEndsAnEndlessTrickle()
{
    mail().NMailSetOption(NMailOptionCallDeadlineMs, 300);
    ScriptedPop3Server server;
    server.setReply("PASS", Reply::trickle("+OK " + QByteArray(200, 'x') + "\r\n", 20)); // about 4 s
    QVERIFY(server.start());
    const int handle = mail().NMailPop3Connect(server.serverName());
    QElapsedTimer timer;
    timer.start();
    QVERIFY(mail().NMailPop3Authenticate(handle, "a", "b", 0) < 0);
    QVERIFY2(timer.elapsed() < 1500, qPrintable(QString::number(timer.elapsed())));
    QVERIFY2(lastError().contains(u"秒以内に終わりません"), qPrintable(lastError()));
}

void tst_Pop3Scripted::walkEndsOnceTheConnectionIsGone_data()
{
    QTest::addColumn<Reply>("stat"); // every TOP and LIST is refused
    QTest::addRow("every message refused") << Reply::line("+OK 2147483647 0");
    QTest::addRow("hang-up after STAT") << Reply::cut("+OK 10000000 0\r\n");
}

void tst_Pop3Scripted::walkEndsOnceTheConnectionIsGone()
{
    QFETCH(Reply, stat);
    constexpr int checkDeadline = 500;
    mail().NMailSetOption(NMailOptionCheckDeadlineMs, checkDeadline);
    ScriptedPop3Server server;
    server.setReply("STAT", stat);
    server.setReply("TOP", Reply::line("-ERR no such message"));
    server.setReply("LIST", Reply::line("-ERR no such message"));
    QVERIFY(server.start());
    QElapsedTimer timer;
    timer.start();
    const int handle = mail().NMailPop3Connect(server.serverName());
    QVERIFY(mail().NMailPop3Authenticate(handle, "a", "b", 0) >= 10'000'000);
    Texts texts;
    int number = 1;
    while (mail().NMailPop3GetMailStatus(handle, number, texts.subject, texts.from, texts.date, texts.header, 0) !=
               MailLibrary::ConnectionGone &&
           timer.elapsed() < 10 * checkDeadline)
        ++number;
    QVERIFY2(timer.elapsed() < checkDeadline + 1500, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(mail().NMailPop3GetMailSize(handle, number), MailLibrary::ConnectionGone);
    mail().NMailPop3Close(handle);
    QVERIFY(!server.commandsWhenClosed().contains("QUIT"));
}

void tst_Pop3Scripted::replyCutInTheMiddle()
{
    ScriptedPop3Server server;
    server.setMessages({sampleMessage(1)});
    server.setReply("TOP 1 0", Reply::cut("+OK\r\nSubject: mess"));
    QVERIFY(server.start());
    const int handle = mail().NMailPop3Connect(server.serverName());
    QCOMPARE(mail().NMailPop3Authenticate(handle, "a", "b", 0), 1);
    Texts texts;
    QVERIFY(mail().NMailPop3GetMailStatus(handle, 1, texts.subject, texts.from, texts.date, texts.header, 0) < 0);
    QVERIFY2(lastError().contains(u"切断"), qPrintable(lastError()));
    QCOMPARE(upToNul(texts.subject), QString());
    QCOMPARE(mail().NMailPop3GetMailSize(handle, 1), MailLibrary::ConnectionGone);
    QCOMPARE(mail().NMailPop3Close(handle), 0);
    QCOMPARE(server.commandsWhenClosed(), Commands({"CAPA", "USER a", "PASS b", "STAT", "TOP 1 0"}));
}

void tst_Pop3Scripted::terminatorSplitAcrossReads_data()
{
    QTest::addColumn<int>("cutBeforeEnd"); // where the final "\r\n.\r\n" is split, counted from the end
    for (int cut = 1; cut <= 5; ++cut)
        QTest::addRow("split %d bytes before the end", cut) << cut;
}

void tst_Pop3Scripted::terminatorSplitAcrossReads()
{
    QFETCH(int, cutBeforeEnd);
    const QByteArray message = "Subject: split\r\n\r\n..leading dot\r\nlast line\r\n";
    const QByteArray wire = "+OK\r\nSubject: split\r\n\r\n...leading dot\r\nlast line\r\n.\r\n";
    ScriptedPop3Server server;
    server.setMessages({message, sampleMessage(2)});
    server.setReply("TOP 1 " + QByteArray::number(message.size()),
                    Reply::split({wire.chopped(cutBeforeEnd), wire.right(cutBeforeEnd)}));
    QVERIFY(server.start());
    const int handle = mail().NMailPop3Connect(server.serverName());
    QCOMPARE(mail().NMailPop3Authenticate(handle, "a", "b", 0), 2);
    QCOMPARE(walk(handle, 2), QList<QByteArray>({message, sampleMessage(2)}));
    mail().NMailPop3Close(handle);
    QCOMPARE(server.commandsWhenClosed().last(), QByteArray("QUIT"));
}

void tst_Pop3Scripted::listSizes_data()
{
    QTest::addColumn<QByteArray>("listReply");
    QTest::addColumn<int>("size");
    QTest::addColumn<QByteArray>("fetchCommand"); // empty: the fetch must fail without asking

    QTest::addRow("largest int") << QByteArray("+OK 1 2147483647") << 2147483647 << QByteArray("TOP 1 2147483647");
    QTest::addRow("beyond int") << QByteArray("+OK 1 99999999999") << -1 << QByteArray("TOP 1 2147483647");
    QTest::addRow("negative") << QByteArray("+OK 1 -5") << -1 << QByteArray();
    QTest::addRow("not a number") << QByteArray("+OK 1 many") << -1 << QByteArray();
    QTest::addRow("other message") << QByteArray("+OK 2 100") << -1 << QByteArray();
}

void tst_Pop3Scripted::listSizes()
{
    QFETCH(QByteArray, listReply);
    QFETCH(int, size);
    QFETCH(QByteArray, fetchCommand);
    const QByteArray message = sampleMessage(1);
    ScriptedPop3Server server;
    server.setMessages({message});
    server.setReply("LIST 1", Reply::line(listReply));
    QVERIFY(server.start());
    const int handle = mail().NMailPop3Connect(server.serverName());
    QCOMPARE(mail().NMailPop3Authenticate(handle, "a", "b", 0), 1);

    const int reported = mail().NMailPop3GetMailSize(handle, 1);
    QCOMPARE(reported < 0 ? -1 : reported, size);
    // The caller caps its buffer; the library must fill it and drop the rest, whatever LIST said.
    QByteArray body(20, '#');
    Texts texts;
    const int length =
        mail().NMailPop3GetMail(handle, 1, texts.subject, texts.from, texts.date, texts.header, body, 0, 0);
    QCOMPARE(body.size(), 20);
    if (fetchCommand.isEmpty()) {
        QVERIFY(length < 0);
    } else {
        QCOMPARE(length, message.size());
        QCOMPARE(body, message.left(20));
        QVERIFY(server.commands().contains(fetchCommand));
    }
}

void tst_Pop3Scripted::overlongLines_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<Reply>("reply");
    QTest::addColumn<bool>("loginWorks");

    Reply endless = Reply::raw("+OK " + QByteArray(1 << 20, 'x'));
    endless.then = Reply::Then::Stall;
    QTest::addRow("greeting without end") << QByteArray() << endless << false;
    QTest::addRow("status line") << QByteArray("STAT") << Reply::line("+OK 1 " + QByteArray(100'000, '9')) << false;
    // Lines of message data are streamed, not held: any length is fine.
    const QByteArray longLine(300'000, 'y');
    QTest::addRow("message line") << QByteArray("TOP") << Reply::multiLine("+OK", {"Subject: long", "", longLine})
                                  << true;
}

void tst_Pop3Scripted::overlongLines()
{
    QFETCH(QByteArray, command);
    QFETCH(Reply, reply);
    QFETCH(bool, loginWorks);
    ScriptedPop3Server server;
    server.setMessages({sampleMessage(1)});
    command.isEmpty() ? server.setGreeting(reply) : server.setReply(command, reply);
    QVERIFY(server.start());
    constexpr int longWait = 5000; // far above the time it takes to refuse a line, even on a busy machine
    mail().NMailSetOption(NMailOptionReplyTimeoutMs, longWait);

    QElapsedTimer timer;
    timer.start();
    const int handle = mail().NMailPop3Connect(server.serverName());
    const int count = mail().NMailPop3Authenticate(handle, "a", "b", 0);
    if (!loginWorks) {
        QVERIFY(count < 0);
        QVERIFY2(lastError().contains(u"長すぎます"), qPrintable(lastError()));
        QVERIFY2(timer.elapsed() < longWait, "a line over the cap is refused at once, not waited out");
        return;
    }
    QCOMPARE(count, 1);
    Texts texts;
    QByteArray body(400'000, ' ');
    QCOMPARE(mail().NMailPop3GetMail(handle, 1, texts.subject, texts.from, texts.date, texts.header, body, 0, 0),
             300'019);
    QCOMPARE(upToNul(texts.subject), QStringLiteral("long"));
    QCOMPARE(body.mid(17, 300'000), QByteArray(300'000, 'y'));
}

void tst_Pop3Scripted::garbageInsteadOfOk_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("garbage");
    QTest::addColumn<Commands>("expected");

    QTest::addRow("web server greeting") << QByteArray() << QByteArray("HTTP/1.1 400 Bad Request") << Commands();
    QTest::addRow("imap greeting") << QByteArray() << QByteArray("* OK IMAP4rev1 ready") << Commands();
    QTest::addRow("binary to PASS") << QByteArray("PASS") << QByteArray("\x16\x03\x01\x00\xff", 5)
                                    << Commands({"CAPA", "USER a", "PASS b"});
    QTest::addRow("lower-case ok") << QByteArray("STAT") << QByteArray("ok 1 2")
                                   << Commands({"CAPA", "USER a", "PASS b", "STAT"});
    QTest::addRow("+OKAY") << QByteArray("STAT") << QByteArray("+OKAY 1 2")
                           << Commands({"CAPA", "USER a", "PASS b", "STAT"});
}

void tst_Pop3Scripted::garbageInsteadOfOk()
{
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, garbage);
    QFETCH(Commands, expected);
    ScriptedPop3Server server;
    command.isEmpty() ? server.setGreeting(Reply::line(garbage)) : server.setReply(command, Reply::line(garbage));
    QVERIFY(server.start());
    const int handle = mail().NMailPop3Connect(server.serverName());
    QVERIFY(handle >= 0);
    QVERIFY(mail().NMailPop3Authenticate(handle, "a", "b", 0) < 0);
    QVERIFY2(lastError().startsWith(u"POP3サーバーの応答が正しくありません"), qPrintable(lastError()));
    mail().NMailPop3Close(handle);
    QCOMPARE(server.commandsWhenClosed(), expected);
}

QTEST_GUILESS_MAIN(tst_Pop3Scripted)
#include "tst_Pop3Scripted.moc"
