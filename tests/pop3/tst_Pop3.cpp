#include "MailCheck.h"
#include "MailHeader.h"
#include "NMailLibrary.h"
#include "NMailOption.h"
#include "ScriptedPop3Server.h"
#include "ServerAddress.h"

#include <QTest>

using Script = ScriptedPop3Server::Script;

namespace {

NMailLibrary mail; // one for the whole program, as the program has one

QByteArrayList mailbox(int count)
{
    QByteArrayList messages;
    for (int n = 1; n <= count; ++n)
        messages << "Subject: message " + QByteArray::number(n) + "\r\nFrom: x@example.jp\r\n\r\nline\r\n.dot\r\n";
    return messages;
}

// The commands that walk the messages: the header, the size, then the whole message by its size in lines. With
// PIPELINING, the sizes come from one LIST and the messages' commands all go out before the first reply.
QByteArray walk(const QByteArrayList &messages, bool pipelining = false)
{
    QByteArray commands = pipelining ? "LIST|" : "";
    for (qsizetype n = 1; n <= messages.size(); ++n) {
        const QByteArray number = QByteArray::number(n);
        commands += "TOP " + number + " 0" + (pipelining ? "+" : "|LIST " + number + '|') + "TOP " + number + ' ' +
                    QByteArray::number(messages[n - 1].size()) + (pipelining && n < messages.size() ? '+' : '|');
    }
    return commands;
}

} // namespace

class tst_Pop3 final : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        mail.NMailSetOption(NMailOptionMaxLineBytes, 8192);
        mail.NMailSetOption(NMailOptionReplyTimeoutMs, 400);
        mail.NMailSetOption(NMailOptionCallDeadlineMs, 2000);
        mail.NMailSetOption(NMailOptionCheckDeadlineMs, 3000);
    }
    void conversation_data();
    void conversation();
    void header();
    void serverAddress();
};

void tst_Pop3::conversation_data()
{
    QTest::addColumn<QString>("server"); // %1: the scripted server's port
    QTest::addColumn<Script>("script");
    QTest::addColumn<QByteArrayList>("messages");
    QTest::addColumn<QByteArray>("password");
    QTest::addColumn<int>("apop");
    QTest::addColumn<QByteArray>("commands"); // as the server received them (its commands()); "..." ends the first
    QTest::addColumn<QString>("error");       // in the text of the failures; empty: none

    const auto row = [](const char *name, const Script &script, const QByteArrayList &messages,
                        const QByteArray &commands, const QString &error, const QByteArray &password = "b",
                        const QString &server = "127.0.0.1:%1", int apop = 0) {
        QTest::addRow("%s", name) << server << script << messages << password << apop << commands << error;
    };
    const QByteArray login = "CAPA|USER a|PASS b|STAT|", refused = "CAPA|USER a|PASS b|QUIT";
    const QByteArray pipelining = "+OK\r\nPIPELINING\r\nUSER\r\n.\r\n", stls = "+OK\r\nSTLS\r\n.\r\n";
    const QString starttls = QStringLiteral("pop3+starttls://127.0.0.1:%1");
    const QByteArrayList one = mailbox(1), three = mailbox(3);
    const QByteArrayList big{"Subject: message 1\r\n\r\n" + QByteArray(300'000, 'y') + "\r\n"};
    const QByteArray pw400 = QByteArray("0123456789").repeated(40);

    row("one command at a time", {}, three, login + walk(three) + "QUIT", "");
    row("PIPELINING: messages in flight", {{"CAPA", pipelining}}, three,
        "CAPA|USER a+PASS b+STAT|" + walk(three, true) + "QUIT", "");
    row("PIPELINING: refused, then hung up", {{"CAPA", pipelining}, {"PASS", "-ERR nope\r\n<cut>"}}, {},
        "CAPA|USER a+PASS b", "認証に失敗しました: nope");
    row("localhost, any of its addresses", {}, {}, login + "QUIT", "", "b", "pop3://localhost:%1");
    row("unreachable", {}, {}, "", "接続できません", "b", "127.0.0.1:1");
    row("APOP, RFC 1939 example", {{"", "+OK <v2> ready <1896.697170952@dbc.mtview.ca.us>\r\n"}}, {},
        "CAPA|APOP a c4c9334bac560ecc979e58001b3e22fb|STAT|QUIT", "", "tanstaaf", "127.0.0.1:%1", -1);
    row("APOP without a timestamp", {}, {}, "CAPA|QUIT", "APOPに対応していません", "b", "127.0.0.1:%1", -1);
    row("user refused: no password", {{"USER", "-ERR no\r\n"}}, {}, "CAPA|USER a|QUIT", "認証に失敗しました: no");
    row("wrong password", {{"PASS", "-ERR nope\r\n"}}, {}, refused, "認証に失敗しました: nope");
    row("in use", {{"PASS", "-ERR [IN-USE] x\r\n"}}, {}, refused, "使用中です: [IN-USE] x");
    // No piece of the password shows in the error text, however the server echoes it.
    row("password in -ERR", {{"PASS", "-ERR bad hunter2!\r\n"}}, {}, "CAPA|...", "認証", "hunter2");
    row("cut inside it", {{"PASS", "-ERR " + QByteArray(295, 'x') + " hunter2\r\n"}}, {}, "CAPA|...", "認証",
        "hunter2");
    row("400 characters", {{"PASS", "-ERR bad " + pw400 + "\r\n"}}, {}, "CAPA|...", "認証", pw400);
    row("its end echoed", {{"PASS", "-ERR " + pw400.right(200) + " is bad\r\n"}}, {}, "CAPA|...", "認証", pw400);
    // STLS must succeed before anything else is said.
    row("STLS not offered", {}, {}, "CAPA|QUIT", "STLSに対応していない", "b", starttls);
    row("STLS refused", {{"CAPA", stls}, {"STLS", "-ERR no\r\n"}}, {}, "CAPA|STLS|QUIT", "STLSを断った", "b", starttls);
    row("data before TLS", {{"CAPA", stls}, {"STLS", "+OK\r\n+OK 9 9\r\n"}}, {}, "CAPA|STLS", "余分なデータ", "b",
        starttls);
    row("trickled", {{"TOP", "<trickle>+OK\r\n" + QByteArray(one[0]).replace("\r\n.", "\r\n..") + ".\r\n"}}, one,
        login + walk(one) + "QUIT", "");
    row("LF line ends", {{"TOP", "+OK\nSubject: message 1\n\n..x\n.\n"}}, {"Subject: message 1\n\n.x\n"},
        login + "TOP 1 0|LIST 1|TOP 1 23|QUIT", "");
    row("endless trickle", {{"PASS", "<trickle>+OK " + QByteArray(3000, 'x') + "\r\n"}}, {}, "CAPA|USER a|PASS b",
        "2秒以内に終わりません");
    row("hang-up after STAT", {{"STAT", "+OK 10000000 0\r\n<cut>"}}, {}, login.chopped(1), "切断");
    row("every message refused", {{"STAT", "+OK 2147483647 0\r\n"}, {"TOP", "-ERR\r\n"}, {"LIST", "-ERR\r\n"}}, {},
        login + "TOP 1 0|LIST 1|LIST 1|TOP 2 0|...", "3秒以内に終わらないため、接続を切りました");
    row("size beyond 32 bits", {{"LIST 1", "+OK 1 99999999999\r\n"}}, one,
        login + "TOP 1 0|LIST 1|TOP 1 2147483647|QUIT", "大きすぎます");
    row("size below the message's", {{"LIST 1", "+OK 1 10\r\n"}}, mailbox(2),
        login + "TOP 1 0|LIST 1|TOP 1 10|" + walk(mailbox(2)).mid(walk(one).size()) + "QUIT", "");
    row("greeting without end", {{"", "+OK " + QByteArray(1 << 20, 'x') + "<stall>"}}, {}, "", "長すぎます");
    row("message line far over the cap", {}, big, login + walk(big) + "QUIT", "");
    row("+OKAY", {{"STAT", "+OKAY 1 2\r\n"}}, {}, login.chopped(1), "応答が正しくありません");
}

// One check as the check cycle makes it: connect, log in, then status, size and the whole of each message
// until a call finds the connection gone, and close.
void tst_Pop3::conversation()
{
    QFETCH(QString, server);
    QFETCH(Script, script);
    QFETCH(QByteArrayList, messages);
    QFETCH(QByteArray, password);
    QFETCH(int, apop);
    QFETCH(QByteArray, commands);
    QFETCH(QString, error);

    ScriptedPop3Server pop3(script, messages);
    QString failures, text(8192, u'#'), subject(8, u'#');
    const auto failed = [&](int result) {
        int length = 8192;
        if (result < 0 && mail.NMailGetMessage(0, text, length) > 0)
            failures += text.left(length) + u'\n';
        return result == MailLibrary::ConnectionGone;
    };
    const int handle = mail.NMailPop3Connect(server.replace(QStringLiteral("%1"), QString::number(pop3.port())));
    const int count = handle < 0 ? handle : mail.NMailPop3Authenticate(handle, QStringLiteral("a"), password, apop);
    failed(count);
    for (int n = 1; n <= count; ++n) {
        if (failed(mail.NMailPop3GetMailStatus(handle, n, subject, text, text, text, 0)))
            break;
        const int size = mail.NMailPop3GetMailSize(handle, n);
        if (failed(size))
            break;
        QByteArray body(MailCheck::bodyBufferLength(size), '#');
        const int length = mail.NMailPop3GetMail(handle, n, subject, text, text, text, body, 0, 0);
        if (failed(length))
            break;
        // The buffers keep their size; the texts are cut to fit and end in a NUL.
        if (length >= 0 &&
            (length != messages.value(n - 1).size() || body.size() != MailCheck::bodyBufferLength(size) ||
             !messages[n - 1].startsWith(body.left(length)) || subject != QStringLiteral("message") + QChar(0)))
            failures += QStringLiteral("message %1 came out wrong\n").arg(n);
    }
    if (handle >= 0)
        QCOMPARE(mail.NMailPop3Close(handle), 0);

    const QByteArray sent = handle < 0 ? QByteArray() : pop3.commands();
    const qsizetype more = commands.endsWith("...") ? 3 : 0;
    QCOMPARE(more ? sent.left(commands.size() - more) : sent, commands.chopped(more));
    QVERIFY2(failures.isEmpty() == error.isEmpty() && failures.contains(error), qPrintable(failures));
    for (qsizetype i = 0; i + 3 <= password.size(); ++i)
        QVERIFY2(!failures.contains(QString::fromUtf8(password.mid(i, 3))), qPrintable(failures));
}

// The subject as the status texts get it: the field unfolded, encoded words decoded, what is broken left as it is.
void tst_Pop3::header()
{
    for (const char *row :
         {"Subject: =?ISO-2022-JP?B?GyRCJDMkcyRLJEEkTxsoQg==?=|こんにちは", "Subject: =?Shift_JIS?B?g2WDWINn?=|テスト",
          "Subject: Re: =?utf-8?Q?caf=C3=A9_au?= lait|Re: café au lait",
          "SUBJECT: =?UTF-8?Q?a?=\r\n =?UTF-8?Q?b?=\r\nX: y|ab", // folded, the blank between words dropped
          "Subject: =?UTF-8?B?5pc=?= =?UTF-8?B?pQ==?=|日",       // a character over two words
          "Subject: =?UTF-8?X?abc?= =?broken|=?UTF-8?X?abc?= =?broken", "Subject: \x1b$B$3$s\x1b(B|こん",
          "Subject: caf\xe9|café", "From: x\r\n\r\nSubject: in the body|"})
        QCOMPARE(MailHeader::parse(QByteArray(row).split('|')[0]).field("Subject"),
                 QString::fromUtf8(strchr(row, '|') + 1));
}

// Host, port and security from the server name; nothing from what is not one.
void tst_Pop3::serverAddress()
{
    for (const char *row : {" mail.example.jp \t|mail.example.jp 110 0", "h:1110|h 1110 0", "[::1]:995|::1 995 0",
                            "pop3://h:2110/|h 2110 0", "POP3S://h|h 995 1", "pop3+starttls://h|h 110 2", "h:0|",
                            "h:65536|", "imap://h|", "pop3://h/inbox|", "pop3://a@h|", "[127.0.0.1]:110|"}) {
        const auto parsed = ServerAddress::parse(QString(row).section(u'|', 0, 0));
        QCOMPARE(parsed
                     ? QStringLiteral("%1 %2 %3").arg(parsed->host()).arg(parsed->port()).arg(int(parsed->security()))
                     : QString(),
                 QString(row).section(u'|', 1));
    }
}

QTEST_GUILESS_MAIN(tst_Pop3)
#include "tst_Pop3.moc"
