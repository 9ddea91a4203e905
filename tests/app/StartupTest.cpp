#include "FakeDialUp.h"
#include "FakeMailLibrary.h"
#include "Forms.h"
#include "IdPassForm.h"
#include "MainForm.h"
#include "OptionForm.h"
#include "SetForm.h"
#include "TestFolder.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <QtTest>

namespace {

struct Program {
    QStringList log;
    ProgramState state;
    FakeMailLibrary library{log};
    FakeDialUp dialUp{log};
    Forms forms{state, library, dialUp};

    void start() { forms.mainForm().load(); }
    template <class T>
    T *control(QWidget &form, const char *name)
    {
        return form.findChild<T *>(QLatin1String(name));
    }
};

const QByteArray CompleteAccount = "[EXEINI]\r\nNAME=alice\r\nNAME2=secret\r\n";

} // namespace

class StartupTest final : public QObject {
    Q_OBJECT

private slots:
    void dialogsOpenForMissingValues_data();
    void dialogsOpenForMissingValues();
    void checkBoxKeysOutsideZeroAndOne();
    void intervalFromTheFile_data();
    void intervalFromTheFile();
    void mailProgramFromTheFile_data();
    void mailProgramFromTheFile();
    void libraryIsInitialisedOnce();
    void serverSettingsComeFromTheCurrentDirectory();
};

void StartupTest::dialogsOpenForMissingValues_data()
{
    QTest::addColumn<QByteArray>("vbmail"); // empty: no file
    QTest::addColumn<QByteArray>("account");
    QTest::addColumn<bool>("optionShown");
    QTest::addColumn<bool>("idPassShown");

    const QByteArray pop3 = "SMTP=smtp.example.test\r\nPOP3=pop.example.test\r\nMAIL=a@example.test\r\nAPOP=0\r\n";
    const QByteArray pop3Empty = "SMTP=smtp.example.test\r\nPOP3=\r\n";
    const QByteArray pop3Blanks = "POP3=   \r\n";
    const QByteArray partial = "[EXEINI]\r\nNAME=alice\r\n";
    const struct {
        const char *name;
        QByteArray bytes;
        bool missing;
    } servers[] = {{"no vbmail.ini", {}, true},
                   {"POP3 set", pop3, false},
                   {"POP3 empty", pop3Empty, true},
                   {"POP3 blanks", pop3Blanks, false}};
    const struct {
        const char *name;
        QByteArray bytes;
        bool missing;
    } accounts[] = {{"account complete", CompleteAccount, false},
                    {"password missing", partial, true},
                    {"no account file", {}, true}};
    for (const auto &server : servers) {
        for (const auto &account : accounts) {
            QTest::addRow("%s, %s", server.name, account.name)
                << server.bytes << account.bytes << server.missing << account.missing;
        }
    }
}

void StartupTest::dialogsOpenForMissingValues()
{
    QFETCH(QByteArray, vbmail);
    QFETCH(QByteArray, account);
    QFETCH(bool, optionShown);
    QFETCH(bool, idPassShown);

    TestFolder folder;
    if (!vbmail.isEmpty())
        folder.write(folder.currentFolder() + QStringLiteral("/vbmail.ini"), vbmail);
    if (!account.isEmpty())
        folder.write(folder.dataFile(QStringLiteral("iniIdPass.ini")), account);

    Program program;
    program.start();
    Forms &forms = program.forms;

    QVERIFY(forms.mainForm().isVisible());
    QVERIFY(forms.mainForm().windowFlags() & Qt::WindowStaysOnTopHint);
    QCOMPARE(forms.isOptionFormLoaded(), optionShown);
    if (optionShown) {
        QVERIFY(forms.optionForm().isVisible());
        QVERIFY(forms.optionForm().windowFlags() & Qt::WindowStaysOnTopHint);
    }
    QVERIFY(forms.isIdPassFormLoaded()); // loaded hidden to look at its boxes
    QCOMPARE(forms.idPassForm().isVisible(), idPassShown);
    QVERIFY(!(forms.idPassForm().windowFlags() & Qt::WindowStaysOnTopHint));
    QVERIFY(forms.isSetFormLoaded());
    QVERIFY(!forms.setForm().isVisible());
    QVERIFY(!forms.isShinMsgFormLoaded());
    // Neither dialog is modal: the main window stays usable.
    QVERIFY(!forms.idPassForm().isModal());
    QVERIFY(!QApplication::activeModalWidget());
}

void StartupTest::checkBoxKeysOutsideZeroAndOne()
{
    TestFolder folder;
    folder.write(folder.dataFile(QStringLiteral("ini.ini")), "[EXEINI]\r\nNUMBER=5\r\nNUMBER3=7\r\n");
    folder.write(folder.dataFile(QStringLiteral("iniIdPass.ini")), CompleteAccount);
    Program program;
    program.start();
    QCOMPARE(program.forms.setForm().check1Value(), 0);
    QVERIFY(!program.forms.mainForm().check2());

    TestFolder other;
    other.write(other.dataFile(QStringLiteral("ini.ini")), "[EXEINI]\r\nNUMBER=1\r\nNUMBER3=1\r\n");
    Program second;
    second.start();
    QCOMPARE(second.forms.setForm().check1Value(), 1);
    QVERIFY(second.forms.mainForm().check2());
}

void StartupTest::intervalFromTheFile_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<QString>("text2");
    QTest::addColumn<QString>("label");
    QTest::addColumn<bool>("timerRunning");
    QTest::addRow("5") << QByteArray("5") << "5"
                       << "ON" << true;
    QTest::addRow("word") << QByteArray("abc") << "0"
                          << "OFF" << false;
    QTest::addRow("missing") << QByteArray() << "0"
                             << "OFF" << false;
    // A negative interval changes nothing: the label keeps its design caption.
    QTest::addRow("-3") << QByteArray("-3") << "-3"
                        << "ON" << false;
}

void StartupTest::intervalFromTheFile()
{
    QFETCH(QByteArray, stored);
    QFETCH(QString, text2);
    QFETCH(QString, label);
    QFETCH(bool, timerRunning);

    TestFolder folder;
    if (!stored.isEmpty())
        folder.write(folder.dataFile(QStringLiteral("ini.ini")), "[EXEINI]\r\nNUMBER2=" + stored + "\r\n");
    Program program;
    program.start();
    MainForm &main = program.forms.mainForm();
    QCOMPARE(program.forms.setForm().text2(), text2);
    QCOMPARE(program.control<QLabel>(main, "Label2_1")->text(), label);
    auto *timer3 = program.control<QTimer>(main, "Timer3");
    QCOMPARE(timer3->isActive(), timerRunning);
    QCOMPARE(timer3->interval(), timerRunning ? 1000 : 0);
    QCOMPARE(program.control<QCheckBox>(main, "Check3")->isChecked(), timerRunning);
    if (timerRunning)
        QCOMPARE(program.control<QLineEdit>(main, "Text5")->text(), text2);
    // The design timers run from the start.
    QCOMPARE(program.control<QTimer>(main, "Timer1")->interval(), 100);
    QCOMPARE(program.control<QTimer>(main, "Timer4")->interval(), 20);
    QVERIFY(program.control<QTimer>(main, "Timer1")->isActive());
}

void StartupTest::mailProgramFromTheFile_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("text7");
    QTest::addRow("missing") << QByteArray() << "未設定";
    QTest::addRow("empty") << QByteArray("NAME=\r\n") << "未設定";
    QTest::addRow("japanese path") << QByteArray("NAME=/opt/\x83\x81\x81\x5B\x83\x8B/mailer\r\n")
                                   << "/opt/メール/mailer";
}

void StartupTest::mailProgramFromTheFile()
{
    QFETCH(QByteArray, line);
    QFETCH(QString, text7);
    TestFolder folder;
    folder.write(folder.dataFile(QStringLiteral("ini.ini")), "[EXEINI]\r\n" + line);
    Program program;
    program.start();
    QCOMPARE(program.forms.mainForm().text7(), text7);
}

void StartupTest::libraryIsInitialisedOnce()
{
    TestFolder folder;
    Program program;
    program.start();
    QCOMPARE(program.log, (QStringList{"InitializeWinSock", "SetOption 1 8192"}));
}

void StartupTest::serverSettingsComeFromTheCurrentDirectory()
{
    TestFolder folder;
    // A vbmail.ini beside the program is not the one in the current directory.
    folder.write(QStringLiteral("vbmail.ini"), "POP3=pop.example.test\r\nAPOP=1\r\n");
    Program program;
    program.start();
    QVERIFY(program.state.server.pop3.isEmpty());
    QVERIFY(program.forms.isOptionFormLoaded());

    TestFolder other;
    other.write(other.currentFolder() + QStringLiteral("/vbmail.ini"), "POP3=pop.example.test\r\nAPOP=1\r\n");
    Program second;
    second.start();
    QCOMPARE(second.state.server.pop3, QStringLiteral("pop.example.test"));
    QCOMPARE(second.state.server.apop, qint16(1));
    QVERIFY(!second.forms.isOptionFormLoaded());
}

QTEST_MAIN(StartupTest)
#include "StartupTest.moc"
