#include "DialogTestSupport.h"
#include "OptionForm.h"
#include "SetForm.h"
#include "TestFolder.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QScopeGuard>
#include <QtTest>

namespace {

const ServerSettings Previous{QStringLiteral("smtp.old.test"), QStringLiteral("pop.old.test"),
                              QStringLiteral("old@example.test"), 1};
const QByteArray PreviousFile = "SMTP=smtp.old.test\r\nPOP3=pop.old.test\r\nMAIL=old@example.test\r\nAPOP=1\r\n";

QString vbmailPath(const TestFolder &folder)
{
    return folder.currentFolder() + QStringLiteral("/vbmail.ini");
}

bool canCreateFileIn(const QString &directory)
{
    QFile probe(directory + QStringLiteral("/probe"));
    return probe.open(QIODevice::WriteOnly) && probe.remove();
}

// Replaces a box's text the way a user does: select everything and type over it.
void retype(QLineEdit *box, const QString &text)
{
    QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(box, Qt::Key_Delete);
    QTest::keyClicks(box, text);
}

} // namespace

class OptionFormTest final : public QObject {
    Q_OBJECT

private slots:
    void loadShowsProgramWideValues();
    void okStoresFieldsAndFile_data();
    void okStoresFieldsAndFile();
    void discardLeavesEverything_data();
    void discardLeavesEverything();
    void enterInTextBoxDoesNotSave_data();
    void enterInTextBoxDoesNotSave();
    void unwritableCurrentDirectory();
    void tabOrderAndAccessKeys();
    void openingAgainKeepsOneWindow();
};

void OptionFormTest::loadShowsProgramWideValues()
{
    TestFolder folder;
    Program program;
    program.state.server = {QStringLiteral("smtp.example.test"), QStringLiteral("pop.example.test"),
                            QStringLiteral("メール@example.test"), 1};
    OptionForm &form = program.forms.optionForm();
    QVERIFY(form.isVisible());
    QVERIFY(form.windowFlags() & Qt::WindowStaysOnTopHint);
    QVERIFY(!form.isModal());
    QCOMPARE(control<QLineEdit>(form, "SmtpText")->text(), program.state.server.smtp);
    QCOMPARE(control<QLineEdit>(form, "Pop3Text")->text(), program.state.server.pop3);
    QCOMPARE(control<QLineEdit>(form, "MailText")->text(), program.state.server.mail);
    QVERIFY(control<QCheckBox>(form, "ApopCheck")->isChecked());
    QVERIFY(!folder.exists(vbmailPath(folder))); // showing writes nothing
}

void OptionFormTest::okStoresFieldsAndFile_data()
{
    QTest::addColumn<QString>("smtp");
    QTest::addColumn<QString>("pop3");
    QTest::addColumn<QString>("mail");
    QTest::addColumn<bool>("apop");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addRow("plain, APOP on") << "smtp.example.test"
                                    << "pop.example.test"
                                    << "a@example.test" << true
                                    << QByteArray("SMTP=smtp.example.test\r\nPOP3=pop.example.test\r\n"
                                                  "MAIL=a@example.test\r\nAPOP=1\r\n");
    // Blanks stay as typed; emptied boxes give empty values.
    QTest::addRow("blanks and empties, APOP off")
        << ""
        << " pop.example.test "
        << "" << false << QByteArray("SMTP=\r\nPOP3= pop.example.test \r\nMAIL=\r\nAPOP=0\r\n");
    QTest::addRow("japanese") << "smtp.example.test"
                              << "pop.example.test"
                              << "メール@example.test" << false
                              << QByteArray("SMTP=smtp.example.test\r\nPOP3=pop.example.test\r\n"
                                            "MAIL=\x83\x81\x81\x5B\x83\x8B@example.test\r\nAPOP=0\r\n");
}

void OptionFormTest::okStoresFieldsAndFile()
{
    QFETCH(QString, smtp);
    QFETCH(QString, pop3);
    QFETCH(QString, mail);
    QFETCH(bool, apop);
    QFETCH(QByteArray, bytes);

    TestFolder folder;
    // A longer file with extra lines is replaced, not merged.
    folder.write(vbmailPath(folder), PreviousFile + "EXTRA=kept?\r\n");
    Program program;
    program.state.server = Previous;
    QPointer<OptionForm> form = &program.forms.optionForm();

    retype(control<QLineEdit>(*form, "SmtpText"), smtp);
    retype(control<QLineEdit>(*form, "Pop3Text"), pop3);
    auto *mailText = control<QLineEdit>(*form, "MailText");
    retype(mailText, QString());
    QInputMethodEvent commit; // the way a Japanese address arrives from the input method
    commit.setCommitString(mail);
    QCoreApplication::sendEvent(mailText, &commit);
    auto *apopCheck = control<QCheckBox>(*form, "ApopCheck");
    if (apopCheck->isChecked() != apop)
        QTest::mouseClick(apopCheck, Qt::LeftButton, {}, QPoint(4, apopCheck->height() / 2));
    QCOMPARE(apopCheck->isChecked(), apop);

    control<QPushButton>(*form, "OKCommand")->click();

    const ServerSettings expected{smtp, pop3, mail, qint16(apop ? 1 : 0)};
    QCOMPARE(program.state.server, expected);
    QCOMPARE(folder.read(vbmailPath(folder)), bytes);
    QVERIFY(!program.forms.isOptionFormLoaded());
    settle();
    QVERIFY(form.isNull());

    OptionForm &again = program.forms.optionForm();
    QCOMPARE(control<QLineEdit>(again, "SmtpText")->text(), smtp);
    QCOMPARE(control<QLineEdit>(again, "Pop3Text")->text(), pop3);
    QCOMPARE(control<QLineEdit>(again, "MailText")->text(), mail);
    QCOMPARE(control<QCheckBox>(again, "ApopCheck")->isChecked(), apop);
}

void OptionFormTest::discardLeavesEverything_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("fileExists");
    for (const char *how : {"cancel", "escape", "close box"}) {
        QTest::addRow("%s, no file", how) << how << false;
        QTest::addRow("%s, file", how) << how << true;
    }
}

void OptionFormTest::discardLeavesEverything()
{
    QFETCH(QString, how);
    QFETCH(bool, fileExists);

    TestFolder folder;
    if (fileExists)
        folder.write(vbmailPath(folder), PreviousFile);
    Program program;
    program.state.server = Previous;
    QPointer<OptionForm> form = &program.forms.optionForm();
    auto *pop3Text = control<QLineEdit>(*form, "Pop3Text");
    retype(control<QLineEdit>(*form, "SmtpText"), QStringLiteral("smtp.new.test"));
    retype(pop3Text, QStringLiteral("pop.new.test"));
    control<QCheckBox>(*form, "ApopCheck")->setChecked(false);

    if (how == u"cancel")
        control<QPushButton>(*form, "CancelCommand")->click();
    else if (how == u"escape")
        QTest::keyClick(pop3Text, Qt::Key_Escape);
    else
        form->close();

    QVERIFY(!program.forms.isOptionFormLoaded());
    settle();
    QVERIFY(form.isNull());
    QCOMPARE(program.state.server, Previous);
    QCOMPARE(folder.exists(vbmailPath(folder)), fileExists);
    if (fileExists)
        QCOMPARE(folder.read(vbmailPath(folder)), PreviousFile);

    OptionForm &again = program.forms.optionForm();
    QCOMPARE(control<QLineEdit>(again, "SmtpText")->text(), Previous.smtp);
    QCOMPARE(control<QLineEdit>(again, "Pop3Text")->text(), Previous.pop3);
    QVERIFY(control<QCheckBox>(again, "ApopCheck")->isChecked());
}

void OptionFormTest::enterInTextBoxDoesNotSave_data()
{
    QTest::addColumn<QByteArray>("box");
    QTest::addColumn<int>("key");
    for (const char *box : {"SmtpText", "Pop3Text", "MailText"}) {
        QTest::addRow("%s, Return", box) << QByteArray(box) << int(Qt::Key_Return);
        QTest::addRow("%s, Enter", box) << QByteArray(box) << int(Qt::Key_Enter);
    }
}

void OptionFormTest::enterInTextBoxDoesNotSave()
{
    QFETCH(QByteArray, box);
    QFETCH(int, key);

    TestFolder folder;
    Program program;
    program.state.server = Previous;
    OptionForm &form = program.forms.optionForm();
    auto *text = control<QLineEdit>(form, box.constData());
    retype(text, QStringLiteral("changed.test"));
    QTest::keyClick(text, Qt::Key(key));

    QVERIFY(program.forms.isOptionFormLoaded());
    QVERIFY(form.isVisible());
    QCOMPARE(program.state.server, Previous);
    QVERIFY(!folder.exists(vbmailPath(folder)));
}

void OptionFormTest::unwritableCurrentDirectory()
{
    TestFolder folder;
    const QString current = folder.currentFolder();
    const auto permissions = QFile::permissions(current);
    const auto unlock = qScopeGuard([&] {
        QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), current});
        QFile::setPermissions(current, permissions);
    });
    // Permission bits stop anyone but root; root is stopped by the immutable attribute only.
    QFile::setPermissions(current, QFile::ReadOwner | QFile::ExeOwner | QFile::ReadUser | QFile::ExeUser);
    if (canCreateFileIn(current))
        QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("+i"), current});
    if (canCreateFileIn(current))
        QSKIP("the current directory cannot be made unwritable here (no chattr +i on this file system)");

    Program program;
    program.state.server = Previous;
    QPointer<OptionForm> form = &program.forms.optionForm();
    retype(control<QLineEdit>(*form, "Pop3Text"), QStringLiteral("pop.new.test"));
    control<QCheckBox>(*form, "ApopCheck")->setChecked(false);

    MessageBoxCloser closer;
    control<QPushButton>(*form, "OKCommand")->click();

    QCOMPARE(closer.texts.size(), 1);
    QVERIFY2(closer.texts.first().contains(QStringLiteral("vbmail.ini")), qPrintable(closer.texts.first()));
    ServerSettings expected = Previous;
    expected.pop3 = QStringLiteral("pop.new.test");
    expected.apop = 0;
    QCOMPARE(program.state.server, expected);
    QVERIFY(!program.forms.isOptionFormLoaded());
    settle();
    QVERIFY(form.isNull());
    QVERIFY(!folder.exists(vbmailPath(folder)));
    QCOMPARE(control<QLineEdit>(program.forms.optionForm(), "Pop3Text")->text(), expected.pop3);
}

void OptionFormTest::tabOrderAndAccessKeys()
{
    TestFolder folder;
    Program program;
    OptionForm &form = program.forms.optionForm();
    QVERIFY(QTest::qWaitForWindowActive(&form));

    const QStringList order{"SmtpText", "Pop3Text", "ApopCheck", "OKCommand", "CancelCommand", "MailText", "SmtpText"};
    control<QWidget>(form, "SmtpText")->setFocus(Qt::OtherFocusReason);
    for (qsizetype i = 1; i < order.size(); ++i) {
        QTest::keyClick(form.focusWidget(), Qt::Key_Tab);
        QCOMPARE(form.focusWidget()->objectName(), order[i]);
    }
    QTest::keyClick(form.focusWidget(), Qt::Key_Backtab);
    QCOMPARE(form.focusWidget()->objectName(), QStringLiteral("MailText"));

    const struct {
        Qt::Key key;
        const char *target;
    } accessKeys[] = {{Qt::Key_P, "Pop3Text"}, {Qt::Key_M, "MailText"}, {Qt::Key_S, "SmtpText"}};
    for (const auto &access : accessKeys) {
        QTest::keyClick(form.focusWidget(), access.key, Qt::AltModifier);
        QCOMPARE(form.focusWidget()->objectName(), QLatin1String(access.target));
    }
}

void OptionFormTest::openingAgainKeepsOneWindow()
{
    TestFolder folder;
    Program program;
    SetForm &setForm = program.forms.setForm();
    setForm.showModeless();
    auto *command2 = control<QPushButton>(setForm, "Command2");
    command2->click();
    OptionForm *form = &program.forms.optionForm();
    QVERIFY(QTest::qWaitForWindowActive(form));

    // The settings window comes forward, then the button brings the open dialog back in front.
    setForm.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&setForm));
    control<QLineEdit>(*form, "SmtpText")->setText(QStringLiteral("typed.test"));
    command2->click();
    QVERIFY(QTest::qWaitForWindowActive(form));
    QCOMPARE(&program.forms.optionForm(), form);
    QCOMPARE(topLevelCount("OptionForm"), 1);
    // The same window, edits and all: it was not loaded afresh.
    QCOMPARE(control<QLineEdit>(*form, "SmtpText")->text(), QStringLiteral("typed.test"));
    QVERIFY(setForm.isVisible());
}

QTEST_MAIN(OptionFormTest)
#include "tst_OptionForm.moc"
