#include "MainForm.h"
#include "IdPassForm.h"
#include "SetForm.h"
#include "ShinMsgForm.h"
#include "TestFolder.h"
#include "TestProgram.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

// Receives the URLs the program asks the desktop to open.
class UrlRecorder final : public QObject {
    Q_OBJECT

public:
    QList<QUrl> urls;

public slots:
    void open(const QUrl &url) { urls << url; }
};

class MainFormTest final : public QObject {
    Q_OBJECT

private slots:
    void narrowButtonsWriteOneCharacterALine();
    void hiddenControlsKeepTheirDesignValues();
    void choosingTheMailProgram();
    void settingsButtonNeverMakesASecondDialog();
    void homePageOffer_data();
    void homePageOffer();
    void dueSecondStartsOneCheck();
    void timedCheckRunsInsideTheErrorBox();
    void mailProgramStartsOnNewMail();
    void mailProgramThatCannotStartDoesNotBlock();
    void scrollingLabelShowsTheProgramTitle();
};

void MainFormTest::narrowButtonsWriteOneCharacterALine()
{
    QFont font = QApplication::font(); // the program's font, whose proportional "｜" is narrow
    font.setFamilies({QStringLiteral("IPAPGothic")});
    font.setPointSizeF(9);
    QApplication::setFont(font);
    TestFolder folder;
    TestProgram program;
    program.start();
    for (const char *name : {"Command7", "Command8", "Command1"}) {
        auto *button = program.control<QPushButton>(name);
        const QImage face = button->grab().toImage();
        // Dark pixels inside the bevel: the caption's ink, one character wide, stacked, centred, uncut.
        int left = face.width(), right = -1, top = face.height(), bottom = -1;
        for (int y = 2; y < face.height() - 2; ++y) {
            for (int x = 2; x < face.width() - 2; ++x) {
                if (qGray(face.pixel(x, y)) < 128) {
                    left = qMin(left, x);
                    right = qMax(right, x);
                    top = qMin(top, y);
                    bottom = y;
                }
            }
        }
        const int line = button->fontMetrics().height();
        const QString what =
            QStringLiteral("%1: ink %2..%3 x %4..%5").arg(name).arg(left).arg(right).arg(top).arg(bottom);
        QVERIFY2(right - left < line, qPrintable(what));
        QVERIFY2(qAbs(left + right + 1 - button->width()) <= 2, qPrintable(what));
        QVERIFY2(bottom - top >= (button->text().size() - 1) * line * 9 / 10, qPrintable(what));
        QVERIFY2(top > 2 && bottom < qMin(button->height(), program.main().height() - button->y()) - 3,
                 qPrintable(what));
    }
}

void MainFormTest::hiddenControlsKeepTheirDesignValues()
{
    TestFolder folder;
    TestProgram program;
    MainForm &main = program.main();
    QCOMPARE(program.control<QLineEdit>("Text1")->text(), QStringLiteral("Text1"));
    QCOMPARE(program.control<QLineEdit>("Text4")->text(), QStringLiteral("Text4"));
    QCOMPARE(program.control<QPushButton>("Command5")->text(), QStringLiteral("切断"));
    for (const char *name : {"Text7", "Text8", "Text1", "Text4", "Command5", "Picture7", "Picture10"})
        QVERIFY2(program.control<QWidget>(name) && !program.control<QWidget>(name)->isVisibleTo(&main), name);
    QCOMPARE(program.control<QTimer>("Timer1")->interval(), 100);
    QCOMPARE(program.control<QTimer>("Timer3")->isActive(), false);
    QCOMPARE(program.control<QTimer>("Timer4")->interval(), 20);
}

void MainFormTest::choosingTheMailProgram()
{
    TestFolder folder;
    TestProgram program;
    program.start();
    program.main().setText7(QStringLiteral("/old/mailer"));
    const QString chosen = folder.programFolder() + QStringLiteral("/メーラー.sh");
    folder.write(chosen, "#!/bin/sh\n");

    // The dialog is modal; answer it from the event loop, again and again until it has gone (an
    // answer given while it is still reading the folder is lost).
    const auto choose = [&program](const QString &file) {
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [file] {
            auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            if (file.isEmpty()) {
                dialog->reject();
            } else {
                if (auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
                    name->setText(file);
                QMetaObject::invokeMethod(dialog, "accept");
            }
        });
        poll.start(50);
        program.main().command7Click();
    };
    choose(chosen);
    QCOMPARE(program.main().text7(), chosen);
    QCOMPARE(program.control<QLineEdit>("Text8")->text(), QStringLiteral("メーラー.sh"));

    choose(QString());
    QCOMPARE(program.main().text7(), QString());
    QCOMPARE(program.control<QLineEdit>("Text8")->text(), QString());
}

void MainFormTest::settingsButtonNeverMakesASecondDialog()
{
    TestFolder folder;
    TestProgram program;
    program.start();
    auto *command9 = program.control<QPushButton>("Command9");
    command9->click();
    SetForm *first = &program.forms.setForm();
    QVERIFY(first->isVisible());
    command9->click();
    QCOMPARE(&program.forms.setForm(), first);
    int setForms = 0;
    for (QWidget *widget : QApplication::topLevelWidgets())
        setForms += qobject_cast<SetForm *>(widget) != nullptr;
    QCOMPARE(setForms, 1);
}

void MainFormTest::homePageOffer_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<int>("opened");
    QTest::addRow("yes") << int(QMessageBox::Yes) << 1;
    QTest::addRow("no") << int(QMessageBox::No) << 0;
}

void MainFormTest::homePageOffer()
{
    QFETCH(int, answer);
    QFETCH(int, opened);
    TestFolder folder;
    TestProgram program;
    program.start();
    UrlRecorder recorder;
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &recorder, "open");

    QString question;
    answerNextMessageBox(QMessageBox::StandardButton(answer), &question);
    program.control<QPushButton>("Command10")->click();
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));

    QCOMPARE(question, QStringLiteral("「ペルリモ」作者のホームページです。ちょっと見てみますか？"));
    QCOMPARE(recorder.urls.size(), opened);
    if (opened)
        QCOMPARE(recorder.urls.first(), QUrl(MainForm::HomePage));
}

void MainFormTest::dueSecondStartsOneCheck()
{
    TestFolder folder;
    TestProgram program;
    program.library.connectResult = -1; // each check returns at once
    program.start();
    program.state.server.pop3 = QStringLiteral("pop.example.test");
    program.forms.setForm().setText2(QStringLiteral("1"));
    program.control<QLineEdit>("Text4")->setText(QStringLiteral("60"));
    program.control<QLineEdit>("Text1")->setText(QStringLiteral("0"));
    MainForm &main = program.main();
    const auto checksInASecond = [&] {
        program.log.clear();
        main.timer3Tick();
        for (int poll = 0; poll < 10; ++poll)
            main.timer1Tick();
        return program.log.count(QStringLiteral("Connect pop.example.test"));
    };
    QCOMPARE(checksInASecond(), 1); // the due second
    QCOMPARE(checksInASecond(), 0); // counting again
    program.control<QLineEdit>("Text4")->setText(QStringLiteral("60"));
    program.control<QLineEdit>("Text1")->setText(QStringLiteral("0"));
    QCOMPARE(checksInASecond(), 1); // the next due second
}

void MainFormTest::timedCheckRunsInsideTheErrorBox()
{
    TestFolder folder;
    folder.write(folder.dataFile(QStringLiteral("iniIdPass.ini")), "[EXEINI]\r\nNAME=alice\r\nNAME2=wrong\r\n");
    TestProgram program;
    program.start();
    program.state.server.pop3 = QStringLiteral("pop.example.test");
    program.library.authenticateResult = -1;
    program.library.errorText = QStringLiteral("認証に失敗しました");
    auto *minutes = program.control<QLineEdit>("Text1");

    int logins = 0;
    program.library.duringAuthenticate = [&] {
        // Only the first login fails; the timed checks inside its error box find an empty mailbox.
        if (++logins == 1) {
            program.forms.setForm().setText2(QStringLiteral("3"));
            minutes->setText(QStringLiteral("3"));
        } else {
            program.library.authenticateResult = 0;
        }
    };
    QTimer::singleShot(1000, [&] {
        minutes->setText(QStringLiteral("0")); // leave the due state
        answerNextMessageBox(QMessageBox::Ok);
    });
    program.control<QPushButton>("Command8")->click();

    // The timed checks ran to their end while the box was open; the first check closed afterwards.
    const qsizetype firstError = program.log.indexOf(QStringLiteral("GetMessage 0 8192"));
    const qsizetype secondConnect = program.log.indexOf(QStringLiteral("Connect pop.example.test"), firstError);
    QVERIFY(firstError > 0);
    QVERIFY2(secondConnect > firstError, qPrintable(program.log.join(u'|')));
    QCOMPARE(program.log.last(), QStringLiteral("Close 1"));
    QCOMPARE(program.log.count(QStringLiteral("Close 1")),
             program.log.count(QStringLiteral("Connect pop.example.test")));
}

void MainFormTest::mailProgramStartsOnNewMail()
{
    TestFolder folder;
    folder.write(folder.dataFile(QStringLiteral("iniIdPass.ini")), "[EXEINI]\r\nNAME=alice\r\nNAME2=secret\r\n");
    const QString marker = folder.currentFolder() + QStringLiteral("/started");
    const QString script = folder.programFolder() + QStringLiteral("/mail program.sh");
    folder.write(script, "#!/bin/sh\necho \"$0\" > '" + marker.toUtf8() + "'\n");
    QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    TestProgram program;
    program.start();
    program.state.server.pop3 = QStringLiteral("pop.example.test");
    program.library.authenticateResult = 2;
    program.main().setText7(QStringLiteral("  ") + script + QStringLiteral(" "));
    program.control<QCheckBox>("Check2")->setChecked(true);
    program.control<QPushButton>("Command8")->click();

    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(marker), 5000);
    QVERIFY(!program.forms.isShinMsgFormLoaded());
}

void MainFormTest::mailProgramThatCannotStartDoesNotBlock()
{
    TestFolder folder;
    folder.write(folder.dataFile(QStringLiteral("iniIdPass.ini")), "[EXEINI]\r\nNAME=alice\r\nNAME2=secret\r\n");
    const QString notExecutable = folder.programFolder() + QStringLiteral("/plain.txt");
    folder.write(notExecutable, "not a program\n");

    for (const QString &path : {QStringLiteral("/nonexistent/mailer"), notExecutable, QString()}) {
        TestProgram program;
        program.start();
        program.state.server.pop3 = QStringLiteral("pop.example.test");
        program.library.authenticateResult = 1;
        program.main().setText7(path);
        program.control<QCheckBox>("Check2")->setChecked(true);
        program.forms.setForm().setCheck1(true);
        program.control<QPushButton>("Command8")->click(); // returns: nothing waits for an answer

        QMessageBox *notice = nullptr;
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (auto *box = qobject_cast<QMessageBox *>(widget); box && box->isVisible())
                notice = box;
        }
        QVERIFY2(notice, qPrintable(path));
        QVERIFY(!notice->isModal());
        QVERIFY(notice->text().contains(QStringLiteral("メールソフトを起動できませんでした。")));
        QCOMPARE(program.log.last(), QStringLiteral("HangUp")); // the check went on to its end
        notice->close();
    }
}

void MainFormTest::scrollingLabelShowsTheProgramTitle()
{
    TestFolder folder;
    TestProgram program;
    program.start();
    auto *label1 = program.control<QLabel>("Label1");
    program.main().setText7(QString());
    program.main().timer4Tick();
    QCOMPARE(label1->text(), QStringLiteral("設定されていません。"));
    auto *banner = program.control<QWidget>("Picture5");
    banner->grab(); // painted with this text once, so that the text below must replace it

    program.main().setText7(QStringLiteral("/usr/bin/sylpheed"));
    const int before = label1->x();
    for (int tick = 0; tick < 15; ++tick)
        program.main().timer4Tick();
    QCOMPARE(label1->text(), QStringLiteral("sylpheed"));
    QCOMPARE(program.control<QLineEdit>("Text8")->text(), QStringLiteral("sylpheed"));
    QCOMPARE(label1->x(), before - 20); // 15 ticks of 20 twips: 300 twips, 20 pixels

    // The banner shows the label as it is now, where it stands: every opaque pixel of the label is on the banner.
    const QRect shown = label1->geometry() & banner->rect();
    const QImage onBanner = banner->grab(shown).toImage();
    QImage caption(shown.size(), QImage::Format_ARGB32_Premultiplied);
    caption.fill(Qt::transparent);
    label1->render(&caption, QPoint(), QRegion(shown.translated(-label1->pos())), {});
    int opaque = 0;
    for (int y = 0; y < caption.height(); ++y) {
        for (int x = 0; x < caption.width(); ++x) {
            if (qAlpha(caption.pixel(x, y)) < 255)
                continue;
            ++opaque;
            QCOMPARE(onBanner.pixel(x, y), caption.pixel(x, y));
        }
    }
    QVERIFY(opaque > 0);

    // Hidden, the scroll sleeps; shown again, the caption stands where the missed ticks would have put it.
    auto *timer4 = program.control<QTimer>("Timer4");
    const int beforeHiding = label1->x();
    program.main().hide();
    QVERIFY(!timer4->isActive());
    QTest::qWait(400);
    program.main().show();
    QVERIFY(timer4->isActive());
    const int moved = beforeHiding - label1->x();
    QVERIFY2(moved >= 20 && moved <= 40, qPrintable(QString::number(moved))); // about 20 ticks
}

QTEST_MAIN(MainFormTest)
#include "MainFormTest.moc"
