#include "DovecotServer.h"
#include "MailLimits.h"
#include "NMailLibrary.h"
#include "NMailOption.h"

#include <QSslCertificate>
#include <QSslConfiguration>
#include <QTcpSocket>
#include <QTest>

namespace {

NMailLibrary &mail()
{
    static NMailLibrary library;
    return library;
}

QString lastError()
{
    QString buffer(8192, u' ');
    int length = 8192;
    mail().NMailGetMessage(0, buffer, length);
    return buffer.left(length);
}

QByteArray message(const QByteArray &subject, int bodyLines)
{
    QByteArray text = "From: sender@example.jp\r\nTo: you@example.jp\r\nSubject: " + subject +
                      "\r\nDate: Sat, 7 Dec 2024 10:00:00 +0900\r\nMessage-ID: <" + subject + "@example.jp>\r\n\r\n";
    for (int line = 1; line <= bodyLines; ++line)
        text += (line % 7 == 0 ? ". a line that starts with a dot " : "line ") + QByteArray::number(line) + "\r\n";
    return text;
}

struct Check {
    int count = -1;
    QList<QByteArray> bodies;
    QStringList subjects;
};

// One check as the program makes it: connect, log in, status, size and fetch of every
// message, close.
Check check(const QString &server, const QString &user, const QString &password, int apop)
{
    Check result;
    const int handle = mail().NMailPop3Connect(server);
    if (handle < 0)
        return result;
    result.count = mail().NMailPop3Authenticate(handle, user, password, apop);
    QString subject(8192, u' '), from(8192, u' '), date(8192, u' '), header(8192, u' ');
    for (int number = 1; number <= result.count; ++number) {
        mail().NMailPop3GetMailStatus(handle, number, subject, from, date, header, 0);
        result.subjects << subject.left(subject.indexOf(QChar(0)));
        const int size = mail().NMailPop3GetMailSize(handle, number);
        QByteArray body(qBound<qint64>(0, qint64(size), MaxBodyBufferBytes) + 1, ' ');
        const int length = mail().NMailPop3GetMail(handle, number, subject, from, date, header, body, 0, 0);
        result.bodies << body.left(qMax(length, 0));
    }
    mail().NMailPop3Close(handle);
    return result;
}

} // namespace

class tst_Pop3Dovecot final : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void plainLogin();
    void apopLogin();
    void encryptedLogin_data();
    void encryptedLogin();
    void largeMessageOverTls();
    void untrustedCertificateFailsTheLogin_data();
    void untrustedCertificateFailsTheLogin();
    void wrongPassword();
    void walkLeavesTheMaildirUnchanged();
    void retrAndQuitWouldMarkSeen();

private:
    QString plain() const { return QStringLiteral("127.0.0.1:%1").arg(m_dovecot.plainPort()); }
    QStringList loginLines(const QString &user) const
    {
        return m_dovecot.log().split(u'\n').filter(QStringLiteral("Login: user=<%1>").arg(user));
    }
    void trustTestCertificate();

    DovecotServer m_dovecot;
    QSslConfiguration m_systemTrust;
    QList<QByteArray> m_walkerMessages;
    QByteArray m_bigMessage;
};

void tst_Pop3Dovecot::initTestCase()
{
    if (!DovecotServer::isInstalled())
        QSKIP("Dovecot is not installed (/usr/sbin/dovecot from dovecot-core and dovecot-pop3d)");
    m_systemTrust = QSslConfiguration::defaultConfiguration();
    m_dovecot.addUser("taro", "plain-pw");
    m_dovecot.addUser("hanako", "apop-pw");
    m_dovecot.addUser("walker", "walk-pw");
    m_dovecot.addUser("reader", "read-pw");
    m_dovecot.addMessage("hanako", message("apop", 3));
    m_dovecot.addMessage("hanako", message("apop2", 3));
    for (const QByteArray subject : {"first", "second", "third"}) {
        m_walkerMessages << message(subject, 40);
        m_dovecot.addMessage("walker", m_walkerMessages.last());
    }
    m_dovecot.addMessage("reader", message("read me", 2));
    m_dovecot.addUser("big", "big-pw");
    m_bigMessage = message("big", 150'000); // about 2 MB, many TLS records and reads
    m_dovecot.addMessage("big", m_bigMessage);
    QString why;
    QVERIFY2(m_dovecot.start(&why), qPrintable(why));
    mail().NMailInitializeWinSock();
    mail().NMailSetOption(NMailOptionMaxLineBytes, 8192);
}

void tst_Pop3Dovecot::cleanupTestCase()
{
    mail().NMailEndWinSock();
    QSslConfiguration::setDefaultConfiguration(m_systemTrust);
    m_dovecot.stop();
}

void tst_Pop3Dovecot::init()
{
    QSslConfiguration::setDefaultConfiguration(m_systemTrust);
}

// The library takes its TLS settings from the default configuration: trusting the test's
// self-signed certificate there is all a test needs to do.
void tst_Pop3Dovecot::trustTestCertificate()
{
    QSslConfiguration trusting = m_systemTrust;
    const auto certificates = QSslCertificate::fromPath(m_dovecot.certificatePath());
    QCOMPARE(certificates.size(), 1);
    trusting.setCaCertificates(QSslConfiguration::systemCaCertificates() + certificates);
    QSslConfiguration::setDefaultConfiguration(trusting);
}

void tst_Pop3Dovecot::plainLogin()
{
    QCOMPARE(check(plain(), "taro", "plain-pw", 0).count, 0);
}

void tst_Pop3Dovecot::apopLogin()
{
    const Check result = check(plain(), "hanako", "apop-pw", -1);
    QCOMPARE(result.count, 2);
    QCOMPARE(result.subjects, QStringList({"apop", "apop2"}));
    QVERIFY(m_dovecot.log().contains("Login: user=<hanako>, method=APOP"));
}

void tst_Pop3Dovecot::encryptedLogin_data()
{
    QTest::addColumn<QString>("scheme");
    QTest::addColumn<bool>("implicitTls");
    QTest::addRow("STLS") << "pop3+starttls" << false;
    QTest::addRow("implicit TLS") << "pop3s" << true;
}

void tst_Pop3Dovecot::encryptedLogin()
{
    QFETCH(QString, scheme);
    QFETCH(bool, implicitTls);
    trustTestCertificate();
    const auto tlsLogins = [this] { return loginLines("hanako").filter(u", TLS, ").size(); };
    const qsizetype before = tlsLogins();
    const quint16 port = implicitTls ? m_dovecot.tlsPort() : m_dovecot.plainPort();
    const Check result = check(QStringLiteral("%1://127.0.0.1:%2").arg(scheme).arg(port), "hanako", "apop-pw", 0);
    QVERIFY2(result.count == 2, qPrintable(lastError()));
    QCOMPARE(result.subjects, QStringList({"apop", "apop2"}));
    QCOMPARE(tlsLogins(), before + 1);
}

void tst_Pop3Dovecot::largeMessageOverTls()
{
    trustTestCertificate();
    const Check result = check(QStringLiteral("pop3s://127.0.0.1:%1").arg(m_dovecot.tlsPort()), "big", "big-pw", 0);
    QVERIFY2(result.count == 1, qPrintable(lastError()));
    QCOMPARE(result.bodies.value(0).size(), m_bigMessage.size());
    QVERIFY(result.bodies.value(0) == m_bigMessage);
}

void tst_Pop3Dovecot::untrustedCertificateFailsTheLogin_data()
{
    encryptedLogin_data();
}

void tst_Pop3Dovecot::untrustedCertificateFailsTheLogin()
{
    QFETCH(QString, scheme);
    QFETCH(bool, implicitTls);
    const quint16 port = implicitTls ? m_dovecot.tlsPort() : m_dovecot.plainPort();
    const int handle = mail().NMailPop3Connect(QStringLiteral("%1://127.0.0.1:%2").arg(scheme).arg(port));
    QVERIFY2(handle >= 0, "the server was reached; the certificate is the login's business");
    QVERIFY(mail().NMailPop3Authenticate(handle, "hanako", "apop-pw", 0) < 0);
    QVERIFY2(lastError().startsWith(u"サーバー証明書を確認できません"), qPrintable(lastError()));
    QCOMPARE(mail().NMailPop3Close(handle), 0);
}

void tst_Pop3Dovecot::wrongPassword()
{
    const int handle = mail().NMailPop3Connect(plain());
    QVERIFY(handle >= 0);
    QVERIFY(mail().NMailPop3Authenticate(handle, "taro", "not-the-pw", 0) < 0);
    QCOMPARE(lastError(), QStringLiteral("認証に失敗しました: [AUTH] Authentication failed."));
    QCOMPARE(mail().NMailPop3Close(handle), 0);
}

void tst_Pop3Dovecot::walkLeavesTheMaildirUnchanged()
{
    const Check first = check(plain(), "walker", "walk-pw", 0);
    QCOMPARE(first.count, 3);
    QCOMPARE(first.bodies, m_walkerMessages);
    QCOMPARE(first.subjects, QStringList({"first", "second", "third"}));

    // Dovecot moves new mail to cur/ at the first login; after that nothing may change:
    // no flag (S would mean read), no message gone.
    const QStringList afterFirst = m_dovecot.maildirFileNames("walker");
    QCOMPARE(afterFirst.size(), 3);
    for (const QString &name : afterFirst)
        QVERIFY2(name.startsWith(u"cur/") && name.endsWith(u":2,"), qPrintable(name));

    const Check second = check(plain(), "walker", "walk-pw", 0);
    QCOMPARE(second.count, 3);
    QCOMPARE(second.bodies, m_walkerMessages);
    QCOMPARE(m_dovecot.maildirFileNames("walker"), afterFirst);
    const QStringList sessions = m_dovecot.log().split(u'\n').filter(u"pop3(walker)");
    QCOMPARE(sessions.filter(u"Logged out top=6/").size(), 2);
    QCOMPARE(sessions.filter(u"retr=0/0, del=0/3").size(), 2);
}

// The walk test above can only catch a client that marks mail read if Dovecot really does so
// for RETR: check that here, with a bare socket.
void tst_Pop3Dovecot::retrAndQuitWouldMarkSeen()
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, m_dovecot.plainPort());
    QVERIFY(socket.waitForConnected(5000));
    QByteArray received;
    for (const QByteArray command : {"USER reader", "PASS read-pw", "RETR 1", "QUIT"}) {
        socket.write(command + "\r\n");
        QVERIFY(socket.waitForBytesWritten(5000));
    }
    while (socket.waitForReadyRead(5000))
        received += socket.readAll();
    QVERIFY2(received.contains("read me"), received.constData());
    const QStringList names = m_dovecot.maildirFileNames("reader");
    QCOMPARE(names.size(), 1);
    QVERIFY2(names.first().endsWith(u":2,S"), qPrintable(names.first()));
}

QTEST_GUILESS_MAIN(tst_Pop3Dovecot)
#include "tst_Pop3Dovecot.moc"
