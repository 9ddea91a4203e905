#include "Desktop.h"
#include "DovecotServer.h"
#include "E2e.h"
#include "ProgramRun.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QTest>

#include <memory>

using namespace E2e;

namespace {

QByteArray message(int number)
{
    return "From: sender@example.jp\r\nTo: alice@example.jp\r\nSubject: note " + QByteArray::number(number) +
           "\r\nDate: Sat, 7 Dec 2024 10:00:00 +0900\r\nMessage-ID: <note" + QByteArray::number(number) +
           "@example.jp>\r\n\r\nline one\r\nline two\r\n";
}

} // namespace

// A person's first run against a real Dovecot: fill in both settings dialogs, check for mail, read the
// notice, go to the tray and back, quit; then every settings file byte for byte, and a mailbox that
// was only looked at.
class tst_E2eMailCheck final : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void firstRunCheckAndQuit();
    void cleanup();

private:
    void fillInServer(XWindow dialog);
    void fillInAccount(XWindow dialog);
    XWindow waitForNotice(XWindow main);
    void readNotice(XWindow notice);
    void trayAndQuit(XWindow main);

    std::unique_ptr<DovecotServer> m_dovecot;
    std::unique_ptr<Desktop> m_desktop;
    std::unique_ptr<ProgramRun> m_program;
    QByteArray m_serverFile;
};

void tst_E2eMailCheck::initTestCase()
{
    QStringList missing = Desktop::missingTools(true);
    if (!DovecotServer::isInstalled())
        missing << DovecotServer::executable();
    if (!missing.isEmpty())
        QSKIP(qPrintable(QStringLiteral("not installed: ") + missing.join(QStringLiteral(", "))));

    QString why;
    m_dovecot = std::make_unique<DovecotServer>();
    m_dovecot->addUser(QStringLiteral("alice"), QStringLiteral("secret"));
    for (int number = 1; number <= 3; ++number)
        m_dovecot->addMessage(QStringLiteral("alice"), message(number));
    QVERIFY2(m_dovecot->start(&why), qPrintable(why));

    m_desktop = std::make_unique<Desktop>();
    QVERIFY2(m_desktop->start(true, &why), qPrintable(why));
    m_program = std::make_unique<ProgramRun>();
    QVERIFY2(m_program->prepare(&why), qPrintable(why));
}

void tst_E2eMailCheck::cleanup()
{
    if (m_program && QTest::currentTestFailed()) {
        reportFailure(*m_desktop, *m_program, QStringLiteral("e2e_mailcheck"));
        qInfo().noquote() << "dovecot log:\n" << m_dovecot->log();
    }
}

void tst_E2eMailCheck::cleanupTestCase()
{
    m_program.reset();
    m_desktop.reset();
    m_dovecot.reset();
}

void tst_E2eMailCheck::fillInServer(XWindow dialog)
{
    const QString pop3 = QStringLiteral("127.0.0.1:%1").arg(m_dovecot->plainPort());
    QString why;
    QVERIFY2(m_desktop->focus(dialog, &why), qPrintable(why));
    QVERIFY2(m_desktop->click(dialog, SmtpBox, 1, &why), qPrintable(why));
    QVERIFY2(m_desktop->type(QStringLiteral("127.0.0.1"), &why), qPrintable(why));
    QVERIFY2(m_desktop->keys({QStringLiteral("Tab")}, &why), qPrintable(why));
    QVERIFY2(m_desktop->type(pop3, &why), qPrintable(why));
    // The mail address comes last in the tab order: past APOP, "設定" and "中止".
    QVERIFY2(m_desktop->keys(
                 {QStringLiteral("Tab"), QStringLiteral("Tab"), QStringLiteral("Tab"), QStringLiteral("Tab")}, &why),
             qPrintable(why));
    QVERIFY2(m_desktop->type(QStringLiteral("alice@example.jp"), &why), qPrintable(why));
    QVERIFY2(m_desktop->click(dialog, ServerSaveButton, 1, &why), qPrintable(why));
    QVERIFY2(waitUntilGone(*m_desktop, dialog), "\"設定\" did not close the server dialog");

    m_serverFile = "SMTP=127.0.0.1\r\nPOP3=" + pop3.toLatin1() + "\r\nMAIL=alice@example.jp\r\nAPOP=0\r\n";
    QCOMPARE(m_program->read(QStringLiteral("./vbmail.ini")), m_serverFile);
}

void tst_E2eMailCheck::fillInAccount(XWindow dialog)
{
    QString why;
    QVERIFY2(m_desktop->focus(dialog, &why), qPrintable(why));
    QVERIFY2(m_desktop->click(dialog, IdBox, 1, &why), qPrintable(why));
    QVERIFY2(m_desktop->type(QStringLiteral("alice"), &why), qPrintable(why));
    QVERIFY2(m_desktop->keys({QStringLiteral("Tab")}, &why), qPrintable(why));
    QVERIFY2(m_desktop->type(QStringLiteral("secret"), &why), qPrintable(why));
    // The save box comes after OK and Cancel; Enter there still presses OK.
    QVERIFY2(m_desktop->keys({QStringLiteral("Tab"), QStringLiteral("Tab"), QStringLiteral("Tab"),
                              QStringLiteral("space"), QStringLiteral("Return")},
                             &why),
             qPrintable(why));
    QVERIFY2(waitUntilGone(*m_desktop, dialog), "Enter did not close the account dialog");

    const QString account = QStringLiteral("★MailData/iniIdPass.ini");
    QCOMPARE(m_program->read(account), QByteArray("[EXEINI]\r\nNAME=alice\r\nNAME2=secret\r\nNAME3=1\r\n"));
    // It holds a password in plain text.
    QCOMPARE(QFile::permissions(QDir(m_program->programFolder()).filePath(account)),
             QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
}

XWindow tst_E2eMailCheck::waitForNotice(XWindow main)
{
    // The window is shown before the browser view is put in, which makes Qt replace its X window: wait
    // for the one that shows the page, looking above the main window, which lies over its middle. An
    // empty or unpainted pane is one colour.
    const QRect mainArea = m_desktop->geometry(main);
    XWindow notice = 0;
    Desktop::waitFor(
        [&] {
            notice = m_desktop->visibleWindow(ProgramClass, NoticeTitle);
            if (!notice)
                return false;
            QRect pane = m_desktop->geometry(notice).adjusted(0, 0, 0, -100);
            if (pane.intersects(mainArea))
                pane.setBottom(mainArea.top() - 1);
            return pane.height() > 20 && Desktop::colourCount(m_desktop->grab(pane)) > 50;
        },
        20000);
    return notice;
}

void tst_E2eMailCheck::readNotice(XWindow notice)
{
    // The count box cannot be read from outside directly: copy it as a person would and read the clipboard.
    QString why;
    QVERIFY2(m_desktop->focus(notice, &why), qPrintable(why));
    QVERIFY2(m_desktop->click(notice, CountBox, 1, &why), qPrintable(why));
    QVERIFY2(m_desktop->keys({QStringLiteral("ctrl+a"), QStringLiteral("ctrl+c")}, &why), qPrintable(why));
    QCOMPARE(m_desktop->clipboardText(), QStringLiteral("3"));

    QTest::qWait(1500); // the page fades in
    const QString picture = QDir::current().filePath(QStringLiteral("e2e_mailcheck_notice.png"));
    QVERIFY(m_desktop->grab(notice).save(picture));
    qInfo().noquote() << "notice window:" << picture;
}

void tst_E2eMailCheck::trayAndQuit(XWindow main)
{
    QString why;
    QVERIFY2(m_desktop->click(main, TrayButton, 1, &why), qPrintable(why));
    QVERIFY2(waitUntilGone(*m_desktop, main, 3000), "\"タスク\" left the main window on screen");
    XWindow icon = 0;
    Desktop::waitFor([&] { return (icon = m_desktop->trayIcon(ProgramClass)) != 0; }, 5000);
    QVERIFY2(icon, "no icon was embedded in the tray");

    // As a person would, look at the icon before clicking it: a click within about 0.1 s of "タスク"
    // sometimes opens the menu and closes it again at once (no window manager here).
    QTest::qWait(500);
    QVERIFY2(m_desktop->click(icon, QPoint(11, 15), 1, &why), qPrintable(why));
    XWindow menu = waitForMenu(*m_desktop);
    QVERIFY2(menu, "a click on the icon opened no menu");
    QVERIFY2(chooseFromMenu(*m_desktop, menu, false, &why), qPrintable(why));
    QVERIFY2(Desktop::waitFor([&] { return m_desktop->isViewable(main); }, 3000), "the main window did not come back");

    QVERIFY2(m_desktop->click(icon, QPoint(11, 15), 1, &why), qPrintable(why));
    menu = waitForMenu(*m_desktop);
    QVERIFY2(menu, "a click on the icon opened no menu");
    QVERIFY2(chooseFromMenu(*m_desktop, menu, true, &why), qPrintable(why));
    QVERIFY2(m_program->waitForExit(5000), "\"終了\" did not end the program");
    QVERIFY2(m_program->exitedNormally(), "the program crashed on the way out");
    QCOMPARE(m_program->exitCode(), 0);
}

void tst_E2eMailCheck::firstRunCheckAndQuit()
{
    QString why;
    QVERIFY2(m_program->start(m_desktop->display(), &why), qPrintable(why));
    const XWindow main = waitForWindow(*m_desktop, MainTitle);
    const XWindow server = waitForWindow(*m_desktop, ServerTitle);
    const XWindow account = waitForWindow(*m_desktop, AccountTitle);
    QVERIFY2(main && server && account, qPrintable(QStringLiteral("visible: ") + visibleTitles(*m_desktop)));

    fillInServer(server);
    if (QTest::currentTestFailed())
        return;
    fillInAccount(account);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(m_desktop->visibleWindows(ProgramClass), QList<XWindow>{main});

    QVERIFY2(m_desktop->click(main, CheckButton, 1, &why), qPrintable(why));
    const XWindow notice = waitForNotice(main);
    QVERIFY2(notice,
             qPrintable(QStringLiteral("no notice page after the check; visible: ") + visibleTitles(*m_desktop)));
    QVERIFY(m_desktop->netWmState(notice).contains(QStringLiteral("_NET_WM_STATE_ABOVE")));
    readNotice(notice);
    if (QTest::currentTestFailed())
        return;
    QVERIFY(m_desktop->requestClose(notice));
    QVERIFY2(waitUntilGone(*m_desktop, notice), "the notice window did not close");

    trayAndQuit(main);
    if (QTest::currentTestFailed())
        return;
    const QStringList crash = m_program->crashSigns();
    QVERIFY2(crash.isEmpty(), qPrintable(crash.join(QLatin1Char('\n'))));

    QCOMPARE(m_program->read(QStringLiteral("./vbmail.ini")), m_serverFile);
    QCOMPARE(m_program->read(QStringLiteral("★MailData/iniIdPass.ini")),
             QByteArray("[EXEINI]\r\nNAME=alice\r\nNAME2=secret\r\nNAME3=1\r\n"));
    QCOMPARE(m_program->read(QStringLiteral("★MailData/ini.ini")),
             QByteArray("[EXEINI]\r\nNUMBER2=0\r\nNAME=" + NotSet + "\r\nNUMBER3=0\r\n"));
    QCOMPARE(QDir(m_program->programFolder() + QStringLiteral("/★MailData")).entryList(QDir::Files),
             (QStringList{QStringLiteral("ini.ini"), QStringLiteral("iniIdPass.ini")}));
    QCOMPARE(QDir(m_program->currentFolder()).entryList(QDir::Files), QStringList{QStringLiteral("vbmail.ini")});

    // Logged in (Dovecot moved the messages to cur/), but looked at only: no Seen flag, nothing deleted.
    const QStringList mailbox = m_dovecot->maildirFileNames(QStringLiteral("alice"));
    QCOMPARE(mailbox.size(), 3);
    for (const QString &name : mailbox)
        QVERIFY2(name.startsWith(QLatin1String("cur/")) && name.endsWith(QLatin1String(":2,")), qPrintable(name));
    // One session that read headers with TOP and neither fetched nor deleted anything.
    const QString log = m_dovecot->log();
    QCOMPARE(log.count(QLatin1String("Login: user=<alice>")), 1);
    QVERIFY2(log.contains(QLatin1String("retr=0/0, del=0/3")), qPrintable(log));
}

QTEST_GUILESS_MAIN(tst_E2eMailCheck)
#include "tst_E2eMailCheck.moc"
