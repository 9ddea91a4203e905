#include "MailCheck.h"
#include "CheckHost.h"
#include "FakeMailLibrary.h"
#include "MailLimits.h"
#include "ProfileFile.h"
#include "ProgramPaths.h"
#include "TestFolder.h"

#include <QDir>
#include <QFile>
#include <QtTest>

namespace {

// Records what the check does outside the library into the same log as the library's calls.
class RecordingHost final : public CheckHost {
public:
    explicit RecordingHost(QStringList &log) : m_log(log) {}

    ServerSettings server{QString(), QStringLiteral("pop.example.test"), QString(), 0};
    bool check2 = false;
    QString text7 = QStringLiteral("未設定");
    int check1 = 0;

    const ServerSettings &serverSettings() const override { return server; }
    void setAccount(const QString &id, const QString &password) override
    {
        m_log << QStringLiteral("SetAccount %1 %2").arg(id, password);
    }
    void showAccountDialog() override { m_log << QStringLiteral("ShowAccountDialog"); }
    void showLoginError(const QString &text) override { m_log << QStringLiteral("ShowError %1").arg(text); }
    bool startsMailProgram() const override { return check2; }
    QString mailProgramPath() const override { return text7; }
    void startMailProgram(const QString &path) override { m_log << QStringLiteral("Start [%1]").arg(path); }
    void showNewMail(int count) override { m_log << QStringLiteral("Notice %1").arg(count); }
    int hangUpChoice() const override { return check1; }
    void hangUp() override { m_log << QStringLiteral("HangUp"); }

private:
    QStringList &m_log;
};

void writeAccount(const QString &id, const QString &password)
{
    ProfileFile file(ProgramPaths::accountFile());
    if (!id.isNull())
        file.writeString(QStringLiteral("NAME"), id);
    if (!password.isNull())
        file.writeString(QStringLiteral("NAME2"), password);
}

} // namespace

class MailCheckTest final : public QObject {
    Q_OBJECT

private slots:
    void callOrder_data();
    void callOrder();
    void hangUpFollowsEveryOutcome_data();
    void hangUpFollowsEveryOutcome();
    void mailProgramCommand_data();
    void mailProgramCommand();
    void sizesReachTheLibraryAsBufferCapacities();
    void walkStopsWhenTheConnectionIsGone_data();
    void walkStopsWhenTheConnectionIsGone();
};

void MailCheckTest::callOrder_data()
{
    QTest::addColumn<QString>("server");
    QTest::addColumn<int>("connect");
    QTest::addColumn<QString>("password");
    QTest::addColumn<int>("apop");
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("check2");
    QTest::addColumn<QString>("text7");
    QTest::addColumn<QStringList>("expected");

    const QString account = QStringLiteral("SetAccount alice secret");
    QTest::addRow("no server name") << QString() << 1 << "secret" << 0 << 0 << false << "未設定" << QStringList{};
    QTest::addRow("failed connect") << "pop.example.test" << -1 << "secret" << 0 << 0 << false << "未設定"
                                    << QStringList{"Connect pop.example.test"};
    QTest::addRow("missing password") << "pop.example.test" << 1 << QString() << 0 << 0 << false << "未設定"
                                      << QStringList{"Connect pop.example.test", "SetAccount alice ",
                                                     "ShowAccountDialog", "Close 1"};
    QTest::addRow("wrong password") << "pop.example.test" << 7 << "secret" << 0 << -3 << false << "未設定"
                                    << QStringList{"Connect pop.example.test",
                                                   account,
                                                   "Authenticate 7 alice secret 0",
                                                   "GetMessage 0 8192",
                                                   "ShowError -ERR [AUTH] 認証に失敗しました",
                                                   "Close 7"};
    QTest::addRow("empty mailbox") << "pop.example.test" << 1 << "secret" << 0 << 0 << false << "未設定"
                                   << QStringList{"Connect pop.example.test", account, "Authenticate 1 alice secret 0",
                                                  "Close 1"};
    QTest::addRow("three messages") << "pop.example.test" << 1 << "secret" << 0 << 3 << false << "未設定"
                                    << QStringList{"Connect pop.example.test",
                                                   account,
                                                   "Authenticate 1 alice secret 0",
                                                   "GetMailStatus 1 1 0",
                                                   "GetMailSize 1 1",
                                                   "GetMail 1 1 0 0",
                                                   "GetMailStatus 1 2 0",
                                                   "GetMailSize 1 2",
                                                   "GetMail 1 2 0 0",
                                                   "GetMailStatus 1 3 0",
                                                   "GetMailSize 1 3",
                                                   "GetMail 1 3 0 0",
                                                   "Close 1",
                                                   "Notice 3"};
    QTest::addRow("APOP passes -1") << "pop.example.test" << 1 << "secret" << 1 << 0 << false << "未設定"
                                    << QStringList{"Connect pop.example.test", account,
                                                   "Authenticate 1 alice secret -1", "Close 1"};
    QTest::addRow("mail program not set") << "pop.example.test" << 1 << "secret" << 0 << 1 << true << "未設定"
                                          << QStringList{"Connect pop.example.test",
                                                         account,
                                                         "Authenticate 1 alice secret 0",
                                                         "GetMailStatus 1 1 0",
                                                         "GetMailSize 1 1",
                                                         "GetMail 1 1 0 0",
                                                         "Close 1"};
    // The marker is compared before the blanks go: " 未設定 " is a path like any other.
    QTest::addRow("path with blanks around it")
        << "pop.example.test" << 1 << "secret" << 0 << 1 << true << "  /opt/mail er/run  "
        << QStringList{"Connect pop.example.test",
                       account,
                       "Authenticate 1 alice secret 0",
                       "GetMailStatus 1 1 0",
                       "GetMailSize 1 1",
                       "GetMail 1 1 0 0",
                       "Close 1",
                       "Start [/opt/mail er/run]"};
    QTest::addRow("blanks around the marker") << "pop.example.test" << 1 << "secret" << 0 << 1 << true << " 未設定"
                                              << QStringList{"Connect pop.example.test",
                                                             account,
                                                             "Authenticate 1 alice secret 0",
                                                             "GetMailStatus 1 1 0",
                                                             "GetMailSize 1 1",
                                                             "GetMail 1 1 0 0",
                                                             "Close 1",
                                                             "Start [未設定]"};
}

void MailCheckTest::callOrder()
{
    QFETCH(QString, server);
    QFETCH(int, connect);
    QFETCH(QString, password);
    QFETCH(int, apop);
    QFETCH(int, count);
    QFETCH(bool, check2);
    QFETCH(QString, text7);
    QFETCH(QStringList, expected);

    TestFolder folder;
    writeAccount(QStringLiteral("alice"), password);
    QStringList log;
    FakeMailLibrary library(log);
    library.connectResult = connect;
    library.authenticateResult = count;
    library.errorText = QStringLiteral("-ERR [AUTH] 認証に失敗しました");
    RecordingHost host(log);
    host.server.pop3 = server;
    host.server.apop = qint16(apop);
    host.check2 = check2;
    host.text7 = text7;

    MailCheck::run(library, host);
    QCOMPARE(log, expected);
}

void MailCheckTest::hangUpFollowsEveryOutcome_data()
{
    QTest::addColumn<QString>("server");
    QTest::addColumn<int>("connect");
    QTest::addColumn<QString>("password");
    QTest::addColumn<int>("count");
    QTest::addRow("no server") << QString() << 1 << "secret" << 0;
    QTest::addRow("failed connect") << "h" << -1 << "secret" << 0;
    QTest::addRow("no account") << "h" << 1 << QString() << 0;
    QTest::addRow("login error") << "h" << 1 << "secret" << -1;
    QTest::addRow("no mail") << "h" << 1 << "secret" << 0;
    QTest::addRow("new mail") << "h" << 1 << "secret" << 2;
}

void MailCheckTest::hangUpFollowsEveryOutcome()
{
    QFETCH(QString, server);
    QFETCH(int, connect);
    QFETCH(QString, password);
    QFETCH(int, count);

    for (const int check1 : {0, 1}) {
        TestFolder folder;
        writeAccount(QStringLiteral("alice"), password);
        QStringList log;
        FakeMailLibrary library(log);
        library.connectResult = connect;
        library.authenticateResult = count;
        RecordingHost host(log);
        host.server.pop3 = server;
        host.check1 = check1;
        MailCheck::run(library, host);
        QCOMPARE(log.count(QStringLiteral("HangUp")), check1);
        if (check1)
            QCOMPARE(log.last(), QStringLiteral("HangUp"));
    }
}

void MailCheckTest::mailProgramCommand_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("command");
    const QString withSpaces = QDir::temp().filePath(QStringLiteral("mail er -x"));
    QFile(withSpaces).open(QIODevice::WriteOnly);
    QTest::addRow("existing file with spaces") << withSpaces << QStringList{withSpaces};
    QTest::addRow("arguments") << "thunderbird -mail" << QStringList{"thunderbird", "-mail"};
    QTest::addRow("quoted program") << R"("/opt/My Mail/run" --inbox "a b")"
                                    << QStringList{"/opt/My Mail/run", "--inbox", "a b"};
    QTest::addRow("nothing") << "" << QStringList{};
}

void MailCheckTest::mailProgramCommand()
{
    QFETCH(QString, text);
    QFETCH(QStringList, command);
    QCOMPARE(MailCheck::mailProgramCommand(text), command);
}

void MailCheckTest::sizesReachTheLibraryAsBufferCapacities()
{
    TestFolder folder;
    writeAccount(QStringLiteral("alice"), QStringLiteral("secret"));
    QStringList log;
    FakeMailLibrary library(log);
    library.authenticateResult = 3;
    library.sizes = {10, -7, 2147483647};
    RecordingHost host(log);
    MailCheck::run(library, host);
    QCOMPARE(library.bodyCapacities, (QList<qsizetype>{11, 0, qsizetype(MaxBodyBufferBytes)}));
}

void MailCheckTest::walkStopsWhenTheConnectionIsGone_data()
{
    QTest::addColumn<int>("goneFrom");
    QTest::addColumn<QString>("lastCall");
    QTest::addRow("at a status") << 4 << "GetMailStatus 1 2 0";
    QTest::addRow("at a size") << 5 << "GetMailSize 1 2";
    QTest::addRow("at a fetch") << 6 << "GetMail 1 2 0 0";
}

void MailCheckTest::walkStopsWhenTheConnectionIsGone()
{
    QFETCH(int, goneFrom);
    QFETCH(QString, lastCall);
    TestFolder folder;
    writeAccount(QStringLiteral("alice"), QStringLiteral("secret"));
    QStringList log;
    FakeMailLibrary library(log);
    library.authenticateResult = 5;
    library.goneFrom = goneFrom;
    RecordingHost host(log);
    MailCheck::run(library, host);
    // No call after the one that found the connection gone; the notice still has the count the server gave.
    QCOMPARE(log.mid(log.indexOf(lastCall)), QStringList({lastCall, "Close 1", "Notice 5"}));
}

QTEST_GUILESS_MAIN(MailCheckTest)
#include "MailCheckTest.moc"
