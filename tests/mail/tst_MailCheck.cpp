#include "CheckHost.h"
#include "FakeMailLibrary.h"
#include "MailCheck.h"
#include "Schedule.h"
#include "TestFolder.h"

#include <QTest>

namespace {

// Records what the check does outside the library into the library's log.
struct Host final : CheckHost {
    explicit Host(QStringList &log) : log(log) {}
    QStringList &log;
    ServerSettings server;
    QString text7; // the mail program; Check2 is ticked when there is one
    int check1 = 0;
    int endsAt = 0; // the part off the window's thread at which the program ends, counted from 1
    int parts = 0;

    const ServerSettings &serverSettings() const override { return server; }
    void setAccount(const QString &id, const QString &password) override { log << "SetAccount " + id + ' ' + password; }
    void showAccountDialog() override { log << QStringLiteral("AccountDialog"); }
    void showLoginError(const QString &text) override { log << "Error " + text; }
    bool startsMailProgram() const override { return !text7.isEmpty(); }
    QString mailProgramPath() const override { return text7; }
    void startMailProgram(const QString &path) override { log << "Start [" + path + ']'; }
    void showNewMail(int count) override { log << QStringLiteral("Notice %1").arg(count); }
    int hangUpChoice() const override { return check1; }
    void hangUp() override { log << QStringLiteral("HangUp"); }
    bool offThread(const std::function<void()> &work) override
    {
        if (++parts == endsAt)
            return false;
        work();
        return true;
    }
};

struct Check {
    const char *name;
    QString calls;    // what the check did, in order; the hang-up (Check1) is chosen where it ends in one
    int count = 0;    // what the login gives
    int goneFrom = 0; // the status, size or fetch call from which the connection is gone
    const char *text7 = "";
    int connect = 1;
    const char *password = "pw";
    int apop = 0;
    const char *server = "h";
    int endsAt = 0;
};

// Every message is walked as status, size, then the whole of it into a buffer one byte over the size LIST
// gave (10, -7 and 2147483647 here), never negative and never above the cap.
QList<Check> checks()
{
    const QString login = QStringLiteral("Connect h|SetAccount id pw|Authenticate 1 id pw 0|");
    const QString walk1 = login + "Status 1 1|Size 1 1|Mail 1 1 11|";
    const QString walk3 = walk1 + "Status 1 2|Size 1 2|Mail 1 2 0|Status 1 3|Size 1 3|Mail 1 3 67108864|";
    return {
        {.name = "no server", .calls = "HangUp", .server = ""},
        {.name = "no connection", .calls = "Connect h|HangUp", .connect = -1},
        {.name = "no account", .calls = "Connect h|SetAccount id |AccountDialog|Close 1|HangUp", .password = ""},
        {.name = "login error",
         .calls = "Connect h|SetAccount id pw|Authenticate 7 id pw 0|GetMessage 0 8192|Error -ERR no|Close 7|HangUp",
         .count = -8,
         .connect = 7},
        {.name = "no mail", .calls = login + "Close 1|HangUp"},
        {.name = "APOP", .calls = "Connect h|SetAccount id pw|Authenticate 1 id pw -1|Close 1|HangUp", .apop = 1},
        {.name = "new mail", .calls = walk3 + "Close 1|Notice 3|HangUp", .count = 3},
        // A call that finds the connection gone ends the walk; the status, size and fetch calls all go by one rule.
        {.name = "gone at a status", .calls = walk1 + "Status 1 2|Close 1|Notice 3", .count = 3, .goneFrom = 4},
        // The marker of no mail program is compared before the blanks around a path go.
        {.name = "mail program not set", .calls = walk1 + "Close 1|HangUp", .count = 1, .text7 = "未設定"},
        {.name = "blanks around the path",
         .calls = walk1 + "Close 1|Start [/opt/m er/run]|HangUp",
         .count = 1,
         .text7 = " /opt/m er/run  "},
        {.name = "blanks around the marker", .calls = walk1 + "Close 1|Start [未設定]", .count = 1, .text7 = " 未設定"},
        // Ending the program during the login leaves the rest of the check undone: no notice, no hang-up.
        {.name = "program ends during the login", .calls = "Connect h|SetAccount id pw", .count = 3, .endsAt = 2},
    };
}

} // namespace

class tst_MailCheck final : public QObject {
    Q_OBJECT

private slots:
    void check_data();
    void check();
    void schedule_data();
    void schedule();
    void mailProgramCommand_data();
    void mailProgramCommand();
};

void tst_MailCheck::check_data()
{
    QTest::addColumn<int>("row");
    for (int row = 0; row < checks().size(); ++row)
        QTest::addRow("%s", checks()[row].name) << row;
}

void tst_MailCheck::check()
{
    QFETCH(int, row);
    const Check check = checks()[row];
    TestFolder folder;
    folder.write(folder.dataFile(QStringLiteral("iniIdPass.ini")),
                 QByteArray("[EXEINI]\r\nNAME=id\r\nNAME2=") + check.password);
    QStringList log;
    FakeMailLibrary library(log);
    library.connectResult = check.connect;
    library.authenticateResult = check.count;
    library.goneFrom = check.goneFrom;
    library.sizes = {10, -7, 2147483647};
    library.errorText = QStringLiteral("-ERR no");
    Host host(log);
    host.server = {QString(), check.server, QString(), qint16(check.apop)};
    host.text7 = QString::fromUtf8(check.text7);
    host.check1 = check.calls.endsWith(u"HangUp");
    host.endsAt = check.endsAt;
    MailCheck::run(library, host);
    QCOMPARE(log, check.calls.split(u'|'));
}

void tst_MailCheck::schedule_data()
{
    QTest::addColumn<QString>("interval");
    QTest::addColumn<QString>("counters"); // minutes:seconds before
    QTest::addColumn<int>("ticks");
    QTest::addColumn<QString>("dueAfter");      // the ticks after which a check was due
    QTest::addColumn<QString>("countersAfter"); // minutes:seconds

    const auto row = [](const char *name, const char *interval, const char *counters, int ticks, const char *dueAfter,
                        const char *countersAfter) {
        QTest::newRow(name) << QString(interval) << QString(counters) << ticks << QString(dueAfter)
                            << QString(countersAfter);
    };
    row("a counted minute is 61 ticks", "1", "Text1:Text4", 200, "61 122 183", "0:17");
    row("blanks and text after the number", "  1 min", "0:0", 61, "61", "1:0");
    row("not a whole number: never", "2.5", "0:0", 400, "", "0:34");
    row("0: never", "0", "0:0", 200, "", "3:17");
    row("not a number: never", "abc", "0:0", 200, "", "3:17");
    row("reset at the interval, rounded half to even", "2.5", "2:5", 1, "", "0:6");
    row("3.5 rounds to 4", "3.5", "4:5", 1, "", "0:6");
    row("reset and roll over in one tick", "2", "2:60", 1, "", "1:0");
    row("lowered below the counter: never", "5", "7:0", 61 * 30, "", "37:0");
    row("beyond 32 bits: never", "99999999999", "4:60", 1, "", "5:0");
}

void tst_MailCheck::schedule()
{
    QFETCH(QString, interval);
    QFETCH(QString, counters);
    QFETCH(int, ticks);
    QString minutes = counters.section(u':', 0, 0);
    QString seconds = counters.section(u':', 1);
    QStringList due;
    for (int tick = 1; tick <= ticks; ++tick) {
        Schedule::secondTick(interval, seconds, minutes);
        if (Schedule::checkDue(interval, minutes))
            due << QString::number(tick);
    }
    QTEST(due.join(u' '), "dueAfter");
    QTEST(minutes + u':' + seconds, "countersAfter");
}

void tst_MailCheck::mailProgramCommand_data()
{
    // "<folder>" stands for a folder that holds a file named "mail er -x".
    QTest::addColumn<QString>("stored");      // Text7
    QTest::addColumn<QStringList>("command"); // what a check starts
    QTest::addColumn<QString>("title");       // what the banner shows
    QTest::addRow("a file, spaces and all")
        << "<folder>/mail er -x" << QStringList{"<folder>/mail er -x"} << "mail er -x";
    QTest::addRow("a command line") << R"("/opt/My Mail/mail" --inbox "a b")"
                                    << QStringList{"/opt/My Mail/mail", "--inbox", "a b"} << "mail";
    QTest::addRow("nothing") << "" << QStringList{} << "";
}

void tst_MailCheck::mailProgramCommand()
{
    QFETCH(QString, stored);
    QFETCH(QStringList, command);
    QFETCH(QString, title);
    TestFolder folder;
    folder.write(QStringLiteral("mail er -x"), "#!/bin/sh\n");
    stored.replace(QStringLiteral("<folder>"), folder.programFolder());
    command.replaceInStrings(QStringLiteral("<folder>"), folder.programFolder());
    QCOMPARE(MailCheck::mailProgramCommand(stored), command);
    QCOMPARE(Schedule::fileTitle(stored), title);
}

QTEST_GUILESS_MAIN(tst_MailCheck)
#include "tst_MailCheck.moc"
