#include "DialogTestSupport.h"
#include "IdPassForm.h"
#include "MainForm.h"
#include "OptionForm.h"
#include "SetForm.h"
#include "TestFolder.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

namespace {

const QByteArray CheckSettings = "[EXEINI]\r\nNUMBER=0\r\nNUMBER2=3\r\nNAME=/usr/bin/mailer\r\n";
const QByteArray FolderSettings = "[EXEINI]\r\nNAME=stale\r\nKEEP=1\r\n";
const QByteArray FolderSettingsCleaned = "[EXEINI]\r\nKEEP=1\r\n";

QString checkSettingsPath(const TestFolder &folder)
{
    return folder.dataFile(QStringLiteral("ini.ini"));
}

QString folderSettingsPath(const TestFolder &folder)
{
    return folder.programFolder() + QStringLiteral("/ini.ini");
}

// A started program whose server and account are complete, so no other dialog comes up.
void prepare(const TestFolder &folder, const QByteArray &checkSettings)
{
    folder.write(folder.currentFolder() + QStringLiteral("/vbmail.ini"), "POP3=pop.example.test\r\n");
    folder.write(folder.dataFile(QStringLiteral("iniIdPass.ini")), "[EXEINI]\r\nNAME=alice\r\nNAME2=secret\r\n");
    folder.write(checkSettingsPath(folder), checkSettings);
    folder.write(folderSettingsPath(folder), FolderSettings);
}

// What the main window's green panel shows of the interval.
struct Panel {
    QString label;
    bool check3;
    QString text5;
    int timerInterval;
    bool timerActive;

    static Panel of(const MainForm &main)
    {
        const auto *timer3 = main.findChild<QTimer *>(QStringLiteral("Timer3"));
        return {control<QLabel>(main, "Label2_1")->text(), control<QCheckBox>(main, "Check3")->isChecked(),
                control<QLineEdit>(main, "Text5")->text(), timer3->interval(), timer3->isActive()};
    }
    bool operator==(const Panel &) const = default;
};

char *toString(const Panel &panel)
{
    return QTest::toString(QStringLiteral("%1 check3=%2 text5=%3 timer=%4%5")
                               .arg(panel.label)
                               .arg(panel.check3)
                               .arg(panel.text5)
                               .arg(panel.timerInterval)
                               .arg(panel.timerActive ? " running" : " stopped"));
}

const Panel On3{QStringLiteral("ON"), true, QStringLiteral("3"), 1000, true};

} // namespace

Q_DECLARE_METATYPE(Panel)

class SetFormTest final : public QObject {
    Q_OBJECT

private slots:
    void loadReadsTheFile_data();
    void loadReadsTheFile();
    void typingTheInterval_data();
    void typingTheInterval();
    void closeSavesAndStartRestores();
    void escapeAndEnterDoNothing();
    void buttonsOpenTheOtherDialogs();
};

void SetFormTest::loadReadsTheFile_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<bool>("check1");
    QTest::addColumn<QString>("text2");
    QTest::newRow("ticked, 7") << QByteArray("[EXEINI]\r\nNUMBER=1\r\nNUMBER2=7\r\n") << true << "7";
    QTest::newRow("unticked, word") << QByteArray("[EXEINI]\r\nNUMBER=0\r\nNUMBER2=abc\r\n") << false << "0";
    QTest::newRow("other number, negative") << QByteArray("[EXEINI]\r\nNUMBER=5\r\nNUMBER2=-2\r\n") << false << "-2";
    QTest::newRow("no file") << QByteArray() << false << "0";
}

void SetFormTest::loadReadsTheFile()
{
    QFETCH(QByteArray, file);
    QFETCH(bool, check1);
    QFETCH(QString, text2);

    TestFolder folder;
    if (!file.isEmpty())
        folder.write(checkSettingsPath(folder), file);
    Program program;
    SetForm &form = program.forms.setForm();
    QCOMPARE(control<QCheckBox>(form, "Check1")->isChecked(), check1);
    QCOMPARE(control<QLineEdit>(form, "Text2")->text(), text2);
}

void SetFormTest::typingTheInterval_data()
{
    QTest::addColumn<QString>("typed");   // typed over the whole text; null: not typed over
    QTest::addColumn<QString>("atStart"); // then typed in front of the text
    QTest::addColumn<QString>("text2");
    QTest::addColumn<Panel>("panel");
    QTest::addColumn<QByteArray>("number2"); // what the file then holds; empty: the file was not written
    QTest::addColumn<QString>("reloaded");

    // Typed as "-" in front of "3": a lone "-" on the way would itself count as 0.
    QTest::newRow("-3") << QString() << "-"
                        << "-3" << On3 << QByteArray() << "-3";
    QTest::newRow("abc") << "abc"
                         << ""
                         << "abc" << Panel{"OFF", false, "abc", 0, false} << QByteArray("abc") << "0";
    QTest::newRow("1.5") << "1.5"
                         << ""
                         << "1.5" << Panel{"ON", true, "1.5", 1000, true} << QByteArray() << "1";
    QTest::newRow("empty") << "\b"
                           << ""
                           << "0" << Panel{"OFF", false, "0", 0, false} << QByteArray("0") << "0";
    QTest::newRow("10") << "10"
                        << ""
                        << "10" << Panel{"ON", true, "10", 1000, true} << QByteArray() << "10";
}

void SetFormTest::typingTheInterval()
{
    QFETCH(QString, typed);
    QFETCH(QString, atStart);
    QFETCH(QString, text2);
    QFETCH(Panel, panel);
    QFETCH(QByteArray, number2);
    QFETCH(QString, reloaded);

    TestFolder folder;
    prepare(folder, CheckSettings);
    Program program;
    MainForm &main = program.forms.mainForm();
    main.load();
    QCOMPARE(Panel::of(main), On3);

    QPointer<SetForm> form = &program.forms.setForm();
    form->showModeless();
    auto *text2Box = control<QLineEdit>(*form, "Text2");
    if (!typed.isNull()) {
        QTest::keyClick(text2Box, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(text2Box, typed);
    }
    QTest::keyClick(text2Box, Qt::Key_Home);
    QTest::keyClicks(text2Box, atStart);

    QCOMPARE(text2Box->text(), text2);
    QCOMPARE(Panel::of(main), panel);
    const auto withNumber2 = [](const QByteArray &value) {
        return "[EXEINI]\r\nNUMBER=0\r\nNUMBER2=" + value + "\r\nNAME=/usr/bin/mailer\r\n";
    };
    // A change to 0 also drops the folder's stale NAME; the data folder's NAME is the mail program and stays.
    QCOMPARE(folder.read(checkSettingsPath(folder)), number2.isEmpty() ? CheckSettings : withNumber2(number2));
    QCOMPARE(folder.read(folderSettingsPath(folder)), number2.isEmpty() ? FolderSettings : FolderSettingsCleaned);

    form->close();
    QVERIFY(!program.forms.isSetFormLoaded());
    QCOMPARE(folder.read(checkSettingsPath(folder)), withNumber2(text2.toLatin1()));
    QCOMPARE(folder.read(folderSettingsPath(folder)), FolderSettingsCleaned);
    settle();
    QVERIFY(form.isNull());
    QCOMPARE(program.forms.setForm().text2(), reloaded);
}

void SetFormTest::closeSavesAndStartRestores()
{
    TestFolder folder;
    prepare(folder, CheckSettings);
    {
        Program program;
        program.forms.mainForm().load();
        SetForm &form = program.forms.setForm();
        form.showModeless();
        auto *check1 = control<QCheckBox>(form, "Check1");
        QTest::mouseClick(check1, Qt::LeftButton, {}, check1->rect().center());
        auto *text2Box = control<QLineEdit>(form, "Text2");
        QTest::keyClick(text2Box, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(text2Box, QStringLiteral("10"));
        form.close();
        QCOMPARE(folder.read(checkSettingsPath(folder)),
                 QByteArray("[EXEINI]\r\nNUMBER=1\r\nNUMBER2=10\r\nNAME=/usr/bin/mailer\r\n"));
        QCOMPARE(folder.read(folderSettingsPath(folder)), FolderSettingsCleaned);
    }

    Program restarted;
    MainForm &main = restarted.forms.mainForm();
    main.load();
    QVERIFY(control<QCheckBox>(restarted.forms.setForm(), "Check1")->isChecked());
    QCOMPARE(restarted.forms.setForm().text2(), QStringLiteral("10"));
    QCOMPARE(Panel::of(main), (Panel{"ON", true, "10", 1000, true}));
}

void SetFormTest::escapeAndEnterDoNothing()
{
    TestFolder folder;
    prepare(folder, CheckSettings);
    Program program;
    program.forms.mainForm().load();
    SetForm &form = program.forms.setForm();
    form.showModeless();
    auto *text2Box = control<QLineEdit>(form, "Text2");
    QTest::keyClick(&form, Qt::Key_Escape);
    QTest::keyClick(text2Box, Qt::Key_Escape);
    QTest::keyClick(text2Box, Qt::Key_Return);
    QTest::keyClick(text2Box, Qt::Key_Enter);

    // There is no OK or cancel button: the window stays until it is closed.
    QVERIFY(program.forms.isSetFormLoaded());
    QVERIFY(form.isVisible());
    QCOMPARE(folder.read(checkSettingsPath(folder)), CheckSettings);
    QCOMPARE(folder.read(folderSettingsPath(folder)), FolderSettings);
}

void SetFormTest::buttonsOpenTheOtherDialogs()
{
    TestFolder folder;
    prepare(folder, CheckSettings);
    Program program;
    program.forms.mainForm().load();
    QVERIFY(!program.forms.idPassForm().isVisible());
    QVERIFY(!program.forms.isOptionFormLoaded());
    SetForm &form = program.forms.setForm();
    form.showModeless();

    control<QPushButton>(form, "Command1")->click();
    QVERIFY(program.forms.idPassForm().isVisible());
    QCOMPARE(program.forms.idPassForm().idText(), QStringLiteral("alice"));
    control<QPushButton>(form, "Command2")->click();
    QVERIFY(program.forms.isOptionFormLoaded());
    QVERIFY(program.forms.optionForm().isVisible());
    QCOMPARE(control<QLineEdit>(program.forms.optionForm(), "Pop3Text")->text(), QStringLiteral("pop.example.test"));

    QVERIFY(program.forms.isSetFormLoaded());
    QVERIFY(form.isVisible());
    QCOMPARE(folder.read(checkSettingsPath(folder)), CheckSettings);
}

QTEST_MAIN(SetFormTest)
#include "tst_SetForm.moc"
