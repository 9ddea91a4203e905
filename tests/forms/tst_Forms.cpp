#include "FakeDialUp.h"
#include "FakeMailLibrary.h"
#include "Forms.h"
#include "IdPassForm.h"
#include "MainForm.h"
#include "OptionForm.h"
#include "ProgramFont.h"
#include "SetForm.h"
#include "ShinMsgForm.h"
#include "ShinMsgProxy.h"
#include "TestFolder.h"
#include "TrayControl.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>

#include <sys/stat.h>

namespace {

const QByteArray IdPass = "[EXEINI]\r\nNAME=alice\r\nNAME2=secret\r\n";
const QByteArray OldServer = "POP3=pop.old.test\r\nEXTRA=1\r\n";
const QByteArray OldCheck = "[EXEINI]\r\nNUMBER=0\r\nNUMBER2=3\r\n";
const QByteArray Stale = "[EXEINI]\r\nNAME=stale\r\nKEEP=1\r\n";

template <class T = QWidget>
T *at(const QObject &parent, const char *name)
{
    return parent.findChild<T *>(QLatin1String(name));
}

// The program as main.cpp wires it, in a fresh program folder, over a recording mail library and dial-up layer.
// Its end is counted instead of leaving the event loop.
struct Program {
    TestFolder folder;
    QStringList log;
    ProgramState state;
    FakeMailLibrary library{log};
    FakeDialUp dialUp{log};
    Forms forms{state, library, dialUp};
    int ended = 0;

    Program()
    {
        forms.setEndProgram([this] { ++ended; });
    }
    MainForm &main() { return forms.mainForm(); }
    void click(const char *button) { at<QPushButton>(main(), button)->click(); }
    // vbmail.ini lies in the current directory, "../ini.ini" in the program folder, the rest in the data folder.
    QString path(const QString &name) const
    {
        return name == u"vbmail.ini" ? folder.currentFolder() + u'/' + name : folder.dataFile(name);
    }
    void write(const QString &name, const QByteArray &bytes) const { folder.write(path(name), bytes); }
    QByteArray read(const QString &name) const { return folder.read(path(name)); }
};

// The one visible top-level window of a kind; null when there is none, or more than one.
template <class T>
T *shown()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    T *found = nullptr;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *window = qobject_cast<T *>(widget); window && window->isVisible())
            found = found ? nullptr : window;
    }
    return found;
}

// Runs the event loop while work closes windows: true when the loop ran on until the test ended it.
bool runsOn(const std::function<void()> &work)
{
    QTimer::singleShot(0, [work] {
        work();
        QTimer::singleShot(50, [] { QCoreApplication::exit(7); });
    });
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
        // The notice helper beside the program: a stand-in that logs its start and every count into the program
        // folder, dies on the count 5 and ends, as on a closed window, when its input ends.
        QFile helper(QCoreApplication::applicationDirPath() + "/poronica-notice");
        QVERIFY(helper.open(QIODevice::WriteOnly));
        helper.write("#!/bin/sh\necho start >>\"$1/notice.log\"\nwhile read n; do\n  echo \"$n\" >>\"$1/notice.log\"\n"
                     "  [ \"$n\" = 5 ] && kill -9 $$\ndone\n");
        helper.close();
        QVERIFY(helper.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    }

    void start_data()
    {
        QTest::addColumn<QByteArray>("vbmail");
        QTest::addColumn<QByteArray>("account");
        QTest::addColumn<QByteArray>("check");
        QTest::addColumn<QString>("seen"); // dialogs shown | Check1 | Check2 | Text2 | Timer3 | Text7
        QTest::addRow("no files") << QByteArray() << QByteArray() << QByteArray()
                                  << "サーバー設定|ID,PASS|0|0|0|off|未設定";
        QTest::addRow("complete") << QByteArray("POP3=pop.example.test\r\n") << IdPass
                                  << QByteArray(
                                         "[EXEINI]\r\nNUMBER=1\r\nNUMBER2=5\r\nNAME=/\x83\x81\x81\x5B\x83\x8B\r\n"
                                         "NUMBER3=1\r\n")
                                  << "1|1|5|on|/メール";
        QTest::addRow("empty values, boxes 5 and 7")
            << QByteArray("SMTP=s\r\nPOP3=\r\n") << QByteArray("[EXEINI]\r\nNAME=alice\r\n")
            << QByteArray("[EXEINI]\r\nNUMBER=5\r\nNUMBER2=abc\r\nNAME=\r\nNUMBER3=7\r\n")
            << "サーバー設定|ID,PASS|0|0|0|off|未設定";
        QTest::addRow("blank server, negative interval")
            << QByteArray("POP3=  \r\n") << IdPass << QByteArray("[EXEINI]\r\nNUMBER2=-3\r\n") << "0|0|-3|off|未設定";
    }

    void start()
    {
        QFETCH(QByteArray, vbmail);
        QFETCH(QByteArray, account);
        QFETCH(QByteArray, check);
        Program program;
        program.write("vbmail.ini", vbmail);
        program.write("iniIdPass.ini", account);
        program.write("ini.ini", check);
        program.write("../vbmail.ini", "POP3=beside.test\r\n"); // not the current directory's
        program.main().load();

        SetForm &settings = program.forms.setForm();
        const bool timed = at<QTimer>(program.main(), "Timer3")->isActive();
        QStringList seen{QString::number(settings.check1Value()), QString::number(program.main().check2()),
                         settings.text2(), timed ? "on" : "off", program.main().text7()};
        if (program.forms.idPassForm().isVisible())
            seen.prepend("ID,PASS");
        if (program.forms.isOptionFormLoaded())
            seen.prepend("サーバー設定");
        QTEST(seen.join(u'|'), "seen");
        QVERIFY(program.main().isVisible() && !QApplication::activeModalWidget()); // no dialog holds up the start
        QCOMPARE(program.log, (QStringList{"InitializeWinSock", "SetOption 1 8192"}));
    }

    void trayDay()
    {
        Program program;
        program.main().load(); // no settings: "サーバー設定" and "ID,PASS" open
        program.main().setText7("/opt/mail/run");
        at<QCheckBox>(program.main(), "Check2")->setChecked(true);
        at<QLineEdit>(program.forms.optionForm(), "SmtpText")->setText("typed.test");
        for (int twice = 0; twice < 2; ++twice) { // each button brings up the one window of its kind
            program.click("Command9");
            at<QPushButton>(program.forms.setForm(), "Command1")->click();
            at<QPushButton>(program.forms.setForm(), "Command2")->click();
        }
        QVERIFY(shown<SetForm>() && shown<IdPassForm>() && shown<OptionForm>());
        QCOMPARE(at<QLineEdit>(*shown<OptionForm>(), "SmtpText")->text(), "typed.test");

        program.click("Command1"); // without a notification area the window must stay reachable
        QVERIFY(TrayControl::available() ? !program.main().isVisible() : program.main().isMinimized());
        program.main().hide(); // in the tray, closing the other windows does not end the program
        QVERIFY(runsOn([&program] {
            program.forms.optionForm().close();
            program.forms.idPassForm().close();
            program.forms.setForm().close();
        }));
        QCOMPARE(program.ended, 0);

        const QList<QAction *> menu = at<QMenu>(program.main(), "mnuPopup")->actions();
        QCOMPARE(menu.size(), 3);
        QCOMPARE(menu[0]->text() + (menu[1]->isSeparator() ? "-" : "?") + menu[2]->text(), "メイン画面を表示-終了");
        menu[0]->trigger();
        QTRY_VERIFY(program.main().isVisible() && !program.main().isMinimized());
        // The end saves the main window's two settings, nothing of another window's, and ends the mail library.
        program.forms.setForm().setCheck1(true);
        program.forms.setForm().setText2("10");
        menu[2]->trigger();
        QTRY_COMPARE(program.ended, 1);
        QCOMPARE(program.log.last(), "EndWinSock");
        QCOMPARE(program.read("ini.ini"), "[EXEINI]\r\nNUMBER2=0\r\nNUMBER=0\r\nNAME=/opt/mail/run\r\nNUMBER3=1\r\n");
    }

    void timedCheck()
    {
        Program program;
        program.main().load();
        program.state.server.pop3 = "pop.example.test";
        program.library.connectResult = -1; // each check ends at once
        program.forms.setForm().setText2("1");
        const auto second = [&program](bool due, int polls) {
            if (due) {
                at<QLineEdit>(program.main(), "Text4")->setText("60");
                at<QLineEdit>(program.main(), "Text1")->setText("0");
            }
            program.log.clear();
            program.main().timer3Tick();
            for (int poll = 0; poll < polls; ++poll)
                program.main().timer1Tick();
            return program.log.size();
        };
        QCOMPARE(second(true, 10), 1); // the ten polls of a due second start one check
        QCOMPARE(second(false, 10), 0);
        QCOMPARE(second(true, 1), 1);
        program.click("Command8"); // by hand, at any time
        program.main().timer1Tick();
        QCOMPARE(program.log.size(), 2);
    }

    void narrowButtons()
    {
        Program program;
        program.main().load();
        for (const char *name : {"Command7", "Command8", "Command1"}) {
            auto *button = at<QPushButton>(program.main(), name);
            const QImage face = button->grab().toImage();
            // Dark pixels inside the bevel are the caption's ink: bands of rows, at least one for each character.
            int left = face.width(), right = -1, top = -1, bottom = -1, bands = 0;
            for (int y = 2; y < face.height() - 2; ++y) {
                for (int x = 2; x < face.width() - 2; ++x) {
                    if (qGray(face.pixel(x, y)) >= 128)
                        continue;
                    left = qMin(left, x);
                    right = qMax(right, x);
                    bands += bottom < y - 1 ? 1 : 0;
                    top = top < 0 ? y : top;
                    bottom = y;
                }
            }
            const QString what = QStringLiteral("%1: %2 bands, x %3..%4, y %5..%6");
            const auto why = qPrintable(what.arg(name).arg(bands).arg(left).arg(right).arg(top).arg(bottom));
            QVERIFY2(bands >= button->text().size(), why); // a kana may take two
            QVERIFY2(right - left < button->fontMetrics().height(), why);
            QVERIFY2(qAbs(left + right + 1 - button->width()) <= 2 && qAbs(top + bottom + 1 - button->height()) <= 3,
                     why);
            QVERIFY2(top > 2 && bottom < qMin(button->height(), program.main().height() - button->y()) - 3, why);
        }
    }

    void mailProgram()
    {
        Program program;
        program.write("iniIdPass.ini", IdPass);
        const QString script = program.folder.programFolder() + "/mail program.sh";
        program.folder.write(script, "#!/bin/sh\ntouch \"$0.ran\"\n");
        QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        program.main().load();
        program.state.server.pop3 = "pop.example.test";
        program.library.authenticateResult = 2;
        at<QCheckBox>(program.main(), "Check2")->setChecked(true);
        program.forms.setForm().setCheck1(true);
        for (const QString &path : {script, QStringLiteral("/nonexistent/mailer")}) {
            program.main().setText7(path);
            program.click("Command8");              // returns: nothing waits for an answer
            QCOMPARE(program.log.last(), "HangUp"); // the check went on to its end
        }
        QTRY_VERIFY(QFile::exists(script + ".ran"));
        QVERIFY(!program.forms.isShinMsgFormLoaded());
        auto *box = shown<QMessageBox>(); // only the second could not start
        QVERIFY(box && !box->isModal() && box->text().contains("メールソフトを起動できませんでした。\n/nonexistent/"));
    }

    void notice()
    {
        Program program;
        program.write("iniIdPass.ini", IdPass);
        program.write("vbmail.ini", "POP3=pop.example.test\r\n"); // no dialog open
        program.main().load();
        const auto check = [&program](int count) {
            program.library.authenticateResult = count;
            program.main().CheckMail();
        };
        check(3);
        ShinMsgProxy *notice = &program.forms.shinMsgForm();
        check(4); // while the window is open, the count goes to the same helper
        QTRY_COMPARE(program.folder.read("notice.log"), "start\n3\n3\n4\n4\n");
        check(5); // the helper dies: the program shows the window itself, with the count
        QTRY_VERIFY(shown<ShinMsgForm>());
        QCOMPARE(shown<ShinMsgForm>()->text1(), "5");
        check(6);
        QCOMPARE(shown<ShinMsgForm>()->text1(), "6");
        QCOMPARE(&program.forms.shinMsgForm(), notice);

        program.main().hide(); // in the tray, its close unloads it and nothing more
        QVERIFY(runsOn([] { shown<ShinMsgForm>()->close(); }));
        QCOMPARE(program.ended, 0);
        QVERIFY(!program.forms.isShinMsgFormLoaded());
    }

    void dialog_data()
    {
        // The form, then "Box=text" typed over a text box, a key into it, a button or check box clicked, or "close".
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QByteArray>("file"); // the form's file afterwards; no account file before
        QTest::addColumn<QString>("after");   // the window, and the account, server or interval in use
        const QByteArray saved = "[EXEINI]\r\nNAME=bob\r\nNAME2=pw\r\nNAME3=1\r\n";
        const QString account = "IdPassForm IdText=bob PassText=pw Check1 ";
        QTest::addRow("ID,PASS OK") << account + "OKCommand" << saved << "closed bob pw";
        QTest::addRow("ID,PASS OK, not saved") << "IdPassForm IdText=bob PassText=pw OKCommand"
                                               << QByteArray("[EXEINI]\r\nNAME3=0\r\n") << "closed bob pw";
        QTest::addRow("ID,PASS Enter") << account + "Enter" << saved << "closed bob pw";
        QTest::addRow("ID,PASS Return in ID")
            << "IdPassForm PassText=pw Check1 IdText=bob Return" << saved << "closed bob pw";
        const QString server = "OptionForm Pop3Text=pop.new.test ApopCheck MailText=a@b.test ";
        QTest::addRow("server OK") << server + "OKCommand"
                                   << QByteArray("SMTP=\r\nPOP3=pop.new.test\r\nMAIL=a@b.test\r\nAPOP=1\r\n")
                                   << "closed pop.new.test";
        QTest::addRow("server Return") << server + "Return" << OldServer << "open";
        for (const char *discard : {"Escape", "close"}) {
            QTest::addRow("ID,PASS %s", discard) << account + discard << QByteArray() << "closed";
            QTest::addRow("server %s", discard) << server + discard << OldServer << "closed";
        }
        QTest::addRow("settings close") << "SetForm Check1 Text2=10 close"
                                        << QByteArray("[EXEINI]\r\nNUMBER=1\r\nNUMBER2=10\r\n") << "closed 10 on";
        for (const char *key : {"Escape", "Enter"})
            QTest::addRow("settings %s", key) << "SetForm Check1 Text2=10 " + QString(key) << OldCheck << "open 10 on";
        // Typed, the interval takes effect at once; 0 (a lone "-" too) is also saved at once, a negative not at all.
        QTest::addRow("-3") << "SetForm Text2=-3" << QByteArray("[EXEINI]\r\nNUMBER=0\r\nNUMBER2=-\r\n")
                            << "open -3 off";
        QTest::addRow("abc") << "SetForm Text2=abc" << QByteArray("[EXEINI]\r\nNUMBER=0\r\nNUMBER2=abc\r\n")
                             << "open abc off";
        QTest::addRow("1.5") << "SetForm Text2=1.5" << OldCheck << "open 1.5 on";
        QTest::addRow("emptied") << "SetForm Text2=\b" << QByteArray("[EXEINI]\r\nNUMBER=0\r\nNUMBER2=0\r\n")
                                 << "open 0 off";
    }

    void dialog()
    {
        QFETCH(QString, steps);
        QFETCH(QByteArray, file);
        Program program;
        program.write("vbmail.ini", OldServer);
        program.write("ini.ini", OldCheck);
        program.write("../ini.ini", Stale);
        QStringList step = steps.split(u' ');
        const QString form = step.takeFirst();
        Forms &forms = program.forms;
        const QPointer<Form> window = form == u"IdPassForm" ? static_cast<Form *>(&forms.idPassForm())
                                      : form == u"SetForm"  ? static_cast<Form *>(&forms.setForm())
                                                            : &forms.optionForm();
        window->showModeless();
        const QMap<QString, Qt::Key> keys{
            {"Escape", Qt::Key_Escape}, {"Return", Qt::Key_Return}, {"Enter", Qt::Key_Enter}};
        QLineEdit *box = nullptr;
        for (const QString &next : step) {
            QWidget *control = at(*window, next.section(u'=', 0, 0).toLatin1().constData());
            if (next == u"close") {
                window->close();
            } else if (keys.contains(next)) {
                QTest::keyClick(box, keys[next]);
            } else if (auto *button = qobject_cast<QAbstractButton *>(control)) {
                QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(4, button->height() / 2));
            } else {
                box = qobject_cast<QLineEdit *>(control);
                QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
                QTest::keyClicks(box, next.section(u'=', 1));
            }
        }

        const QString name = form == u"IdPassForm" ? "iniIdPass.ini" : form == u"SetForm" ? "ini.ini" : "vbmail.ini";
        QCOMPARE(program.read(name), file);
        if (form == u"IdPassForm" && !file.isNull())
            QCOMPARE(TestFolder::mode(program.path(name)), 0600); // it holds a password
        if (form == u"SetForm") // whenever the interval is saved, the program folder's stale NAME goes
            QCOMPARE(program.read("../ini.ini"), file == OldCheck ? Stale : "[EXEINI]\r\nKEEP=1\r\n");
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        const bool timed = at<QTimer>(program.main(), "Timer3")->isActive();
        const QString inUse = form == u"IdPassForm" ? program.state.account.id + u' ' + program.state.account.password
                              : form == u"SetForm"  ? forms.setForm().text2() + (timed ? " on" : " off")
                                                    : program.state.server.pop3;
        QTEST((QString(window ? "open " : "closed ") + inUse).trimmed(), "after");
    }

    void accountOnLoad()
    {
        Program program;
        program.write("iniIdPass.ini", "[EXEINI]\r\nNAME=" + QByteArray("\x82\xa0").repeated(200) + "\r\nNAME2=pw\r\n");
        IdPassForm &form = program.forms.idPassForm();
        QCOMPARE(form.idText(), QString(127, u'あ')); // 255 bytes at most, never half a character
        QCOMPARE(at<QLineEdit>(form, "PassText")->displayText(), "**");
    }

    void unwritableServerSettings()
    {
        Program program;
        QVERIFY(QDir().mkdir(program.path("vbmail.ini"))); // a folder in its place: no one can write the file
        OptionForm &form = program.forms.optionForm();
        at<QLineEdit>(form, "Pop3Text")->setText("pop.new.test");
        QString told;
        QTimer::singleShot(0, [&told] {
            told = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())->text();
            QApplication::activeModalWidget()->close();
        });
        at<QPushButton>(form, "OKCommand")->click();
        QVERIFY2(told.contains("vbmail.ini"), qPrintable(told));
        QCOMPARE(program.state.server.pop3, "pop.new.test"); // in force for this run
        QVERIFY(!program.forms.isOptionFormLoaded());
    }
};

QTEST_MAIN(tst_Forms)
#include "tst_Forms.moc"
