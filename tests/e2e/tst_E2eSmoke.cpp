#include "Desktop.h"
#include "E2e.h"
#include "ProgramRun.h"

#include <QTest>

#include <memory>

using namespace E2e;

namespace {

const QByteArray ServerFile = QByteArrayLiteral("SMTP=\r\nPOP3=127.0.0.1:110\r\nMAIL=\r\nAPOP=0\r\n");
const QByteArray AccountFile = QByteArrayLiteral("[EXEINI]\r\nNAME=alice\r\nNAME2=secret\r\nNAME3=1\r\n");
const QByteArray AccountWithoutPassword = QByteArrayLiteral("[EXEINI]\r\nNAME=alice\r\nNAME3=1\r\n");

} // namespace

// Starts the real program under its own X server and looks at which windows it opens.
class tst_E2eSmoke final : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void freshStartAsksForServerAndAccount();
    void configuredStart_data();
    void configuredStart();
    void taskWithoutTrayKeepsTheWindow();

private:
    void closeMainWindowAndExit(XWindow main);

    std::unique_ptr<Desktop> m_desktop;
    std::unique_ptr<ProgramRun> m_program;
};

void tst_E2eSmoke::initTestCase()
{
    const QStringList missing = Desktop::missingTools(false);
    if (!missing.isEmpty())
        QSKIP(qPrintable(QStringLiteral("not installed: ") + missing.join(QStringLiteral(", "))));
}

void tst_E2eSmoke::init()
{
    QString why;
    m_desktop = std::make_unique<Desktop>();
    QVERIFY2(m_desktop->start(false, &why), qPrintable(why));
    m_program = std::make_unique<ProgramRun>();
    QVERIFY2(m_program->prepare(&why), qPrintable(why));
}

void tst_E2eSmoke::cleanup()
{
    if (m_program && QTest::currentTestFailed())
        reportFailure(*m_desktop, *m_program, QStringLiteral("e2e_smoke"));
    m_program.reset();
    m_desktop.reset();
}

void tst_E2eSmoke::closeMainWindowAndExit(XWindow main)
{
    QVERIFY(m_desktop->requestClose(main));
    QVERIFY2(m_program->waitForExit(5000), "the program did not end after its main window was closed");
    QVERIFY2(m_program->exitedNormally(), "the program crashed on the way out");
    QCOMPARE(m_program->exitCode(), 0);
    const QStringList crash = m_program->crashSigns();
    QVERIFY2(crash.isEmpty(), qPrintable(crash.join(QLatin1Char('\n'))));
}

void tst_E2eSmoke::freshStartAsksForServerAndAccount()
{
    QString why;
    QVERIFY2(m_program->start(m_desktop->display(), &why), qPrintable(why));

    const XWindow main = waitForWindow(*m_desktop, MainTitle);
    QVERIFY2(main, qPrintable(QStringLiteral("no main window; visible: ") + visibleTitles(*m_desktop)));
    const XWindow server = waitForWindow(*m_desktop, ServerTitle);
    const XWindow account = waitForWindow(*m_desktop, AccountTitle);
    QVERIFY2(server, qPrintable(QStringLiteral("no server dialog; visible: ") + visibleTitles(*m_desktop)));
    QVERIFY2(account, qPrintable(QStringLiteral("no account dialog; visible: ") + visibleTitles(*m_desktop)));
    QTest::qWait(1000); // nothing else may follow
    QCOMPARE(m_desktop->visibleWindows(ProgramClass).size(), 3);

    QCOMPARE(m_desktop->geometry(main).size(), MainClientSize);
    QVERIFY(m_desktop->netWmState(main).contains(QStringLiteral("_NET_WM_STATE_ABOVE")));
    QVERIFY(m_desktop->netWmState(server).contains(QStringLiteral("_NET_WM_STATE_ABOVE")));

    // The title bar shows _NET_WM_NAME; it should read exactly like the caption.
    QCOMPARE(m_desktop->netWmName(main), MainTitle);
    QCOMPARE(m_desktop->netWmName(server), ServerTitle);

    closeMainWindowAndExit(main);
    // Nothing was entered: the dialogs saved nothing; the main window left its keys.
    QVERIFY(!m_program->exists(QStringLiteral("./vbmail.ini")));
    QVERIFY(!m_program->exists(QStringLiteral("★MailData/iniIdPass.ini")));
    QCOMPARE(m_program->read(QStringLiteral("★MailData/ini.ini")),
             QByteArray("[EXEINI]\r\nNUMBER2=0\r\nNAME=" + NotSet + "\r\nNUMBER3=0\r\n"));
}

void tst_E2eSmoke::configuredStart_data()
{
    QTest::addColumn<QByteArray>("server");
    QTest::addColumn<QByteArray>("account");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("server and account") << ServerFile << AccountFile << QStringList{MainTitle};
    QTest::newRow("server, no account") << ServerFile << QByteArray() << QStringList{MainTitle, AccountTitle};
    QTest::newRow("server, no password") << ServerFile << AccountWithoutPassword
                                         << QStringList{MainTitle, AccountTitle};
    QTest::newRow("account, no server") << QByteArray() << AccountFile << QStringList{MainTitle, ServerTitle};
}

void tst_E2eSmoke::configuredStart()
{
    QFETCH(QByteArray, server);
    QFETCH(QByteArray, account);
    QFETCH(QStringList, expected);
    if (!server.isEmpty())
        QVERIFY(m_program->write(QStringLiteral("./vbmail.ini"), server));
    if (!account.isEmpty())
        QVERIFY(m_program->write(QStringLiteral("★MailData/iniIdPass.ini"), account));

    QString why;
    QVERIFY2(m_program->start(m_desktop->display(), &why), qPrintable(why));
    const XWindow main = waitForWindow(*m_desktop, MainTitle);
    QVERIFY2(main, qPrintable(QStringLiteral("no main window; visible: ") + visibleTitles(*m_desktop)));
    for (const QString &title : expected)
        QVERIFY2(waitForWindow(*m_desktop, title), qPrintable(title + QStringLiteral(" did not appear")));
    QTest::qWait(1000); // nothing else may follow

    QStringList shown;
    for (const XWindow window : m_desktop->visibleWindows(ProgramClass))
        shown << m_desktop->wmName(window);
    shown.sort();
    expected.sort();
    QCOMPARE(shown, expected);

    closeMainWindowAndExit(main);
    // Starting and ending leaves the settings as they were.
    QCOMPARE(m_program->read(QStringLiteral("./vbmail.ini")), server);
    QCOMPARE(m_program->read(QStringLiteral("★MailData/iniIdPass.ini")), account);
}

void tst_E2eSmoke::taskWithoutTrayKeepsTheWindow()
{
    QVERIFY(m_program->write(QStringLiteral("./vbmail.ini"), ServerFile));
    QVERIFY(m_program->write(QStringLiteral("★MailData/iniIdPass.ini"), AccountFile));
    QString why;
    QVERIFY2(m_program->start(m_desktop->display(), &why), qPrintable(why));
    const XWindow main = waitForWindow(*m_desktop, MainTitle);
    QVERIFY2(main, qPrintable(QStringLiteral("no main window; visible: ") + visibleTitles(*m_desktop)));

    // No notification area here (and no window manager to iconify it): a hidden window could never be
    // found again, so "タスク" must leave it on screen.
    QVERIFY2(m_desktop->click(main, TrayButton, 1, &why), qPrintable(why));
    QTest::qWait(1500);
    QVERIFY2(m_desktop->isViewable(main), "\"タスク\" hid the window with no tray to bring it back from");
    QVERIFY(m_program->isRunning());
    closeMainWindowAndExit(main);
}

QTEST_GUILESS_MAIN(tst_E2eSmoke)
#include "tst_E2eSmoke.moc"
