#include "FakeDialUp.h"
#include "FakeMailLibrary.h"
#include "Forms.h"
#include "IdPassForm.h"
#include "MainForm.h"
#include "OptionForm.h"
#include "ProgramFont.h"
#include "SetForm.h"
#include "ShinMsgForm.h"
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
const QByteArray Pop3 = "POP3=pop.example.test\r\n";
const QByteArray OldServer = Pop3 + "EXTRA=1\r\n";
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
    QList<T *> found;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible() && qobject_cast<T *>(widget))
            found << qobject_cast<T *>(widget);
    }
    return found.size() == 1 ? found.first() : nullptr;
}

// Runs the event loop while work closes windows: true when the loop ran on until the test ended it.
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
        // The notice helper beside the program: a stand-in that logs its start and every count into the program
        // folder, dies on the count 5, and ends, as on a closed window, when its input ends.
        QFile helper(QCoreApplication::applicationDirPath() + "/poronica-notice");
        QVERIFY(helper.open(QIODevice::WriteOnly));
        helper.write("#!/bin/sh\necho start >>\"$1/notice.log\"\n"
                     "while read n; do echo \"$n\" >>\"$1/notice.log\"; [ \"$n\" != 5 ] || kill -9 $$; done\n");
        QVERIFY(helper.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    }

    void start_data()
    {
        QTest::addColumn<QByteArray>("vbmail");
        QTest::addColumn<QByteArray>("account");
        QTest::addColumn<QByteArray>("check");
        QTest::addColumn<QString>("seen"); // dialogs shown, Check1, Check2, Text2, Timer3, Text7, ID and password
        const QByteArray longId = "[EXEINI]\r\nNAME=" + QByteArray("\x82\xa0").repeated(200) + "\r\nNAME2=secret\r\n";
        QTest::addRow("no files") << QByteArray() << QByteArray() << QByteArray()
                                  << "サーバー設定|ID,PASS|0|0|0|off|未設定||";
        // An ID is read as 255 bytes at most, never half a character.
        QTest::addRow("complete")
            << Pop3 << longId
            << QByteArray("[EXEINI]\r\nNUMBER=1\r\nNUMBER2=5\r\nNAME=/\x83\x81\x81\x5B\x83\x8B\r\nNUMBER3=1\r\n")
            << "1|1|5|on|/メール|" + QString(127, u'あ') + "|******";
        QTest::addRow("empty values, boxes 5 and 7")
            << QByteArray("POP3=\r\n") << QByteArray("[EXEINI]\r\nNAME=alice\r\n")
            << QByteArray("[EXEINI]\r\nNUMBER=5\r\nNUMBER2=abc\r\nNAME=\r\nNUMBER3=7\r\n")
            << "サーバー設定|ID,PASS|0|0|0|off|未設定|alice|";
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
        program.write("../vbmail.ini", Pop3); // not the current directory's
        program.main().load();

        const SetForm &settings = program.forms.setForm();
        const IdPassForm &idPass = program.forms.idPassForm();
        QStringList seen{QString::number(settings.check1Value()),
                         QString::number(program.main().check2()),
                         settings.text2(),
                         at<QTimer>(program.main(), "Timer3")->isActive() ? "on" : "off",
                         program.main().text7(),
                         idPass.idText(),
                         at<QLineEdit>(idPass, "PassText")->displayText()};
        seen =
            QStringList{program.forms.isOptionFormLoaded() ? "サーバー設定" : "", idPass.isVisible() ? "ID,PASS" : ""} +
            seen;
        QTEST(seen.join(u'|').remove(QRegularExpression("^\\|+")), "seen");
        QVERIFY(program.main().isVisible() && !QApplication::activeModalWidget()); // no dialog holds up the start
        QCOMPARE(program.log, (QStringList{"InitializeWinSock", "SetOption 1 8192"}));
    }

    void trayDay()
    {
        Program program;
        program.main().load(); // no settings: "サーバー設定" and "ID,PASS" open
        program.main().setText7("/opt/mail/run");
        at<QCheckBox>(program.main(), "Check2")->setChecked(true);
        at<QPushButton>(program.main(), "Command9")->click();
        at<QPushButton>(program.main(), "Command9")->click(); // one "設定" window, however often asked for
        QVERIFY(shown<SetForm>());
        at<QPushButton>(program.main(), "Command1")->click(); // without a notification area it stays reachable
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
        program.write("vbmail.ini", Pop3);
        program.library.connectResult = -1; // each check ends at once
        program.main().load();
        program.forms.setForm().setText2("1");
        for (int due = 0; due < 2; ++due) { // the ten polls of each due second start one check
            at<QLineEdit>(program.main(), "Text4")->setText("60");
            at<QLineEdit>(program.main(), "Text1")->setText("0");
            program.main().timer3Tick();
            for (int poll = 0; poll < 10; ++poll)
                program.main().timer1Tick();
        }
        at<QPushButton>(program.main(), "Command8")->click(); // by hand, at any time
        QCOMPARE(program.log.mid(2), QStringList(3, "Connect pop.example.test"));
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
                    if (qGray(face.pixel(x, y)) < 128) {
                        left = qMin(left, x), right = qMax(right, x), top = top < 0 ? y : top;
                        bands += bottom < y - 1 ? 1 : 0, bottom = y;
                    }
                }
            }
            const QByteArray why =
                QString::asprintf("%s: %d bands, x %d..%d, y %d..%d", name, bands, left, right, top, bottom).toUtf8();
            QVERIFY2(bands >= button->text().size() && right - left < button->fontMetrics().height(), why);
            QVERIFY2(qAbs(left + right + 1 - button->width()) <= 2 && qAbs(top + bottom + 1 - button->height()) <= 3,
                     why);
            QVERIFY2(top > 2 && bottom < qMin(button->height(), program.main().height() - button->y()) - 3,
                     why); // uncut
        }
    }

    void newMail()
    {
        Program program;
        program.write("vbmail.ini", Pop3);
        program.write("iniIdPass.ini", IdPass);
        program.main().load();
        const auto check = [&program](int count) {
            program.library.authenticateResult = count;
            program.main().CheckMail();
        };
        // A mail program that cannot start is reported, and the check goes on to its end without waiting.
        program.main().setText7("/nonexistent/mailer");
        at<QCheckBox>(program.main(), "Check2")->setChecked(true);
        program.forms.setForm().setCheck1(true);
        check(2);
        QCOMPARE(program.log.last(), "HangUp");
        auto *box = shown<QMessageBox>();
        QVERIFY(box && !box->isModal() &&
                box->text().contains("メールソフトを起動できませんでした。\n/nonexistent/mailer"));
        box->close();

        at<QCheckBox>(program.main(), "Check2")->setChecked(false);
        check(3);
        const auto *notice = &program.forms.shinMsgForm();
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
        QVERIFY(!program.ended && !program.forms.isShinMsgFormLoaded());
    }

    void dialog_data()
    {
        // The form, then "Box=text" typed over a text box, a key into it, a button or check box clicked, or
        // "locked": vbmail.ini cannot be written.
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QByteArray>("file"); // the form's file afterwards; no account file before
        QTest::addColumn<QString>("after");   // the window, the account, server or interval in use, what it told
        const QByteArray saved = "[EXEINI]\r\nNAME=bob\r\nNAME2=pw\r\nNAME3=1\r\n";
        const QString account = "IdPassForm IdText=bob PassText=pw Check1 ";
        QTest::addRow("ID,PASS OK") << account + "OKCommand" << saved << "closed bob pw";
        QTest::addRow("ID,PASS OK, not saved") << "IdPassForm IdText=bob PassText=pw OKCommand"
                                               << QByteArray("[EXEINI]\r\nNAME3=0\r\n") << "closed bob pw";
        QTest::addRow("ID,PASS Enter") << account + "Enter" << saved << "closed bob pw";
        QTest::addRow("ID,PASS Escape") << account + "Escape" << QByteArray() << "closed";
        const QString server = "OptionForm Pop3Text=pop.new.test ApopCheck MailText=a@b.test ";
        const QByteArray written = "SMTP=\r\nPOP3=pop.new.test\r\nMAIL=a@b.test\r\nAPOP=1\r\n";
        QTest::addRow("server OK") << server + "OKCommand" << written << "closed pop.new.test";
        QTest::addRow("server OK, locked")
            << "locked " + server + "OKCommand" << QByteArray() << "closed pop.new.test told";
        QTest::addRow("server Return") << server + "Return" << OldServer << "open";
        QTest::addRow("server Escape") << server + "Escape" << OldServer << "closed";
        QTest::addRow("settings close box") << "SetForm Check1 Text2=10 close"
                                            << QByteArray("[EXEINI]\r\nNUMBER=1\r\nNUMBER2=10\r\n") << "closed 10 on";
        for (const char *key : {"Escape", "Enter"})
            QTest::addRow("settings %s", key) << "SetForm Check1 Text2=10 " + QString(key) << OldCheck << "open 10 on";
        // Typed, the interval takes effect at once; 0 (a lone "-" too) is also saved at once, a negative not at all.
        QTest::addRow("-3") << "SetForm Text2=-3" << QByteArray("[EXEINI]\r\nNUMBER=0\r\nNUMBER2=-\r\n")
                            << "open -3 off";
        QTest::addRow("abc") << "SetForm Text2=abc" << QByteArray("[EXEINI]\r\nNUMBER=0\r\nNUMBER2=abc\r\n")
                             << "open abc off";
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
        if (step.first() == u"locked") { // a folder in place of vbmail.ini: no one can write the file
            step.removeFirst();
            program.write("vbmail.ini", {});
            QVERIFY(QDir().mkdir(program.path("vbmail.ini")));
        }
        const QString form = step.takeFirst();
        Forms &forms = program.forms;
        const QPointer<Form> window = form == u"IdPassForm" ? static_cast<Form *>(&forms.idPassForm())
                                      : form == u"SetForm"  ? static_cast<Form *>(&forms.setForm())
                                                            : &forms.optionForm();
        window->showModeless();
        QString told;
        QTimer answer; // the message box that a failed save brings up
        answer.callOnTimeout([&told] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()))
                told = box->text(), box->close();
        });
        answer.start(0);
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
                QTest::keyClick(box = qobject_cast<QLineEdit *>(control), Qt::Key_A, Qt::ControlModifier);
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
        const QString what =
            QString(window ? "open " : "closed ") + inUse + (told.contains("vbmail.ini") ? " told" : "");
        QTEST(what.simplified(), "after");
    }
};

QTEST_MAIN(tst_Forms)
#include "tst_Forms.moc"
