#include "DovecotServer.h"
#include "MailCheck.h"
#include "NMailLibrary.h"

#include <QSslCertificate>
#include <QSslConfiguration>
#include <QTest>

// What only a real server shows: TLS both ways with the certificate checked, APOP with a real timestamp, and a
// mailbox that checks leave exactly as it was.
class tst_Pop3Dovecot final : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void check_data();
    void check();

private:
    NMailLibrary m_mail;
    DovecotServer m_dovecot;
    QByteArrayList m_messages;
    const QSslConfiguration m_systemTrust = QSslConfiguration::defaultConfiguration();
    int m_sessions = 0;
};

void tst_Pop3Dovecot::initTestCase()
{
    m_dovecot.addUser(QStringLiteral("alice"), QStringLiteral("secret"));
    for (const int lines : {3, 150'000, 3}) { // the large one comes in many TLS records and reads
        m_messages << "Subject: " + QByteArray::number(lines) + "\r\n\r\n";
        for (int line = 1; line <= lines; ++line)
            m_messages.last() += (line % 7 ? "line " : ".starts with a dot ") + QByteArray::number(line) + "\r\n";
        m_dovecot.addMessage(QStringLiteral("alice"), m_messages.last());
    }
    QString why;
    QVERIFY2(m_dovecot.start(&why), qPrintable(why));
}

void tst_Pop3Dovecot::check_data()
{
    QTest::addColumn<QString>("server"); // %1: the plain port, %2: the TLS port
    QTest::addColumn<int>("apop");
    QTest::addColumn<bool>("trusted");  // the test's certificate
    QTest::addColumn<QString>("login"); // in Dovecot's login line, or in the error text

    const QString untrusted = QStringLiteral("サーバー証明書を確認できません");
    QTest::addRow("APOP") << "127.0.0.1:%1" << -1 << false << "method=APOP";
    QTest::addRow("STLS") << "pop3+starttls://127.0.0.1:%1" << 0 << true << ", TLS";
    QTest::addRow("implicit TLS") << "pop3s://127.0.0.1:%2" << 0 << true << ", TLS";
    QTest::addRow("STLS, untrusted") << "pop3+starttls://127.0.0.1:%1" << 0 << false << untrusted;
    QTest::addRow("implicit TLS, untrusted") << "pop3s://127.0.0.1:%2" << 0 << false << untrusted;
}

void tst_Pop3Dovecot::check()
{
    QFETCH(QString, server);
    QFETCH(int, apop);
    QFETCH(bool, trusted);
    QFETCH(QString, login);

    // The library takes its trust from the default configuration.
    QSslConfiguration tls = m_systemTrust;
    if (trusted)
        tls.addCaCertificates(QSslCertificate::fromPath(m_dovecot.certificatePath()));
    QSslConfiguration::setDefaultConfiguration(tls);
    server.replace(QStringLiteral("%1"), QString::number(m_dovecot.plainPort()));
    const int handle =
        m_mail.NMailPop3Connect(server.replace(QStringLiteral("%2"), QString::number(m_dovecot.tlsPort())));
    const int count = m_mail.NMailPop3Authenticate(handle, QStringLiteral("alice"), QStringLiteral("secret"), apop);
    QString text(8192, u' ');
    QByteArrayList bodies;
    for (int n = 1; n <= count; ++n) {
        m_mail.NMailPop3GetMailStatus(handle, n, text, text, text, text, 0);
        QByteArray body(MailCheck::bodyBufferLength(m_mail.NMailPop3GetMailSize(handle, n)), ' ');
        bodies << body.left(m_mail.NMailPop3GetMail(handle, n, text, text, text, text, body, 0, 0));
    }
    int length = 8192;
    m_mail.NMailGetMessage(0, text, length);
    QCOMPARE(m_mail.NMailPop3Close(handle), 0);
    QVERIFY2(count >= 0 || text.left(length).contains(login), qPrintable(text.left(length)));
    if (count < 0)
        return;
    QCOMPARE(bodies, m_messages);

    // Read with TOP only, the mailbox is left as it was: nothing retrieved, deleted or flagged. Dovecot writes a
    // session's last line once the client has gone.
    const QStringList sessions = m_dovecot.waitForLog(QStringLiteral("Logged out"), ++m_sessions);
    QCOMPARE(sessions.size(), m_sessions);
    QVERIFY2(sessions.last().contains(u"retr=0/0, del=0/3"), qPrintable(sessions.last()));
    QVERIFY2(m_dovecot.waitForLog(QStringLiteral("Login: "), m_sessions).value(m_sessions - 1).contains(login),
             qPrintable(m_dovecot.log()));
}

QTEST_GUILESS_MAIN(tst_Pop3Dovecot)
#include "tst_Pop3Dovecot.moc"
