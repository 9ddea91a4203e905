#include "Forms.h"
#include "GeneralDate.h"
#include "IdPassForm.h"
#include "MainForm.h"
#include "NMailLibrary.h"
#include "NoticePage.h"
#include "OptionForm.h"
#include "ProgramFont.h"
#include "ScriptedPop3Server.h"
#include "SetForm.h"
#include "ShinMsgForm.h"
#include "TestProgram.h"
#include "TrayControl.h"

#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>

#include <sys/stat.h>

namespace {

using Program = TestProgram;

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
    QTimer::singleShot(0, [work] {
        work();
        QTimer::singleShot(50, [] { QCoreApplication::exit(7); });
    });
    return QApplication::exec() == 7;
}

// Runs see for every event that reaches a watched object.
class EventHook final : public QObject {
public:
    explicit EventHook(std::function<void(QObject *, QEvent *)> see) : m_see(std::move(see)) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        m_see(watched, event);
        return false;
    }

private:
    std::function<void(QObject *, QEvent *)> m_see;
};

// Delivers a tick of a main window timer as its own timeout would.
void tick(MainForm &main, const char *timer)
{
    QTimer *target = main.findChild<QTimer *>(timer);
    QTimerEvent event(target->timerId());
    QCoreApplication::sendEvent(target, &event);
}

} // namespace

class tst_Forms final : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        ProgramFont::apply();
        ::umask(022); // only the program can make a new account file private
        // A stand-in notice helper beside the program: logs its start and each line, answers "shown" to a count, dies
        // on the count 5, is closed by the user as the count 7 comes (once), and ends with its input.
        QFile helper(QCoreApplication::applicationDirPath() + "/poronica-notice");
        QVERIFY(helper.open(QIODevice::WriteOnly));
        helper.write("#!/bin/sh\n"
                     "echo start >>\"$1/notice.log\"\n"
                     "while read line; do\n"
                     "  echo \"$line\" >>\"$1/notice.log\"\n"
                     "  [ \"$line\" != 'count 5' ] || kill -9 $$\n"
                     "  if [ \"$line\" = 'count 7' ] && mkdir \"$1/closed once\" 2>/dev/null; then exit 0; fi\n"
                     "  case \"$line\" in count*) echo shown ;; esac\n"
                     "done\n");
        QVERIFY(helper.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    }

    // What the start makes of settings files with empty and odd values. (Ordinary values show in the pictures of
    // the windows.)
    void start()
    {
        Program program;
        program.write("vbmail.ini", "POP3=\r\n");
        program.write("../vbmail.ini", "POP3=pop.example.test\r\n"); // not the current directory's
        program.write("iniIdPass.ini", "[EXEINI]\r\nNAME=alice\r\n");
        program.write("ini.ini", "[EXEINI]\r\nNUMBER=5\r\nNUMBER2=5\r\nNAME=\r\nNUMBER3=7\r\n");
        program.main().load();

        const SetForm &settings = program.forms.setForm();
        const IdPassForm &idPass = program.forms.idPassForm();
        QVERIFY(program.forms.isLoaded<OptionForm>()); // no server: "サーバー設定" opens
        QVERIFY(idPass.isVisible());                   // no password: "ID,PASS" opens
        QCOMPARE(idPass.idText(), "alice");
        QCOMPARE(settings.check1Value(), 0);      // 5 is no check box state
        QCOMPARE(program.main().check2(), false); // nor is 7
        QCOMPARE(settings.text2(), "5");
        QVERIFY(program.main().findChild<QTimer *>("Timer3")->isActive()); // the seconds count from the start
        QCOMPARE(program.main().text7(), "未設定");
        QVERIFY(program.main().isVisible());
        QVERIFY(!QApplication::activeModalWidget()); // no dialog holds up the start
        QCOMPARE(program.log, (QStringList{"InitializeWinSock", "SetOption 1 8192"}));
    }

    // A mail program that cannot start is told of in a box that waits for no one, and the check goes on to its
    // hang-up.
    void mailProgramThatCannotStart()
    {
        Program program;
        program.prepareChecks();
        program.main().setText7("/nonexistent/mailer");
        program.main().findChild<QAbstractButton *>("Check2")->setChecked(true);
        program.forms.setForm().setCheck1(true);
        program.check(2);
        QCOMPARE(program.log.last(), "HangUp");
        auto *box = program.main().findChild<QMessageBox *>();
        QVERIFY(box);
        QVERIFY(!box->isModal());
        QVERIFY(box->text().contains("起動できませんでした。\n/nonexistent/mailer"));
    }

    // "タスク" sends the window to the tray; without a notification area it is minimised, so it stays reachable.
    // There, closing the other windows does not end the program.
    void toTheTray()
    {
        Program program;
        MainForm &main = program.main();
        main.load(); // no settings yet: "サーバー設定" and "ID,PASS" open
        main.findChild<QPushButton *>("Command9")->click();
        main.findChild<QPushButton *>("Command9")->click();
        QVERIFY(shown<SetForm>()); // one "設定" window, however often asked for

        main.findChild<QPushButton *>("Command1")->click();
        if (TrayControl::available())
            QVERIFY(!main.isVisible());
        else
            QVERIFY(main.isMinimized());
        main.hide();
        QVERIFY(runsOn([&program] {
            program.forms.optionForm().close();
            program.forms.idPassForm().close();
            program.forms.setForm().close();
        }));
    }

    // The counts of later checks go to the same notice helper; a double-click on "ON" or "分" shows its window and
    // leaves the count the user may have typed there alone.
    void noticeHelper()
    {
        Program program;
        program.prepareChecks();
        program.check(3);
        const ShinMsgProxy *notice = &program.forms.shinMsgForm();
        QTest::mouseDClick(program.main().findChild<QLabel *>("Label2_1"), Qt::LeftButton);
        QTest::mouseDClick(program.main().findChild<QLabel *>("Label2_0"), Qt::LeftButton);
        program.check(4);
        QTRY_COMPARE(program.folder.read("notice.log"), "start\ncount 3\nshow\nshow\nshow\ncount 4\nshow\n");
        QCOMPARE(&program.forms.shinMsgForm(), notice);
    }

    // A count that comes as the user closes the notice is not lost: the notice opens again with it.
    void noticeClosedAsACountComes()
    {
        Program program;
        program.prepareChecks();
        program.check(7); // the stand-in helper ends, as closed by the user, when the count 7 comes
        QTRY_COMPARE(program.folder.read("notice.log"), "start\ncount 7\nstart\ncount 7\n");
        QVERIFY(program.forms.isLoaded<ShinMsgProxy>());
    }

    // When the notice helper dies, the program shows the notice itself, with the count, and the next count too.
    void noticeHelperDies()
    {
        Program program;
        program.prepareChecks();
        program.check(5); // the stand-in helper dies on the count 5
        QTRY_VERIFY(shown<ShinMsgForm>());
        QCOMPARE(shown<ShinMsgForm>()->text1(), "5");
        program.check(6);
        QCOMPARE(shown<ShinMsgForm>()->text1(), "6");
        QVERIFY(runsOn([] { shown<ShinMsgForm>()->close(); }));
        QVERIFY(!program.forms.isLoaded<ShinMsgProxy>());
    }

    // A press of "メ｜ルチェック" while a check waits runs one more check once it is over, never one beside it.
    void pressDuringCheck()
    {
        Program program;
        program.prepareChecks();
        MainForm &main = program.main();
        QTimer::singleShot(0, &main, [&main] { // runs once the check waits
            const auto *button = main.findChild<QPushButton *>("Command8");
            QTest::mouseClick(main.windowHandle(), Qt::LeftButton, {}, button->mapTo(&main, button->rect().center()));
        });
        main.CheckMail();
        const QStringList oneCheck{"Connect pop.example.test", "Authenticate 1 alice secret 0", "Close 1"};
        QCOMPARE(program.log.mid(2), oneCheck + oneCheck);
    }

    // The tray menu: "メイン画面を表示" brings the window back; "終了" saves the main window's two settings, nothing
    // of another window's, ends the mail library and the program.
    void trayMenu()
    {
        Program program;
        MainForm &main = program.main();
        main.load();
        main.setText7("/usr/bin/mailer");
        program.forms.setForm().setCheck1(true); // not saved: the dialog is not closed
        const QList<QAction *> menu = main.findChild<QWidget *>("mnuPopup")->actions(); // its texts: tray_sni.sh

        main.findChild<QPushButton *>("Command1")->click();
        menu[0]->trigger();
        QTRY_VERIFY(main.isVisible() && !main.isMinimized());
        QVERIFY(!runsOn([&menu] { menu[2]->trigger(); }));
        QCOMPARE(program.log.last(), "EndWinSock");
        QCOMPARE(program.read("ini.ini"), "[EXEINI]\r\nNUMBER2=0\r\nNAME=/usr/bin/mailer\r\nNUMBER3=0\r\n");
    }

    // While a check waits on a silent server the window paints and no timer handler runs; "終了" then ends the
    // program at once: the check stops, its connection is closed and the main window's settings are written.
    void endDuringStalledCheck()
    {
        ScriptedPop3Server server({{"", "<stall>"}});
        TestFolder folder;
        QStringList log;
        ProgramState state;
        NMailLibrary library;
        FakeDialUp dialUp{log};
        Forms forms{state, library, dialUp};
        bool ended = false;
        forms.setEndProgram([&ended] { ended = true; });
        MainForm &main = forms.mainForm();
        main.load();
        state.server.pop3 = QStringLiteral("127.0.0.1:%1").arg(server.port());
        folder.write(folder.dataFile("iniIdPass.ini"), "[EXEINI]\r\nNAME=alice\r\nNAME2=secret\r\n");
        main.setText7("/usr/bin/mailer");
        forms.setForm().setText2("1");
        const auto *seconds = main.findChild<QLineEdit *>("Text4");
        const QString secondsBefore = seconds->text();
        const auto *caption = main.findChild<QLabel *>("Label1");
        const int captionLeftBefore = caption->x();

        bool paintedWhileWaiting = false;
        EventHook paints([&](QObject *watched, QEvent *event) {
            const auto *widget = qobject_cast<QWidget *>(watched);
            if (paintedWhileWaiting || event->type() != QEvent::Paint || !widget || widget->window() != &main)
                return;
            paintedWhileWaiting = true;
            main.findChild<QMenu *>("mnuPopup")->actions().at(2)->trigger(); // "終了"
        });
        qApp->installEventFilter(&paints);
        QTimer::singleShot(0, &main, [&main] { // runs once the check waits
            tick(main, "Timer3");
            tick(main, "Timer4");
            main.update();
        });
        QElapsedTimer clock;
        clock.start();
        main.CheckMail();
        const qint64 checkMs = clock.elapsed();

        QVERIFY(ended);
        QVERIFY2(checkMs < 2000, qPrintable(QString::number(checkMs)));
        QVERIFY(paintedWhileWaiting);
        QCOMPARE(seconds->text(), secondsBefore);
        QCOMPARE(caption->x(), captionLeftBefore);
        QCOMPARE(server.commands(), QByteArray()); // returns once the connection is closed
        QVERIFY(folder.read(folder.dataFile("ini.ini")).contains("NAME=/usr/bin/mailer"));
    }

    void dialog_data()
    {
        // Steps: "locked" (no vbmail.ini can be written), the form, "Box=text" typed over a box, a key into that box,
        // a click, "close".
        QTest::addColumn<QString>("steps");
        QTest::addColumn<bool>("open");     // the window afterwards
        QTest::addColumn<QString>("inUse"); // the account, the interval (Timer3 on or off, "stale": ../ini.ini kept),
                                            // or the server that the program uses
        QTest::addColumn<QString>("file");  // the form's file, line ends as blanks; none for the account before
        QTest::addColumn<bool>("told");     // a box told of the file that could not be saved
        const auto row = [](const char *name, const QString &steps, bool open, const QString &inUse,
                            const QString &file,
                            bool told = false) { QTest::newRow(name) << steps << open << inUse << file << told; };
        const QString account = "IdPassForm IdText=bob PassText=pw Check1 ";
        const QString saved = "[EXEINI] NAME=bob NAME2=pw NAME3=1";
        row("ID,PASS OK", account + "OKCommand", false, "bob pw", saved);
        row("ID,PASS OK, not saved", "IdPassForm IdText=bob PassText=pw OKCommand", false, "bob pw",
            "[EXEINI] NAME3=0");
        row("ID,PASS Enter", account + "Enter", false, "bob pw", saved);
        row("ID,PASS Escape", account + "Escape", false, " ", "");
        const QString server = "OptionForm Pop3Text=pop.new.test ApopCheck MailText=a@b.test ";
        row("server OK", server + "OKCommand", false, "pop.new.test", "SMTP= POP3=pop.new.test MAIL=a@b.test APOP=1");
        row("server OK, locked", "locked " + server + "OKCommand", false, "pop.new.test", "", true);
        row("server Return", server + "Return", true, "", "POP3=old EXTRA=1");
        row("server Escape", server + "Escape", false, "", "POP3=old EXTRA=1");
        row("settings close box", "SetForm Check1 Text2=10 close", false, "10 on", "[EXEINI] NUMBER=1 NUMBER2=10");
        row("settings Escape", "SetForm Check1 Text2=10 Escape", true, "10 on stale", "[EXEINI] NUMBER=0 NUMBER2=3");
        row("settings Enter", "SetForm Check1 Text2=10 Enter", true, "10 on stale", "[EXEINI] NUMBER=0 NUMBER2=3");
        // Typed, the interval takes effect at once; 0 (a lone "-" too) is also saved at once, a negative not at all.
        row("-3", "SetForm Text2=-3", true, "-3 off", "[EXEINI] NUMBER=0 NUMBER2=-");
        row("abc", "SetForm Text2=abc", true, "abc off", "[EXEINI] NUMBER=0 NUMBER2=abc");
        row("emptied", "SetForm Text2=\b", true, "0 off", "[EXEINI] NUMBER=0 NUMBER2=0");
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
        QTEST(window && window->isVisible(), "open");
        QTEST(QStringList({account, interval, program.state.server.pop3})[form], "inUse");
        QTEST(QString::fromUtf8(program.read(file)).replace("\r\n", " ").trimmed(), "file");
        QTEST(told.contains("vbmail.ini"), "told");
    }

    // The tray tip's date ("General Date": the date alone at midnight), and the notice page in any program folder.
    void formats()
    {
        const QLocale japanese(QLocale::Japanese, QLocale::Japan);
        const QLocale english(QLocale::English, QLocale::UnitedStates);
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
