#include "Pop3Session.h"

#include <QTest>

// APOP (RFC 1939, section 7): the timestamp taken from the greeting and the digest sent.
class tst_Apop final : public QObject {
    Q_OBJECT

private slots:
    void findsTheGreetingTimestamp_data();
    void findsTheGreetingTimestamp();
    void digestOfTheRfcExample();
};

void tst_Apop::findsTheGreetingTimestamp_data()
{
    QTest::addColumn<QByteArray>("greeting"); // the text after "+OK "
    QTest::addColumn<QByteArray>("timestamp");

    QTest::addRow("rfc example") << QByteArray("POP3 server ready <1896.697170952@dbc.mtview.ca.us>")
                                 << QByteArray("<1896.697170952@dbc.mtview.ca.us>");
    QTest::addRow("dovecot") << QByteArray("Dovecot ready. <3016.4.6b15ed0f.nMPgpuCQCNMl2cYjDZNWBQ==@vm>")
                             << QByteArray("<3016.4.6b15ed0f.nMPgpuCQCNMl2cYjDZNWBQ==@vm>");
    QTest::addRow("none") << QByteArray("POP3 server ready") << QByteArray();
    QTest::addRow("brackets without @") << QByteArray("ready <beta> now") << QByteArray();
    QTest::addRow("brackets before the timestamp") << QByteArray("<v2> ready <1.2@host>") << QByteArray("<1.2@host>");
    QTest::addRow("blank inside") << QByteArray("ready <a b@host>") << QByteArray();
    QTest::addRow("never closed") << QByteArray("ready <1.2@host") << QByteArray();
}

void tst_Apop::findsTheGreetingTimestamp()
{
    QFETCH(QByteArray, greeting);
    QFETCH(QByteArray, timestamp);
    QCOMPARE(Pop3Session::greetingTimestamp(greeting), timestamp);
}

void tst_Apop::digestOfTheRfcExample()
{
    QCOMPARE(Pop3Session::apopDigest("<1896.697170952@dbc.mtview.ca.us>", "tanstaaf"),
             QByteArray("c4c9334bac560ecc979e58001b3e22fb"));
}

QTEST_GUILESS_MAIN(tst_Apop)
#include "tst_Apop.moc"
