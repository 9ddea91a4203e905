#include "NMailOption.h"
#include "Pop3TestSupport.h"

#include <QTest>

// Commands sent ahead of need when the server announces PIPELINING (RFC 2449): the same
// commands in the same order as without it, and replies nobody asked for set aside correctly.
class tst_Pop3Pipelining final : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void walkSendsTheSameCommands_data();
    void walkSendsTheSameCommands();
    void sizeTravelsWithTheHeaderOnlyWhenAnnounced_data();
    void sizeTravelsWithTheHeaderOnlyWhenAnnounced();
    void repliesNotAskedForAreSetAside();
    void closeReadsWhatIsStillDue();
};

void tst_Pop3Pipelining::init()
{
    mail().NMailInitializeWinSock();
    mail().NMailSetOption(NMailOptionReplyTimeoutMs, 400);
}

void tst_Pop3Pipelining::cleanup()
{
    mail().NMailEndWinSock();
}

void tst_Pop3Pipelining::walkSendsTheSameCommands_data()
{
    QTest::addColumn<QList<QByteArray>>("capabilities");
    QTest::addRow("announced") << QList<QByteArray>{"TOP", "PIPELINING", "USER"};
    QTest::addRow("not announced") << QList<QByteArray>{"TOP", "USER"};
}

void tst_Pop3Pipelining::walkSendsTheSameCommands()
{
    QFETCH(QList<QByteArray>, capabilities);
    const QList<QByteArray> messages{sampleMessage(1), sampleMessage(2), sampleMessage(3)};
    ScriptedPop3Server server;
    server.setCapabilities(capabilities);
    server.setMessages(messages);
    QVERIFY(server.start());

    const int handle = mail().NMailPop3Connect(server.serverName());
    QCOMPARE(mail().NMailPop3Authenticate(handle, "a", "b", 0), 3);
    QStringList subjects;
    QCOMPARE(walk(handle, 3, &subjects), messages);
    QCOMPARE(subjects, QStringList({"message 1", "message 2", "message 3"}));
    QCOMPARE(mail().NMailPop3Close(handle), 0);
    QCOMPARE(server.commandsWhenClosed(),
             Commands({"CAPA", "USER a", "PASS b", "STAT"}) + walkCommands(messages) + Commands({"QUIT"}));
}

void tst_Pop3Pipelining::sizeTravelsWithTheHeaderOnlyWhenAnnounced_data()
{
    walkSendsTheSameCommands_data();
}

// With the header reply withheld, LIST can only have reached the server if it was sent ahead.
void tst_Pop3Pipelining::sizeTravelsWithTheHeaderOnlyWhenAnnounced()
{
    QFETCH(QList<QByteArray>, capabilities);
    const bool announced = capabilities.contains("PIPELINING");
    ScriptedPop3Server server;
    server.setCapabilities(capabilities);
    server.setMessages({sampleMessage(1)});
    server.setReply("TOP 1 0", Reply::stall());
    QVERIFY(server.start());

    const int handle = mail().NMailPop3Connect(server.serverName());
    QCOMPARE(mail().NMailPop3Authenticate(handle, "a", "b", 0), 1);
    Texts texts;
    QVERIFY(mail().NMailPop3GetMailStatus(handle, 1, texts.subject, texts.from, texts.date, texts.header, 0) < 0);
    mail().NMailPop3Close(handle);
    const Commands sent{"CAPA", "USER a", "PASS b", "STAT", "TOP 1 0"};
    QCOMPARE(server.commandsWhenClosed(), announced ? sent + Commands({"LIST 1"}) : sent);
}

void tst_Pop3Pipelining::repliesNotAskedForAreSetAside()
{
    const QList<QByteArray> messages{sampleMessage(1), sampleMessage(2), "Subject: three\r\n\r\nx\r\n"};
    ScriptedPop3Server server;
    server.setCapabilities({"PIPELINING"});
    server.setMessages(messages);
    QVERIFY(server.start());
    const int handle = mail().NMailPop3Connect(server.serverName());
    QCOMPARE(mail().NMailPop3Authenticate(handle, "a", "b", 0), 3);

    // Out of the usual order: no size call for 1, message 2 skipped, 3 asked for twice.
    Texts texts;
    QCOMPARE(mail().NMailPop3GetMailStatus(handle, 1, texts.subject, texts.from, texts.date, texts.header, 0), 0);
    QByteArray body(200, ' ');
    QCOMPARE(mail().NMailPop3GetMail(handle, 1, texts.subject, texts.from, texts.date, texts.header, body, 0, 0),
             messages[0].size());
    QCOMPARE(mail().NMailPop3GetMailStatus(handle, 3, texts.subject, texts.from, texts.date, texts.header, 0), 0);
    QCOMPARE(upToNul(texts.subject), QStringLiteral("three"));
    QCOMPARE(mail().NMailPop3GetMailSize(handle, 3), messages[2].size());
    QCOMPARE(mail().NMailPop3GetMailSize(handle, 3), messages[2].size());
    QCOMPARE(mail().NMailPop3GetMail(handle, 3, texts.subject, texts.from, texts.date, texts.header, body, 0, 0),
             messages[2].size());
    QCOMPARE(body.left(messages[2].size() + 1), messages[2] + '\0');
    QCOMPARE(mail().NMailPop3Close(handle), 0);

    const QByteArray size1 = QByteArray::number(messages[0].size());
    QCOMPARE(server.commandsWhenClosed(),
             Commands({"CAPA", "USER a", "PASS b", "STAT", "TOP 1 0", "LIST 1", "TOP 1 " + size1, "TOP 2 0", "LIST 2",
                       "TOP 3 0", "LIST 3", "LIST 3", "TOP 3 " + QByteArray::number(messages[2].size()), "QUIT"}));
}

void tst_Pop3Pipelining::closeReadsWhatIsStillDue()
{
    ScriptedPop3Server server;
    server.setCapabilities({"PIPELINING"});
    server.setMessages({sampleMessage(1), sampleMessage(2)});
    QVERIFY(server.start());
    const int handle = mail().NMailPop3Connect(server.serverName());
    QCOMPARE(mail().NMailPop3Authenticate(handle, "a", "b", 0), 2);
    QByteArray body(10, ' ');
    Texts texts;
    QCOMPARE(mail().NMailPop3GetMail(handle, 1, texts.subject, texts.from, texts.date, texts.header, body, 0, 0),
             sampleMessage(1).size());
    QCOMPARE(mail().NMailPop3Close(handle), 0);
    QCOMPARE(server.commandsWhenClosed().last(), QByteArray("QUIT"));
    // The header and size of message 2 went out ahead and were read before QUIT, so QUIT got
    // its own "+OK" and the close did not have to wait for a timeout.
    QCOMPARE(server.commandsWhenClosed().size(), 9);
}

QTEST_GUILESS_MAIN(tst_Pop3Pipelining)
#include "tst_Pop3Pipelining.moc"
