#include "GeneralDate.h"
#include "SetForm.h"
#include "TestFolder.h"
#include "TestProgram.h"
#include "TrayControl.h"

#include <QCheckBox>
#include <QDir>
#include <QMenu>
#include <QPushButton>
#include <QtTest>

namespace {

// Picks an item of the popup menu once it is open; an empty text closes it without a choice.
void chooseFromNextPopup(const QString &item, QStringList *items = nullptr)
{
    auto *poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, poll, [poll, item, items] {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        if (!menu)
            return;
        poll->deleteLater();
        if (items) {
            for (QAction *action : menu->actions())
                *items << (action->isSeparator() ? QStringLiteral("-") : action->text());
        }
        for (QAction *action : menu->actions()) {
            if (!item.isEmpty() && action->text() == item) {
                menu->setActiveAction(action);
                QTest::keyClick(menu, Qt::Key_Return);
                return;
            }
        }
        menu->close();
    });
    poll->start(20);
}

} // namespace

class ShutdownTrayTest final : public QObject {
    Q_OBJECT

private slots:
    void closingSavesTheMainWindowSettings_data();
    void closingSavesTheMainWindowSettings();
    void otherWindowsAreNotSaved();
    void missingDataFolderSavesNothing();
    void quitFromTheTrayMenuWhileHidden();
    void trayCodes();
    void popupMenu();
    void goingToTheTray();
    void generalDate_data();
    void generalDate();
};

void ShutdownTrayTest::closingSavesTheMainWindowSettings_data()
{
    QTest::addColumn<QString>("text7");
    QTest::addColumn<bool>("check2");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("restored");

    // "未設定" in code page 932 is 96 A2 90 DD 92 E8.
    QTest::addRow("not set, unchecked")
        << "未設定" << false << QByteArray("[EXEINI]\r\nNUMBER2=0\r\nNAME=\x96\xA2\x90\xDD\x92\xE8\r\nNUMBER3=0\r\n")
        << "未設定";
    QTest::addRow("empty, checked") << "" << true << QByteArray("[EXEINI]\r\nNUMBER2=0\r\nNAME=\r\nNUMBER3=1\r\n")
                                    << "未設定";
    QTest::addRow("path") << "/opt/mail/run" << false
                          << QByteArray("[EXEINI]\r\nNUMBER2=0\r\nNAME=/opt/mail/run\r\nNUMBER3=0\r\n")
                          << "/opt/mail/run";
}

void ShutdownTrayTest::closingSavesTheMainWindowSettings()
{
    QFETCH(QString, text7);
    QFETCH(bool, check2);
    QFETCH(QByteArray, file);
    QFETCH(QString, restored);

    TestFolder folder;
    {
        TestProgram program;
        program.start();
        program.main().setText7(text7);
        program.control<QCheckBox>("Check2")->setChecked(check2);
        program.main().close();
        QCOMPARE(program.ended, 1);
        QCOMPARE(program.log.last(), QStringLiteral("EndWinSock"));
    }
    QCOMPARE(folder.read(folder.dataFile(QStringLiteral("ini.ini"))), file);

    TestProgram next;
    next.start();
    QCOMPARE(next.main().text7(), restored);
    QCOMPARE(next.main().check2(), check2);
}

void ShutdownTrayTest::otherWindowsAreNotSaved()
{
    TestFolder folder;
    TestProgram program;
    program.start();
    SetForm &settings = program.forms.setForm();
    settings.showModeless();
    settings.setCheck1(true);
    settings.setText2(QStringLiteral("10")); // a positive interval is saved only when the dialog closes
    program.main().close();

    QCOMPARE(program.ended, 1);
    QVERIFY(!settings.isVisible());
    const QByteArray saved = folder.read(folder.dataFile(QStringLiteral("ini.ini")));
    QVERIFY2(saved.contains("NUMBER2=0\r\n") && !saved.contains("NUMBER="), saved.constData());
}

void ShutdownTrayTest::missingDataFolderSavesNothing()
{
    TestFolder folder;
    QVERIFY(QDir(folder.programFolder()).rmdir(QStringLiteral("★MailData")));
    TestProgram program;
    program.start();
    program.main().close();
    QCOMPARE(program.ended, 1);
    QVERIFY(!QFileInfo::exists(folder.programFolder() + QStringLiteral("/★MailData")));
    QCOMPARE(QDir(folder.programFolder()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList{});
}

void ShutdownTrayTest::quitFromTheTrayMenuWhileHidden()
{
    TestFolder folder;
    TestProgram program;
    program.start();
    program.control<QCheckBox>("Check2")->setChecked(true);
    program.main().hide();
    program.main().mnu_Popup(2);
    QCOMPARE(program.ended, 1);
    QVERIFY(folder.read(folder.dataFile(QStringLiteral("ini.ini"))).contains("NUMBER3=1\r\n"));
}

void ShutdownTrayTest::trayCodes()
{
    TestFolder folder;
    TestProgram program;
    program.start();
    for (int round = 0; round < 2; ++round) {
        QString text;
        answerNextMessageBox(QMessageBox::Ok, &text);
        program.main().trayClick(0);
        QCOMPARE(text, QStringLiteral("Clicked!"));
        QVERIFY(program.main().isVisible());
    }
    program.main().trayClick(5); // nothing
    QCOMPARE(program.ended, 0);
}

void ShutdownTrayTest::popupMenu()
{
    TestFolder folder;
    TestProgram program;
    program.start();
    program.main().hide();

    QStringList items;
    chooseFromNextPopup(QStringLiteral("メイン画面を表示"), &items);
    program.main().trayClick(1);
    QCOMPARE(items, (QStringList{"メイン画面を表示", "-", "終了"}));
    QTRY_VERIFY(program.main().isVisible()); // carried out once the menu has closed

    chooseFromNextPopup(QString()); // dismissed: nothing happens
    program.main().trayClick(1);
    program.main().mnu_Popup(1);
    QVERIFY(program.main().isVisible());
    QCOMPARE(program.ended, 0);

    chooseFromNextPopup(QStringLiteral("終了"));
    program.main().trayClick(1);
    QTRY_COMPARE(program.ended, 1);
}

void ShutdownTrayTest::goingToTheTray()
{
    TestFolder folder;
    TestProgram program;
    program.start();
    program.control<QPushButton>("Command1")->click();
    TrayControl &tray = program.main().trayControl();
    QVERIFY(!tray.TrayIcon().isNull());
    QVERIFY(!tray.TrayTip().isEmpty());
    if (TrayControl::available())
        QVERIFY(!program.main().isVisible());
    else
        QVERIFY(program.main().isMinimized()); // no tray: the window must stay reachable
    program.main().mnu_Popup(0);
    QVERIFY(program.main().isVisible());
    QVERIFY(!program.main().isMinimized());
}

void ShutdownTrayTest::generalDate_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QDateTime>("when");
    QTest::addColumn<QString>("text");
    const QLocale japanese(QLocale::Japanese, QLocale::Japan);
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    QTest::addRow("japanese") << japanese << QDateTime(QDate(2003, 3, 21), QTime(9, 5, 7)) << "2003/03/21 9:05:07";
    QTest::addRow("midnight") << japanese << QDateTime(QDate(2003, 3, 21), QTime(0, 0)) << "2003/03/21";
    QTest::addRow("one second past") << japanese << QDateTime(QDate(2003, 3, 21), QTime(0, 0, 1))
                                     << "2003/03/21 0:00:01";
    QTest::addRow("english") << english << QDateTime(QDate(2003, 3, 21), QTime(21, 5, 7)) << "3/21/03 9:05:07 PM";
}

void ShutdownTrayTest::generalDate()
{
    QFETCH(QLocale, locale);
    QFETCH(QDateTime, when);
    QFETCH(QString, text);
    QCOMPARE(GeneralDate::format(when, locale), text);
}

QTEST_MAIN(ShutdownTrayTest)
#include "ShutdownTrayTest.moc"
