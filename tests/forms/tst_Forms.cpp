#include "FakeDialUp.h"
#include "FakeMailLibrary.h"
#include "Forms.h"
#include "GeneralDate.h"
#include "IdPassForm.h"
#include "MainForm.h"
#include "NoticePage.h"
#include "OptionForm.h"
#include "ProgramFont.h"
#include "SetForm.h"
#include "ShinMsgForm.h"
#include "TestFolder.h"
#include "TrayControl.h"

#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>

#include <sys/stat.h>

namespace {

// The program as main.cpp wires it, in a fresh program folder, over a recording mail library and dial-up layer.
// Its end leaves the event loop that runs (see runsOn) and does nothing outside one.
struct Program {
    TestFolder folder;
    QStringList log;
    ProgramState state;
    FakeMailLibrary library{log};
    FakeDialUp dialUp{log};
    Forms forms{state, library, dialUp};
    MainForm &main() { return forms.mainForm(); }
    // vbmail.ini lies in the current directory, "../ini.ini" in the program folder, the rest in the data folder.
    QString path(const QString &n) { return n == u"vbmail.ini" ? QDir::currentPath() + '/' + n : folder.dataFile(n); }
    void write(const QString &name, const QByteArray &bytes) { folder.write(path(name), bytes); }
    QByteArray read(const QString &name) { return folder.read(path(name)); }
};

// The one visible top-level window of a kind; null when there is none, or more than one.
template <class T>
T *shown()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QList<T *> found;
    for (QWidget *widget : QApplication::topLevelWidgets())
        found << (widget->isVisible() ? qobject_cast<T *>(widget) : nullptr);
    found.removeAll(nullptr);
    return found.size() == 1 ? found.first() : nullptr;
}

// Runs the event loop while work closes windows: true when the loop ran on until the test ended it, false when
// the program ended it.
bool runsOn(const std::function<void()> &work)
{
    QTimer::singleShot(0, [work] { work(), QTimer::singleShot(50, [] { QCoreApplication::exit(7); }); });
    return QApplication::exec() == 7;
}

} // namespace

class tst_Forms final : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        ProgramFont::apply();
        ::umask(022); // only the program can make a new account file private
        // A stand-in notice helper beside the program: logs its start and each count, dies on 5, ends with its input.
        QFile helper(QCoreApplication::applicationDirPath() + "/poronica-notice");
        QVERIFY(helper.open(QIODevice::WriteOnly));
        helper.write("#!/bin/sh\necho start >>\"$1/notice.log\"\n"
                     "while read n; do echo \"$n\" >>\"$1/notice.log\"; [ \"$n\" != 5 ] || kill -9 $$; done\n");
        QVERIFY(helper.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    }

    void start_data()
    {
        QTest::addColumn<QByteArray>("vbmail.ini");
        QTest::addColumn<QByteArray>("iniIdPass.ini");
        QTest::addColumn<QByteArray>("ini.ini");
        QTest::addColumn<QString>("seen"); // dialogs shown, Check1, Check2, Text2, Timer3, Text7, ID and password
        // An ID is read as 255 bytes at most, never half a character.
        const QByteArray longId = "[EXEINI]\r\nNAME=" + QByteArray("\x82\xa0").repeated(200) + "\r\nNAME2=secret\r\n";
        QTest::addRow("complete")
            << QByteArray("POP3=pop.example.test\r\n") << longId
            << QByteArray("[EXEINI]\r\nNUMBER=1\r\nNUMBER2=5\r\nNAME=/\x83\x81\x81\x5B\x83\x8B\r\nNUMBER3=1\r\n")
            << "||1|1|5|on|/メール|" + QString(127, u'あ') + "|******";
        QTest::addRow("empty values, boxes 5 and 7")
            << QByteArray("POP3=\r\n") << QByteArray("[EXEINI]\r\nNAME=alice\r\n")
            << QByteArray("[EXEINI]\r\nNUMBER=5\r\nNUMBER2=abc\r\nNAME=\r\nNUMBER3=7\r\n")
            << "サーバー設定|ID,PASS|0|0|0|off|未設定|alice|";
    }

    void start()
    {
        Program program;
        for (const char *file : {"vbmail.ini", "iniIdPass.ini", "ini.ini"}) // the columns of that name
            program.write(file, *static_cast<QByteArray *>(QTest::qData(file, qMetaTypeId<QByteArray>())));
        program.write("../vbmail.ini", "POP3=pop.example.test\r\n"); // not the current directory's
        program.main().load();

        const SetForm &settings = program.forms.setForm();
        const IdPassForm &idPass = program.forms.idPassForm();
        QStringList seen{program.forms.isLoaded<OptionForm>() ? "サーバー設定" : "",
                         idPass.isVisible() ? "ID,PASS" : ""};
        seen << QString::number(settings.check1Value()) << QString::number(program.main().check2()) << settings.text2()
             << (program.main().findChild<QTimer *>("Timer3")->isActive() ? "on" : "off") << program.main().text7()
             << idPass.idText() << idPass.findChild<QLineEdit *>("PassText")->displayText();
        QTEST(seen.join(u'|'), "seen");
        QVERIFY(program.main().isVisible() && !QApplication::activeModalWidget()); // no dialog holds up the start
        QCOMPARE(program.log, (QStringList{"InitializeWinSock", "SetOption 1 8192"}));
    }

    void trayDay()
    {
        Program program;
        MainForm &main = program.main();
        main.load(); // no settings yet: "サーバー設定" and "ID,PASS" open
        program.write("iniIdPass.ini", "[EXEINI]\r\nNAME=alice\r\nNAME2=secret\r\n");
        program.state.server.pop3 = "pop.example.test";
        const auto check = [&program, &main](int count, bool timed) { // timed: in the ten polls of a due second
            program.library.authenticateResult = count;
            main.findChild<QLineEdit *>("Text4")->setText(timed ? "60" : "1");
            main.findChild<QLineEdit *>("Text1")->setText("0");
            main.timer3Tick();
            for (int poll = 0; poll < 10; ++poll)
                main.timer1Tick();
            if (!timed)
                main.findChild<QPushButton *>("Command8")->click();
        };
        main.findChild<QPushButton *>("Command9")->click();
        main.findChild<QPushButton *>("Command9")->click(); // one "設定" window, however often asked for
        QVERIFY(shown<SetForm>());

        // A mail program that cannot start is told of, and the check goes on to its end without waiting.
        main.setText7("/nonexistent/mailer");
        main.findChild<QAbstractButton *>("Check2")->setChecked(true);
        program.forms.setForm().setCheck1(true);
        check(2, false);
        QCOMPARE(program.log.last(), "HangUp");
        auto *box = main.findChild<QMessageBox *>();
        QVERIFY(box && !box->isModal() && box->text().contains("起動できませんでした。\n/nonexistent/mailer"));
        box->close();
        main.findChild<QAbstractButton *>("Check2")->setChecked(false);

        main.findChild<QPushButton *>("Command1")->click(); // without a notification area it stays reachable
        QVERIFY(TrayControl::available() ? !main.isVisible() : main.isMinimized());
        main.hide(); // in the tray, closing the other windows does not end the program
        QVERIFY(runsOn([&program] {
            program.forms.optionForm().close();
            program.forms.idPassForm().close();
            program.forms.setForm().close();
        }));
        program.forms.setForm().setText2("1");
        check(3, true); // one check for the ten polls
        const auto *notice = &program.forms.shinMsgForm();
        check(4, false); // while the window is open, the count goes to the same helper
        QTRY_COMPARE(program.folder.read("notice.log"), "start\n3\n3\n4\n4\n");
        check(5, true); // the helper dies: the program shows the window itself, with the count
        QTRY_VERIFY(shown<ShinMsgForm>() && shown<ShinMsgForm>()->text1() == "5");
        check(6, false);
        QCOMPARE(shown<ShinMsgForm>()->text1(), "6");
        QCOMPARE(&program.forms.shinMsgForm(), notice);
        QVERIFY(runsOn([] { shown<ShinMsgForm>()->close(); }));
        QVERIFY(!program.forms.isLoaded<ShinMsgProxy>());

        const QList<QAction *> menu = main.findChild<QWidget *>("mnuPopup")->actions();
        QCOMPARE(menu[0]->text() + (menu[1]->isSeparator() ? "-" : "?") + menu[2]->text(), "メイン画面を表示-終了");
        menu[0]->trigger();
        QTRY_VERIFY(main.isVisible() && !main.isMinimized());
        // The end saves the main window's two settings, nothing of another window's, and ends the mail library.
        program.forms.setForm().setCheck1(false);
        QVERIFY(!runsOn([&menu] { menu[2]->trigger(); }));
        QCOMPARE(program.log.last(), "EndWinSock");
        QCOMPARE(program.read("ini.ini"),
                 "[EXEINI]\r\nNUMBER2=0\r\nNUMBER=1\r\nNAME=/nonexistent/mailer\r\nNUMBER3=0\r\n");
    }

    void dialog_data()
    {
        // Steps: "locked" (no vbmail.ini can be written), the form, "Box=text" typed over a box, a key into that box,
        // a click, "close". After: the window, what is in use, the form's file (none for the account before), told.
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("after");
        const auto row = [](const char *name, const QString &s, const QString &a) { QTest::newRow(name) << s << a; };
        const QString account = "IdPassForm IdText=bob PassText=pw Check1 ";
        const QString saved = "|bob pw|[EXEINI] NAME=bob NAME2=pw NAME3=1|";
        row("ID,PASS OK", account + "OKCommand", "closed" + saved);
        row("ID,PASS OK, not saved", "IdPassForm IdText=bob PassText=pw OKCommand", "closed|bob pw|[EXEINI] NAME3=0|");
        row("ID,PASS Enter", account + "Enter", "closed" + saved);
        row("ID,PASS Escape", account + "Escape", "closed| ||");
        const QString server = "OptionForm Pop3Text=pop.new.test ApopCheck MailText=a@b.test ";
        row("server OK", server + "OKCommand", "closed|pop.new.test|SMTP= POP3=pop.new.test MAIL=a@b.test APOP=1|");
        row("server OK, locked", "locked " + server + "OKCommand", "closed|pop.new.test||told");
        row("server Return", server + "Return", "open||POP3=old EXTRA=1|");
        row("server Escape", server + "Escape", "closed||POP3=old EXTRA=1|");
        row("settings close box", "SetForm Check1 Text2=10 close", "closed|10 on|[EXEINI] NUMBER=1 NUMBER2=10|");
        row("settings Escape", "SetForm Check1 Text2=10 Escape", "open|10 on stale|[EXEINI] NUMBER=0 NUMBER2=3|");
        row("settings Enter", "SetForm Check1 Text2=10 Enter", "open|10 on stale|[EXEINI] NUMBER=0 NUMBER2=3|");
        // Typed, the interval takes effect at once; 0 (a lone "-" too) is also saved at once, a negative not at all.
        row("-3", "SetForm Text2=-3", "open|-3 off|[EXEINI] NUMBER=0 NUMBER2=-|");
        row("abc", "SetForm Text2=abc", "open|abc off|[EXEINI] NUMBER=0 NUMBER2=abc|");
        row("emptied", "SetForm Text2=\b", "open|0 off|[EXEINI] NUMBER=0 NUMBER2=0|");
    }

    void dialog()
    {
        QFETCH(QString, steps);
        Program program;
        program.write("vbmail.ini", "POP3=old\r\nEXTRA=1\r\n");
        program.write("ini.ini", "[EXEINI]\r\nNUMBER=0\r\nNUMBER2=3\r\n");
        program.write("../ini.ini", "[EXEINI]\r\nNAME=stale\r\n"); // whenever the interval is saved, this goes
        QStringList step = steps.split(u' ');
        QString told;
        if (step.first() == u"locked") { // a folder in the file's place
            step.removeFirst();
            program.write("vbmail.ini", {});
            QVERIFY(QDir().mkdir(program.path("vbmail.ini")));
            QTimer::singleShot(0, &program.forms, [&told] { // answers the box that the failed save brings up
                told = QApplication::activeModalWidget()->property("text").toString();
                QApplication::activeModalWidget()->close();
            });
        }
        const int form = QStringList{"IdPassForm", "SetForm", "OptionForm"}.indexOf(step.takeFirst());
        Forms &forms = program.forms;
        const QPointer<Form> window = QList<Form *>{&forms.idPassForm(), &forms.setForm(), &forms.optionForm()}[form];
        window->showModeless();
        QLineEdit *box = nullptr;
        for (const QString &next : step) {
            QWidget *control = window->findChild<QWidget *>(next.section(u'=', 0, 0));
            if (next == u"close") {
                window->close();
            } else if (auto *button = qobject_cast<QAbstractButton *>(control)) {
                QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(4, button->height() / 2));
            } else if (!control) {
                QTest::keyClick(box, Qt::Key(QKeySequence(next)[0].key()));
            } else {
                QTest::keyClick(box = qobject_cast<QLineEdit *>(control), Qt::Key_A, Qt::ControlModifier);
                QTest::keyClicks(box, next.section(u'=', 1));
            }
        }

        const QString file = QStringList{"iniIdPass.ini", "ini.ini", "vbmail.ini"}[form];
        if (form == 0 && QFile::exists(program.path(file)))
            QCOMPARE(TestFolder::mode(program.path(file)), 0600); // it holds a password
        const QString account = program.state.account.id + u' ' + program.state.account.password;
        const QString interval = forms.setForm().text2() +
                                 (program.main().findChild<QTimer *>("Timer3")->isActive() ? " on" : " off") +
                                 (program.read("../ini.ini").contains("NAME") ? " stale" : "");
        const QStringList after{window && window->isVisible() ? "open" : "closed",
                                QStringList{account, interval, program.state.server.pop3}[form],
                                QString::fromUtf8(program.read(file)).replace("\r\n", " ").trimmed(),
                                told.contains("vbmail.ini") ? "told" : ""};
        QTEST(after.join(u'|'), "after");
    }

    // The tray tip's date ("General Date": the date alone at midnight), and the notice page in any program folder.
    void formats()
    {
        const QLocale japanese(QLocale::Japanese, QLocale::Japan), english(QLocale::English, QLocale::UnitedStates);
        const QDate day(2003, 3, 21);
        QCOMPARE(GeneralDate::format({day, QTime(9, 5, 7)}, japanese), "2003/03/21 9:05:07");
        QCOMPARE(GeneralDate::format({day, QTime(0, 0)}, japanese), "2003/03/21");
        QCOMPARE(GeneralDate::format({day, QTime(0, 0, 1)}, japanese), "2003/03/21 0:00:01");
        QCOMPARE(GeneralDate::format({day, QTime(21, 5, 7)}, english), "3/21/03 9:05:07 PM");
        QCOMPARE(NoticePage::address("/").toString(), "file:///画像データ/tokonoma.html");
        QCOMPARE(NoticePage::address("/opt/my tools").toLocalFile(), "/opt/my tools/画像データ/tokonoma.html");
    }
};

QTEST_MAIN(tst_Forms)
#include "tst_Forms.moc"
