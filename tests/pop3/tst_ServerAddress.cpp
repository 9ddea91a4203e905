#include "ServerAddress.h"

#include <QTest>

using Security = ServerAddress::Security;
Q_DECLARE_METATYPE(ServerAddress::Security)

class tst_ServerAddress final : public QObject {
    Q_OBJECT

private slots:
    void parsesAcceptedForms_data();
    void parsesAcceptedForms();
    void rejectsMalformedNames_data();
    void rejectsMalformedNames();
};

void tst_ServerAddress::parsesAcceptedForms_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");
    QTest::addColumn<Security>("security");

    QTest::addRow("bare host") << "mail.example.jp"
                               << "mail.example.jp" << 110 << Security::Plain;
    QTest::addRow("blanks around") << "  mail.example.jp \t"
                                   << "mail.example.jp" << 110 << Security::Plain;
    QTest::addRow("host and port") << "mail.example.jp:1110"
                                   << "mail.example.jp" << 1110 << Security::Plain;
    QTest::addRow("ipv4 and port") << "127.0.0.1:2110"
                                   << "127.0.0.1" << 2110 << Security::Plain;
    QTest::addRow("bracketed v6") << "[::1]:995"
                                  << "::1" << 995 << Security::Plain;
    QTest::addRow("bracketed v6 no port") << "[fe80::1]"
                                          << "fe80::1" << 110 << Security::Plain;
    QTest::addRow("bare v6") << "::1"
                             << "::1" << 110 << Security::Plain;
    QTest::addRow("pop3 scheme") << "pop3://mail.example.jp"
                                 << "mail.example.jp" << 110 << Security::Plain;
    QTest::addRow("pop3 scheme port slash") << "pop3://mail.example.jp:2110/"
                                            << "mail.example.jp" << 2110 << Security::Plain;
    QTest::addRow("pop3s default port") << "pop3s://mail.example.jp"
                                        << "mail.example.jp" << 995 << Security::ImplicitTls;
    QTest::addRow("pop3s upper case") << "POP3S://mail.example.jp:9995"
                                      << "mail.example.jp" << 9995 << Security::ImplicitTls;
    QTest::addRow("pop3s v6") << "pop3s://[::1]:1995"
                              << "::1" << 1995 << Security::ImplicitTls;
    QTest::addRow("starttls default port") << "pop3+starttls://mail.example.jp"
                                           << "mail.example.jp" << 110 << Security::StartTls;
    QTest::addRow("starttls port") << "pop3+starttls://localhost:1110"
                                   << "localhost" << 1110 << Security::StartTls;
    QTest::addRow("highest port") << "h:65535"
                                  << "h" << 65535 << Security::Plain;
}

void tst_ServerAddress::parsesAcceptedForms()
{
    QFETCH(QString, text);
    QFETCH(QString, host);
    QFETCH(int, port);
    QFETCH(Security, security);

    const auto address = ServerAddress::parse(text);
    QVERIFY(address);
    QCOMPARE(address->host(), host);
    QCOMPARE(int(address->port()), port);
    QCOMPARE(address->security(), security);
}

void tst_ServerAddress::rejectsMalformedNames_data()
{
    QTest::addColumn<QString>("text");

    QTest::addRow("empty") << "";
    QTest::addRow("blanks") << "   ";
    QTest::addRow("port zero") << "host:0";
    QTest::addRow("port too large") << "host:65536";
    QTest::addRow("port not a number") << "host:pop";
    QTest::addRow("port empty") << "host:";
    QTest::addRow("signed port") << "host:+110";
    QTest::addRow("no host") << ":110";
    QTest::addRow("scheme only") << "pop3s://";
    QTest::addRow("other scheme") << "imap://mail.example.jp";
    QTest::addRow("path") << "pop3://mail.example.jp/inbox";
    QTest::addRow("user info") << "pop3://alice@mail.example.jp";
    QTest::addRow("space inside") << "mail example.jp";
    QTest::addRow("unclosed bracket") << "[::1:110";
    QTest::addRow("bracketed v4") << "[127.0.0.1]:110";
    QTest::addRow("junk after bracket") << "[::1]x110";
    QTest::addRow("colons but no v6") << "a:b:c";
}

void tst_ServerAddress::rejectsMalformedNames()
{
    QFETCH(QString, text);
    QVERIFY(!ServerAddress::parse(text));
}

QTEST_GUILESS_MAIN(tst_ServerAddress)
#include "tst_ServerAddress.moc"
