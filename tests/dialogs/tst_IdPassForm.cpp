#include "DialogTestSupport.h"
#include "IdPassForm.h"
#include "TestFolder.h"

#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include <sys/stat.h>

namespace {

const QByteArray StoredAccount = "[EXEINI]\r\nNAME=alice\r\nNAME2=secret\r\nNAME3=1\r\n";

QString accountPath(const TestFolder &folder)
{
    return folder.dataFile(QStringLiteral("iniIdPass.ini"));
}

// Types into a box over whatever it holds; non-ASCII text comes in as an input method commit.
void retype(QLineEdit *box, const QString &text)
{
    QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(box, Qt::Key_Delete);
    QInputMethodEvent commit;
    commit.setCommitString(text);
    QCoreApplication::sendEvent(box, &commit);
}

int fileMode(const QString &path)
{
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 07777) : -1;
}

void tickSaveBox(IdPassForm &form)
{
    auto *check = control<QCheckBox>(form, "Check1");
    QTest::mouseClick(check, Qt::LeftButton, {}, check->rect().center());
    QVERIFY(check->isChecked());
}

} // namespace

class IdPassFormTest final : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void loadShowsFileAndMasksPassword();
    void okWithSaveBoxWritesAccount_data();
    void okWithSaveBoxWritesAccount();
    void okWithoutSaveBoxWritesOnlyTheFlag_data();
    void okWithoutSaveBoxWritesOnlyTheFlag();
    void discardChangesNothing_data();
    void discardChangesNothing();
    void enterInTextBoxPressesOk_data();
    void enterInTextBoxPressesOk();
    void longIdIsCutOnReading();
};

void IdPassFormTest::initTestCase()
{
    ::umask(022); // a usual umask, so that only the form can make a new account file private
}

void IdPassFormTest::loadShowsFileAndMasksPassword()
{
    TestFolder folder;
    folder.write(accountPath(folder), StoredAccount);
    Program program;
    IdPassForm &form = program.forms.idPassForm();
    QCOMPARE(control<QLineEdit>(form, "IdText")->text(), QStringLiteral("alice"));
    auto *passText = control<QLineEdit>(form, "PassText");
    QCOMPARE(passText->text(), QStringLiteral("secret"));
    QCOMPARE(passText->echoMode(), QLineEdit::Password);
    QCOMPARE(passText->displayText(), QStringLiteral("******"));
    // The file says the account was saved, yet the box starts unticked every time.
    QVERIFY(!control<QCheckBox>(form, "Check1")->isChecked());
    QCOMPARE(folder.read(accountPath(folder)), StoredAccount);
}

void IdPassFormTest::okWithSaveBoxWritesAccount_data()
{
    QTest::addColumn<QByteArray>("before"); // empty: no file
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QByteArray>("after");
    QTest::addRow("new file") << QByteArray() << "bob"
                              << "pa ss" << QByteArray("[EXEINI]\r\nNAME=bob\r\nNAME2=pa ss\r\nNAME3=1\r\n");
    QTest::addRow("japanese") << QByteArray() << "山田太郎"
                              << "ぱすわーど"
                              << QByteArray("[EXEINI]\r\nNAME=\x8e\x52\x93\x63\x91\xbe\x98\x59\r\n"
                                            "NAME2=\x82\xcf\x82\xb7\x82\xed\x81\x5b\x82\xc7\r\nNAME3=1\r\n");
    // Values are replaced in place; other sections and keys keep their bytes.
    QTest::addRow("existing file")
        << QByteArray("[OTHER]\r\nNAME=x\r\n[EXEINI]\r\nNAME3=0\r\nNAME=alice\r\nNAME2=secret\r\nZ=1\r\n") << "bob"
        << "pw" << QByteArray("[OTHER]\r\nNAME=x\r\n[EXEINI]\r\nNAME3=1\r\nNAME=bob\r\nNAME2=pw\r\nZ=1\r\n");
}

void IdPassFormTest::okWithSaveBoxWritesAccount()
{
    QFETCH(QByteArray, before);
    QFETCH(QString, id);
    QFETCH(QString, password);
    QFETCH(QByteArray, after);

    TestFolder folder;
    if (!before.isEmpty())
        folder.write(accountPath(folder), before);
    Program program;
    QPointer<IdPassForm> form = &program.forms.idPassForm();
    form->showModeless();
    retype(control<QLineEdit>(*form, "IdText"), id);
    retype(control<QLineEdit>(*form, "PassText"), password);
    tickSaveBox(*form);
    control<QPushButton>(*form, "OKCommand")->click();

    QCOMPARE(folder.read(accountPath(folder)), after);
    if (before.isEmpty()) // it holds a password: only its owner may read it
        QCOMPARE(fileMode(accountPath(folder)), 0600);
    QCOMPARE(program.state.account.id, id);
    QCOMPARE(program.state.account.password, password);
    QVERIFY(!program.forms.isIdPassFormLoaded());
    settle();
    QVERIFY(form.isNull());

    IdPassForm &again = program.forms.idPassForm();
    QCOMPARE(again.idText(), id);
    QCOMPARE(again.passText(), password);
    QVERIFY(!control<QCheckBox>(again, "Check1")->isChecked());
}

void IdPassFormTest::okWithoutSaveBoxWritesOnlyTheFlag_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("after");
    QTest::addRow("no file") << QByteArray() << QByteArray("[EXEINI]\r\nNAME3=0\r\n");
    QTest::addRow("saved account") << StoredAccount
                                   << QByteArray("[EXEINI]\r\nNAME=alice\r\nNAME2=secret\r\nNAME3=0\r\n");
}

void IdPassFormTest::okWithoutSaveBoxWritesOnlyTheFlag()
{
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);

    TestFolder folder;
    if (!before.isEmpty())
        folder.write(accountPath(folder), before);
    Program program;
    IdPassForm &form = program.forms.idPassForm();
    retype(control<QLineEdit>(form, "IdText"), QStringLiteral("bob"));
    retype(control<QLineEdit>(form, "PassText"), QStringLiteral("typed"));
    control<QPushButton>(form, "OKCommand")->click();

    QCOMPARE(folder.read(accountPath(folder)), after);
    if (before.isEmpty())
        QCOMPARE(fileMode(accountPath(folder)), 0600);
    // The program logs in with what was typed even though it was not stored.
    QCOMPARE(program.state.account.id, QStringLiteral("bob"));
    QCOMPARE(program.state.account.password, QStringLiteral("typed"));
    QVERIFY(!program.forms.isIdPassFormLoaded());
    settle();

    IdPassForm &again = program.forms.idPassForm();
    QCOMPARE(again.idText(), before.isEmpty() ? QString() : QStringLiteral("alice"));
    QCOMPARE(again.passText(), before.isEmpty() ? QString() : QStringLiteral("secret"));
}

void IdPassFormTest::discardChangesNothing_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("cancel") << "cancel";
    QTest::newRow("escape") << "escape";
    QTest::newRow("close box") << "close box";
}

void IdPassFormTest::discardChangesNothing()
{
    QFETCH(QString, how);

    TestFolder folder;
    folder.write(accountPath(folder), StoredAccount);
    Program program;
    program.state.account = {QStringLiteral("inUse"), QStringLiteral("inUsePw")};
    QPointer<IdPassForm> form = &program.forms.idPassForm();
    auto *passText = control<QLineEdit>(*form, "PassText");
    retype(control<QLineEdit>(*form, "IdText"), QStringLiteral("bob"));
    retype(passText, QStringLiteral("typed"));
    tickSaveBox(*form);

    if (how == u"cancel")
        control<QPushButton>(*form, "CancelCommand")->click();
    else if (how == u"escape")
        QTest::keyClick(passText, Qt::Key_Escape);
    else
        form->close();

    QVERIFY(!program.forms.isIdPassFormLoaded());
    settle();
    QVERIFY(form.isNull());
    QCOMPARE(folder.read(accountPath(folder)), StoredAccount);
    QCOMPARE(program.state.account.id, QStringLiteral("inUse"));
    QCOMPARE(program.state.account.password, QStringLiteral("inUsePw"));
    QCOMPARE(program.forms.idPassForm().idText(), QStringLiteral("alice"));
    QCOMPARE(program.forms.idPassForm().passText(), QStringLiteral("secret"));
}

void IdPassFormTest::enterInTextBoxPressesOk_data()
{
    QTest::addColumn<QByteArray>("box");
    QTest::addColumn<int>("key");
    for (const char *box : {"IdText", "PassText"}) {
        QTest::addRow("%s, Return", box) << QByteArray(box) << int(Qt::Key_Return);
        QTest::addRow("%s, Enter", box) << QByteArray(box) << int(Qt::Key_Enter);
    }
}

void IdPassFormTest::enterInTextBoxPressesOk()
{
    QFETCH(QByteArray, box);
    QFETCH(int, key);

    TestFolder folder;
    Program program;
    IdPassForm &form = program.forms.idPassForm();
    form.showModeless();
    retype(control<QLineEdit>(form, "IdText"), QStringLiteral("bob"));
    retype(control<QLineEdit>(form, "PassText"), QStringLiteral("pw"));
    tickSaveBox(form);
    QTest::keyClick(control<QLineEdit>(form, box.constData()), Qt::Key(key));

    QVERIFY(!program.forms.isIdPassFormLoaded());
    QCOMPARE(folder.read(accountPath(folder)), QByteArray("[EXEINI]\r\nNAME=bob\r\nNAME2=pw\r\nNAME3=1\r\n"));
    QCOMPARE(program.state.account.id, QStringLiteral("bob"));
}

void IdPassFormTest::longIdIsCutOnReading()
{
    TestFolder folder;
    Program program;
    IdPassForm &form = program.forms.idPassForm();
    retype(control<QLineEdit>(form, "IdText"), QString(200, QChar(u'あ')));
    retype(control<QLineEdit>(form, "PassText"), QStringLiteral("pw"));
    tickSaveBox(form);
    control<QPushButton>(form, "OKCommand")->click();

    // Stored whole, read back as 255 bytes at most without half a character: 127 of them.
    QByteArray twoHundred;
    for (int i = 0; i < 200; ++i)
        twoHundred += "\x82\xa0";
    QCOMPARE(folder.read(accountPath(folder)), "[EXEINI]\r\nNAME=" + twoHundred + "\r\nNAME2=pw\r\nNAME3=1\r\n");
    QCOMPARE(program.state.account.id, QString(200, QChar(u'あ')));
    settle();
    QCOMPARE(program.forms.idPassForm().idText(), QString(127, QChar(u'あ')));
}

QTEST_MAIN(IdPassFormTest)
#include "tst_IdPassForm.moc"
