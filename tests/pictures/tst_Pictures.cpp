#include "Forms.h"
#include "IdPassForm.h"
#include "MainForm.h"
#include "OptionForm.h"
#include "ProgramFont.h"
#include "SetForm.h"
#include "ShinMsgForm.h"
#include "TestProgram.h"

#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>

// What every window looks like, and what a picture of it cannot show. Each window is rendered on the offscreen
// platform at 96 DPI, in the fonts of fonts.conf, written to PORONICA_TEST_OUTPUT/pictures/actual/ and compared with
// its reference picture; one that differs gets a picture of where it differs in difference/. With
// PORONICA_WRITE_PICTURES set nothing is compared: scripts/retake-pictures makes the pictures the references.

namespace {

// Anti-aliasing may shade any pixel a little otherwise, and a few edge pixels by more.
constexpr int ChannelTolerance = 32;
constexpr int StrayPixelsAllowed = 16;

QString outputPath(const char *kind, const QString &name)
{
    const QString folder = qEnvironmentVariable("PORONICA_TEST_OUTPUT") + "/pictures/" + kind;
    QDir().mkpath(folder);
    return folder + '/' + name + ".png";
}

// Compares the window's picture with reference/<name>.png: empty when they match, else what differs. A picture that
// differs is written out, and beside it the reference, pale, with every pixel beyond the tolerance in red.
QString differenceFromReference(QWidget &window, const QString &name)
{
    const QImage actual = window.grab().toImage().convertToFormat(QImage::Format_RGB32);
    actual.save(outputPath("actual", name));
    if (qEnvironmentVariableIsSet("PORONICA_WRITE_PICTURES"))
        return {}; // the pictures become the references
    const QImage reference =
        QImage(PORONICA_REFERENCE_PICTURES "/" + name + ".png").convertToFormat(QImage::Format_RGB32);
    if (reference.size() != actual.size())
        return name + " is not the size of its reference";
    QImage difference(reference.size(), QImage::Format_RGB32);
    int strayPixels = 0;
    for (int y = 0; y < reference.height(); ++y) {
        for (int x = 0; x < reference.width(); ++x) {
            const QRgb a = actual.pixel(x, y);
            const QRgb r = reference.pixel(x, y);
            const int channel =
                qMax(qAbs(qRed(a) - qRed(r)), qMax(qAbs(qGreen(a) - qGreen(r)), qAbs(qBlue(a) - qBlue(r))));
            const int pale = 192 + qGray(r) / 4;
            difference.setPixel(x, y, channel > ChannelTolerance ? qRgb(255, 0, 0) : qRgb(pale, pale, pale));
            if (channel > ChannelTolerance)
                ++strayPixels;
        }
    }
    if (strayPixels <= StrayPixelsAllowed)
        return {};
    difference.save(outputPath("difference", name));
    return QStringLiteral("%1 differs in %2 pixels: %3").arg(name).arg(strayPixels).arg(outputPath("difference", name));
}

// The program, in a fresh program folder that has a server and an account, so that the main window starts alone.
struct Program : TestProgram {
    explicit Program(const QByteArray &checkSettings = {})
    {
        write("vbmail.ini", "POP3=pop.example.jp\r\n");
        write("iniIdPass.ini", "[EXEINI]\r\nNAME=taro\r\nNAME2=himitsu\r\n");
        write("ini.ini", checkSettings);
    }
};

// The caption's left edge: it starts at 2760 twips and moves 20 twips a tick, 15 twips to the pixel.
constexpr int CaptionStart = 184;
constexpr int CaptionEnd = -100; // -1500 twips

} // namespace

class tst_Pictures final : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QApplication::setStyle(QStringLiteral("Fusion"));
        ProgramFont::apply();
        QCOMPARE(QGuiApplication::primaryScreen()->logicalDotsPerInch(), 96.0);
        QCOMPARE(QFontInfo(QApplication::font()).family(), "IPAPGothic"); // fonts.conf is in force
    }

    void mainWindow_data()
    {
        QTest::addColumn<QByteArray>("checkSettings"); // ini.ini
        QTest::addColumn<bool>("choiceCancelled");     // "メ｜ラ｜設定" cancelled: no mail program at all
        QTest::addRow("main-interval-off") << QByteArray() << true;
        // Every five minutes, starting a mail program stored as a command line: its file title shows.
        QTest::addRow("main-interval-on")
            << QByteArray("[EXEINI]\r\nNUMBER2=5\r\nNUMBER3=1\r\nNAME=\"/opt/My Mail/mail\" --inbox\r\n") << false;
    }

    void mainWindow()
    {
        QFETCH(QByteArray, checkSettings);
        QFETCH(bool, choiceCancelled);
        Program program(checkSettings);
        MainForm &main = program.main();
        main.load();
        QVERIFY(main.windowFlags() & Qt::WindowStaysOnTopHint);
        if (choiceCancelled)
            main.setText7({});
        main.grab(); // painted once with the design caption, which the mail program's title must replace
        for (int tick = 0; tick < 130; ++tick) // the caption wholly on the banner
            main.timer4Tick();
        const QString difference = differenceFromReference(main, QTest::currentDataTag());
        QVERIFY2(difference.isEmpty(), qPrintable(difference));
    }

    // The three dialogs with fixed contents, and the notice's own window with a count, as the notice helper shows
    // it and as the program does when the helper cannot start; here without the page, which is data of its own.
    void window_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("topMost");
        QTest::addRow("server-settings") << "server-settings" << true;
        QTest::addRow("account") << "account" << false;
        QTest::addRow("check-settings") << "check-settings" << false;
        QTest::addRow("notice") << "notice" << true;
    }

    void window()
    {
        QFETCH(QString, name);
        QFETCH(bool, topMost);
        Program program("[EXEINI]\r\nNUMBER=1\r\nNUMBER2=5\r\n");
        program.state.server = {"smtp.example.jp", "pop.example.jp", "taro@example.jp", 1};
        ShinMsgForm notice;
        QWidget *form = nullptr;
        if (name == u"server-settings") {
            form = &program.forms.optionForm(); // its load shows it
        } else if (name == u"account") {
            form = &program.forms.idPassForm();
            program.forms.idPassForm().showModeless();
        } else if (name == u"check-settings") {
            form = &program.forms.setForm();
            program.forms.setForm().showModeless();
        } else {
            notice.load();
            notice.setText1("3");
            form = &notice;
        }
        QCOMPARE(bool(form->windowFlags() & Qt::WindowStaysOnTopHint), topMost);
        const QString difference = differenceFromReference(*form, name);
        QVERIFY2(difference.isEmpty(), qPrintable(difference));
    }

    void loginErrorBox()
    {
        Program program;
        program.library.authenticateResult = -1;
        program.library.errorText = "-ERR [AUTH] 認証に失敗しました";
        MainForm &main = program.main();
        main.load();
        bool answered = false;
        QTimer watch; // answers the box once it shows, however the check brings it up
        watch.setInterval(10);
        connect(&watch, &QTimer::timeout, [&answered] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            box->close(); // before anything can fail: the check waits for it
            answered = true;
            QCOMPARE(box->windowTitle(), "エラー");
            QCOMPARE(box->text(), "-ERR [AUTH] 認証に失敗しました");
            QCOMPARE(box->windowModality(), Qt::ApplicationModal);
            QCOMPARE(box->icon(), QMessageBox::NoIcon);
            QCOMPARE(box->standardButtons(), QMessageBox::Ok);
        });
        watch.start();
        main.findChild<QPushButton *>("Command8")->click();
        QTRY_VERIFY(answered);
    }

    // From its start the caption reaches -1500 twips in 213 ticks and is back at 2760 on the 214th.
    void bannerWraps()
    {
        Program program;
        MainForm &main = program.main();
        main.load();
        const QLabel *caption = main.findChild<QLabel *>("Label1");
        QCOMPARE(caption->x(), CaptionStart);
        for (int tick = 1; tick <= 213; ++tick)
            main.timer4Tick();
        QCOMPARE(caption->x(), CaptionEnd);
        main.timer4Tick();
        QCOMPARE(caption->x(), CaptionStart);
    }
};

QTEST_MAIN(tst_Pictures)
#include "tst_Pictures.moc"
