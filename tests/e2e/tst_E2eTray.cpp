#include "Desktop.h"
#include "E2e.h"
#include "ProgramRun.h"

#include <QSet>
#include <QTest>

#include <memory>

using namespace E2e;

// The tray round trip with trayer as the notification area: "タスク" hides the window into the tray,
// the icon's menu brings it back and ends the program.
class tst_E2eTray final : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void taskToTrayAndBack();

private:
    std::unique_ptr<Desktop> m_desktop;
    std::unique_ptr<ProgramRun> m_program;
};

void tst_E2eTray::initTestCase()
{
    const QStringList missing = Desktop::missingTools(true);
    if (!missing.isEmpty())
        QSKIP(qPrintable(QStringLiteral("not installed: ") + missing.join(QStringLiteral(", "))));
}

void tst_E2eTray::init()
{
    QString why;
    m_desktop = std::make_unique<Desktop>();
    QVERIFY2(m_desktop->start(true, &why), qPrintable(why));
    m_program = std::make_unique<ProgramRun>();
    QVERIFY2(m_program->prepare(&why), qPrintable(why));
    QVERIFY(m_program->write(QStringLiteral("./vbmail.ini"), "SMTP=\r\nPOP3=127.0.0.1:110\r\nMAIL=\r\nAPOP=0\r\n"));
    QVERIFY(m_program->write(QStringLiteral("★MailData/iniIdPass.ini"),
                             "[EXEINI]\r\nNAME=alice\r\nNAME2=secret\r\nNAME3=1\r\n"));
}

void tst_E2eTray::cleanup()
{
    if (m_program && QTest::currentTestFailed())
        reportFailure(*m_desktop, *m_program, QStringLiteral("e2e_tray"));
    m_program.reset();
    m_desktop.reset();
}

void tst_E2eTray::taskToTrayAndBack()
{
    QString why;
    QVERIFY2(m_program->start(m_desktop->display(), &why), qPrintable(why));
    const XWindow main = waitForWindow(*m_desktop, MainTitle);
    QVERIFY2(main, qPrintable(QStringLiteral("no main window; visible: ") + visibleTitles(*m_desktop)));
    const QRect placed = m_desktop->geometry(main);
    QVERIFY2(!m_desktop->trayIcon(ProgramClass), "an icon was in the tray before \"タスク\"");

    QVERIFY2(m_desktop->click(main, TrayButton, 1, &why), qPrintable(why));
    QVERIFY2(waitUntilGone(*m_desktop, main, 3000), "\"タスク\" left the main window on screen");
    XWindow icon = 0;
    Desktop::waitFor([&] { return (icon = m_desktop->trayIcon(ProgramClass)) != 0; }, 5000);
    QVERIFY2(icon, "no icon was embedded in the tray");
    QTest::qWait(300); // let it paint
    const QImage picture = m_desktop->grab(icon);
    QVERIFY2(Desktop::colourCount(picture) >= 3, "the tray icon is blank");

    // A left click opens the menu; its first entry, "メイン画面を表示", brings the window back in place.
    QVERIFY2(m_desktop->click(icon, QPoint(11, 15), 1, &why), qPrintable(why));
    XWindow menu = waitForMenu(*m_desktop);
    QVERIFY2(menu, "a left click on the icon opened no menu");
    QVERIFY2(chooseFromMenu(*m_desktop, menu, false, &why), qPrintable(why));
    QVERIFY2(Desktop::waitFor([&] { return m_desktop->isViewable(main); }, 3000), "the main window did not come back");
    QCOMPARE(m_desktop->geometry(main), placed);

    // A middle click says "Clicked!" in a message box.
    QVERIFY2(m_desktop->click(icon, QPoint(11, 15), 2, &why), qPrintable(why));
    XWindow box = 0;
    Desktop::waitFor(
        [&] {
            for (const XWindow window : m_desktop->visibleWindows(ProgramClass)) {
                if (window != main)
                    box = window;
            }
            return box != 0;
        },
        3000);
    QVERIFY2(box, "a middle click on the icon showed no message");
    QVERIFY2(m_desktop->focus(box, &why), qPrintable(why));
    QVERIFY2(m_desktop->keys({QStringLiteral("Return")}, &why), qPrintable(why));
    QVERIFY2(waitUntilGone(*m_desktop, box, 3000), "Enter did not close the message");

    // A right click opens the same menu; its last entry, "終了", ends the program.
    QVERIFY2(m_desktop->click(icon, QPoint(11, 15), 3, &why), qPrintable(why));
    menu = waitForMenu(*m_desktop);
    QVERIFY2(menu, "a right click on the icon opened no menu");
    QVERIFY2(chooseFromMenu(*m_desktop, menu, true, &why), qPrintable(why));
    QVERIFY2(m_program->waitForExit(5000), "\"終了\" did not end the program");
    QVERIFY2(m_program->exitedNormally(), "the program crashed on the way out");
    QCOMPARE(m_program->exitCode(), 0);
    const QStringList crash = m_program->crashSigns();
    QVERIFY2(crash.isEmpty(), qPrintable(crash.join(QLatin1Char('\n'))));
    QVERIFY2(Desktop::waitFor([&] { return !m_desktop->trayIcon(ProgramClass); }, 3000), "the icon stayed in the tray");

    QCOMPARE(m_program->read(QStringLiteral("★MailData/ini.ini")),
             QByteArray("[EXEINI]\r\nNUMBER2=0\r\nNAME=" + NotSet + "\r\nNUMBER3=0\r\n"));
}

QTEST_GUILESS_MAIN(tst_E2eTray)
#include "tst_E2eTray.moc"
