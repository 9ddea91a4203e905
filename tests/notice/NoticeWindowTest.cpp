#include "FakeDialUp.h"
#include "FakeMailLibrary.h"
#include "Forms.h"
#include "MainForm.h"
#include "NoticePage.h"
#include "PageView.h"
#include "ShinMsgForm.h"
#include "TestFolder.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QtTest>

namespace {

bool browserEngineMapped()
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains("libQt6WebEngineCore");
}

} // namespace

class NoticeWindowTest final : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void pageAddress_data();
    void pageAddress();
    void layout();
    void countsReplaceWithoutReloadingThePage();
};

void NoticeWindowTest::initTestCase()
{
    // Nothing before the first notice may load the browser engine.
    QVERIFY(!browserEngineMapped());
}

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
    QStringList log;
    ProgramState state;
    FakeMailLibrary library(log);
    FakeDialUp dialUp(log);
    Forms forms(state, library, dialUp);
    forms.mainForm().load();
    QVERIFY(!browserEngineMapped());

    ShinMsgForm &notice = forms.shinMsgForm(); // a touch loads and shows it
    QVERIFY(notice.isVisible());
    QVERIFY(notice.windowFlags() & Qt::WindowStaysOnTopHint);
    QCOMPARE(notice.windowTitle(), QStringLiteral("新着のお知らせ"));
    QCOMPARE(notice.size(), QSize(368, 417));
    QCOMPARE(notice.text1(), QString());
    const QStringList texts{QStringLiteral("①掛け軸にマウスを当てると禁断？の裏側が見えます。"),
                            QStringLiteral("②袋戸にマウスを当てると扉が開いて中が見えます。"),
                            QStringLiteral("③重箱をドラッグすると中が見えます。"),
                            QStringLiteral("倦怠期のご夫婦に・・・(^o^)"), QStringLiteral("新着メールが有ります。")};
    QStringList shown;
    for (const QLabel *label : notice.findChildren<QLabel *>())
        shown << label->text();
    for (const QString &text : texts)
        QVERIFY2(shown.contains(text), qPrintable(text));
    // The browser pane overhangs its container: strips at the right and bottom are clipped away.
    QWidget *browser = notice.findChild<QWidget *>(QStringLiteral("WebBrowser1"));
    QVERIFY(browser);
    QCOMPARE(browser->geometry(), QRect(0, 0, 393, 345));
    QCOMPARE(browser->parentWidget()->size(), QSize(369, 329));
    QCOMPARE(notice.pageAddress(), NoticePage::address(folder.programFolder()));
    QVERIFY(PageView::engineLoaded());
    QVERIFY(browserEngineMapped());
}

void NoticeWindowTest::countsReplaceWithoutReloadingThePage()
{
    TestFolder folder;
    folder.write(folder.dataFile(QStringLiteral("iniIdPass.ini")), "[EXEINI]\r\nNAME=alice\r\nNAME2=secret\r\n");
    QVERIFY(QDir(folder.programFolder()).mkdir(QStringLiteral("画像データ")));
    QVERIFY(QFile::copy(QStringLiteral(PORONICA_PAGE),
                        folder.programFolder() + QStringLiteral("/画像データ/tokonoma.html")));
    QStringList log;
    ProgramState state;
    FakeMailLibrary library(log);
    FakeDialUp dialUp(log);
    Forms forms(state, library, dialUp);
    forms.mainForm().load();
    state.server.pop3 = QStringLiteral("pop.example.test");

    library.authenticateResult = 3;
    forms.mainForm().CheckMail();
    ShinMsgForm *notice = &forms.shinMsgForm();
    QCOMPARE(notice->text1(), QStringLiteral("3"));
    QWidget *browser = notice->findChild<QWidget *>(QStringLiteral("WebBrowser1"));
    QSignalSpy firstLoad(browser, SIGNAL(loadFinished(bool)));
    QVERIFY(firstLoad.wait(10000));
    QCOMPARE(firstLoad.first().first().toBool(), true); // the page beside the program really opens
    QSignalSpy loads(browser, SIGNAL(loadStarted()));

    library.authenticateResult = 5;
    forms.mainForm().CheckMail();
    QCOMPARE(&forms.shinMsgForm(), notice);
    QCOMPARE(notice->text1(), QStringLiteral("5"));
    QTest::qWait(200);
    QCOMPARE(loads.count(), 0);

    // Closed by the user, the window is loaded afresh next time: an empty count until a check writes it.
    notice->close();
    QVERIFY(!forms.isShinMsgFormLoaded());
    QCOMPARE(forms.shinMsgForm().text1(), QString());
}

int main(int argc, char *argv[])
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    if (!qEnvironmentVariableIsSet("QTWEBENGINE_CHROMIUM_FLAGS"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--no-sandbox");
    QApplication application(argc, argv);
    NoticeWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "NoticeWindowTest.moc"
