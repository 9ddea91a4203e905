#include "FakeDialUp.h"
#include "FakeMailLibrary.h"
#include "Forms.h"
#include "MainForm.h"
#include "NoticePage.h"
#include "ShinMsgForm.h"
#include "ShinMsgProxy.h"
#include "TestFolder.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QtTest>

// The notice window as the program holds it. The window with the page belongs to the notice helper (linked
// beside this test as beside the program); the program only shows the same window itself when the helper
// is gone.
class NoticeWindowTest final : public QObject {
    Q_OBJECT

private slots:
    void pageAddress_data();
    void pageAddress();
    void layout();
    void helperDiesWhileShown();
    void cleanupTestCase();
};

void NoticeWindowTest::pageAddress_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("url");
    QTest::addRow("folder") << "/opt/tools"
                            << "file:///opt/tools/画像データ/tokonoma.html";
    QTest::addRow("root") << "/"
                          << "file:///画像データ/tokonoma.html";
    QTest::addRow("blank") << "/opt/my tools"
                           << "file:///opt/my tools/画像データ/tokonoma.html";
}

void NoticeWindowTest::pageAddress()
{
    QFETCH(QString, folder);
    QFETCH(QString, url);
    const QUrl address = NoticePage::address(folder);
    QCOMPARE(address, QUrl(url));
    QCOMPARE(address.toLocalFile(), QUrl(url).path());
}

void NoticeWindowTest::layout()
{
    TestFolder folder;
    const QPointer<ShinMsgForm> notice = new ShinMsgForm;
    notice->load();
    QVERIFY(notice->isVisible());
    QVERIFY(notice->windowFlags() & Qt::WindowStaysOnTopHint);
    QCOMPARE(notice->windowTitle(), QStringLiteral("新着のお知らせ"));
    QCOMPARE(notice->size(), QSize(368, 417));
    QCOMPARE(notice->text1(), QString());
    const QStringList texts{QStringLiteral("①掛け軸にマウスを当てると禁断？の裏側が見えます。"),
                            QStringLiteral("②袋戸にマウスを当てると扉が開いて中が見えます。"),
                            QStringLiteral("③重箱をドラッグすると中が見えます。"),
                            QStringLiteral("倦怠期のご夫婦に・・・(^o^)"), QStringLiteral("新着メールが有ります。")};
    QStringList shown;
    for (const QLabel *label : notice->findChildren<QLabel *>())
        shown << label->text();
    for (const QString &text : texts)
        QVERIFY2(shown.contains(text), qPrintable(text));
    // The browser pane overhangs its container: strips at the right and bottom are clipped away.
    QWidget *browser = notice->findChild<QWidget *>(QStringLiteral("WebBrowser1"));
    QVERIFY(browser);
    QCOMPARE(browser->geometry(), QRect(0, 0, 393, 345));
    QCOMPARE(browser->parentWidget()->size(), QSize(369, 329));
    QCOMPARE(notice->pageAddress(), NoticePage::address(folder.programFolder()));
    notice->close();
}

void NoticeWindowTest::helperDiesWhileShown()
{
    TestFolder folder;
    folder.write(folder.dataFile(QStringLiteral("iniIdPass.ini")), "[EXEINI]\r\nNAME=alice\r\nNAME2=secret\r\n");
    QStringList log;
    ProgramState state;
    FakeMailLibrary library(log);
    FakeDialUp dialUp(log);
    Forms forms(state, library, dialUp);
    forms.mainForm().load();
    state.server.pop3 = QStringLiteral("pop.example.test");

    library.authenticateResult = 3;
    forms.mainForm().CheckMail();
    ShinMsgProxy *notice = &forms.shinMsgForm();
    const QPointer<QProcess> helper = notice->findChild<QProcess *>();
    QVERIFY2(helper && helper->waitForStarted(5000), "no notice helper started");
    const qint64 helperId = helper->processId();
    // A later check while the window is open only sends the count.
    library.authenticateResult = 4;
    forms.mainForm().CheckMail();
    QCOMPARE(&forms.shinMsgForm(), notice);
    QCOMPARE(notice->findChildren<QProcess *>(), QList<QProcess *>{helper});
    QCOMPARE(helper->processId(), helperId);

    // A count written into the pipe of a helper that has just died must not take the program with it.
    helper->kill();
    QThread::msleep(200);
    library.authenticateResult = 5;
    forms.mainForm().CheckMail();
    if (helper)
        helper->waitForBytesWritten(1000);

    const auto shownHere = [] {
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (auto *form = qobject_cast<ShinMsgForm *>(widget); form && form->isVisible())
                return form;
        }
        return static_cast<ShinMsgForm *>(nullptr);
    };
    QTRY_VERIFY_WITH_TIMEOUT(shownHere(), 5000);
    ShinMsgForm *shown = shownHere();
    QCOMPARE(shown->text1(), QStringLiteral("5"));
    QCOMPARE(shown->findChild<QLabel *>(QStringLiteral("WebBrowser1"))->text(),
             QStringLiteral("ページを表示できません。"));

    // Closed by the user, it is loaded afresh next time.
    shown->close();
    QVERIFY(!forms.isShinMsgFormLoaded());
}

void NoticeWindowTest::cleanupTestCase()
{
    // Notices have been shown, yet the browser engine never entered this process.
    QFile maps(QStringLiteral("/proc/self/maps"));
    QVERIFY(maps.open(QIODevice::ReadOnly));
    QVERIFY(!maps.readAll().contains("libQt6WebEngine"));
}

QTEST_MAIN(NoticeWindowTest)
#include "NoticeWindowTest.moc"
