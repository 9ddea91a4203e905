#include "DialUp.h"
#include "DovecotServer.h"
#include "FakeDialUp.h"
#include "Forms.h"
#include "MainForm.h"
#include "NMailLibrary.h"
#include "ShinMsgProxy.h"
#include "TestFolder.h"
#include "TestProgram.h"

#include <QCheckBox>
#include <QPushButton>
#include <QtTest>

// The whole check from the button to the notice window, against a real POP3 server.
class MailCheckDovecotTest final : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void noticeShowsTheCount();
    void mailProgramStartsInstead();
    void wrongPasswordShowsTheServersWords();

private:
    struct RealProgram {
        QStringList log;
        ProgramState state;
        NMailLibrary library;
        FakeDialUp dialUp{log};
        Forms forms{state, library, dialUp};
        int ended = 0;
        RealProgram()
        {
            forms.setEndProgram([this] { ++ended; });
        }
    };

    void writeSettings(const TestFolder &folder, const QByteArray &password) const;

    DovecotServer m_server;
};

void MailCheckDovecotTest::initTestCase()
{
    if (!DovecotServer::isInstalled())
        QSKIP("Dovecot is not installed (dovecot-core, dovecot-pop3d)");
    m_server.addUser(QStringLiteral("alice"), QStringLiteral("secret"));
    for (int n = 1; n <= 3; ++n) {
        m_server.addMessage(
            QStringLiteral("alice"),
            QStringLiteral("From: bob@example.test\r\nSubject: test %1\r\n\r\nHello %1\r\n").arg(n).toUtf8());
    }
    QString why;
    QVERIFY2(m_server.start(&why), qPrintable(why));
}

void MailCheckDovecotTest::cleanupTestCase()
{
    m_server.stop();
}

void MailCheckDovecotTest::writeSettings(const TestFolder &folder, const QByteArray &password) const
{
    folder.write(folder.currentFolder() + QStringLiteral("/vbmail.ini"),
                 "SMTP=\r\nPOP3=127.0.0.1:" + QByteArray::number(m_server.plainPort()) + "\r\nMAIL=\r\nAPOP=0\r\n");
    folder.write(folder.dataFile(QStringLiteral("iniIdPass.ini")),
                 "[EXEINI]\r\nNAME=alice\r\nNAME2=" + password + "\r\nNAME3=1\r\n");
}

void MailCheckDovecotTest::noticeShowsTheCount()
{
    TestFolder folder;
    writeSettings(folder, "secret");
    RealProgram program;
    program.forms.mainForm().load();

    program.forms.mainForm().findChild<QPushButton *>(QStringLiteral("Command8"))->click();
    QVERIFY(program.forms.isShinMsgFormLoaded());
    QCOMPARE(program.forms.shinMsgForm().text1(), QStringLiteral("3"));

    // Every message was read in full, and none of them is marked as seen or gone.
    const QStringList after = m_server.maildirFileNames(QStringLiteral("alice"));
    QCOMPARE(after.size(), 3);
    for (const QString &name : after)
        QVERIFY2(name.startsWith(QStringLiteral("cur/")) && name.endsWith(QStringLiteral(":2,")), qPrintable(name));
}

void MailCheckDovecotTest::mailProgramStartsInstead()
{
    TestFolder folder;
    writeSettings(folder, "secret");
    const QString marker = folder.currentFolder() + QStringLiteral("/ran");
    const QString script = folder.programFolder() + QStringLiteral("/mailer.sh");
    folder.write(script, "#!/bin/sh\ntouch '" + marker.toUtf8() + "'\n");
    QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    RealProgram program;
    program.forms.mainForm().load();
    program.forms.mainForm().setText7(script);
    program.forms.mainForm().findChild<QCheckBox *>(QStringLiteral("Check2"))->setChecked(true);
    program.forms.mainForm().CheckMail();
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(marker), 5000);
    QVERIFY(!program.forms.isShinMsgFormLoaded());
}

void MailCheckDovecotTest::wrongPasswordShowsTheServersWords()
{
    TestFolder folder;
    writeSettings(folder, "wrong");
    RealProgram program;
    program.forms.mainForm().load();
    QString text;
    answerNextMessageBox(QMessageBox::Ok, &text);
    program.forms.mainForm().CheckMail();
    QVERIFY2(text.contains(QStringLiteral("[AUTH]")), qPrintable(text));
    QVERIFY(!text.contains(QStringLiteral("wrong")));
    QVERIFY(!program.forms.isShinMsgFormLoaded());
}

QTEST_MAIN(MailCheckDovecotTest)

#include "MailCheckDovecotTest.moc"
