#include "OptionForm.h"

#include "ServerSettingsFile.h"

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

namespace {

const QColor Blue(0, 0, 255);

QLineEdit *textBox(const char *name, QWidget *parent)
{
    auto *box = new QLineEdit(parent);
    box->setObjectName(QLatin1String(name));
    return box;
}

} // namespace

OptionForm::OptionForm(ServerSettings &settings, QWidget *parent) : Form(parent), m_settings(settings)
{
    setObjectName(QStringLiteral("OptionForm"));
    setWindowTitle(QStringLiteral("サーバー設定"));
    setClientSizeTwips(2895, 3015);
    setCentredWhenFirstShown(true);

    auto *label1 = colouredLabel(QStringLiteral("SMTPサーバー名(&S)"), "Label1", Blue, this);
    m_smtpText = textBox("SmtpText", this);
    auto *label2 = colouredLabel(QStringLiteral("POP3サーバー名(&P)"), "Label2", Blue, this);
    m_pop3Text = textBox("Pop3Text", this);
    auto *label3 = colouredLabel(QStringLiteral("メールアドレス(&M)"), "Label3", Blue, this);
    m_mailText = textBox("MailText", this);
    m_apopCheck = new QCheckBox(QStringLiteral("APOP を使用する(&A)"), this);
    m_apopCheck->setObjectName(QStringLiteral("ApopCheck"));
    QPalette checkPalette = m_apopCheck->palette();
    checkPalette.setColor(QPalette::WindowText, Blue);
    m_apopCheck->setPalette(checkPalette);
    // "設定" is not the default button: Enter in a text box must not save.
    const OkCancel buttons = addOkCancel(
        QStringLiteral("設定"), QStringLiteral("中止"), [this] { okClicked(); }, Enter::PressesNothing);

    place({
        {label1, 120, 120, 1575, 195},
        {m_smtpText, 120, 360, 2652, 264},
        {label2, 120, 720, 1635, 195},
        {m_pop3Text, 120, 960, 2652, 264},
        {label3, 120, 1320, 1635, 195},
        {m_mailText, 120, 1560, 2652, 264},
        {m_apopCheck, 480, 2040, 2172, 252},
        {buttons.ok, 660, 2520, 972, 372},
        {buttons.cancel, 1860, 2520, 912, 372},
    });
    label1->setBuddy(m_smtpText);
    label2->setBuddy(m_pop3Text);
    label3->setBuddy(m_mailText);
    setTabChain({m_smtpText, m_pop3Text, m_apopCheck, buttons.ok, buttons.cancel, m_mailText});
}

void OptionForm::load()
{
    setTopMost();
    showModeless();
    m_smtpText->setText(m_settings.smtp);
    m_pop3Text->setText(m_settings.pop3);
    m_mailText->setText(m_settings.mail);
    m_apopCheck->setChecked(m_settings.apop != 0);
}

void OptionForm::okClicked()
{
    m_settings.smtp = m_smtpText->text();
    m_settings.pop3 = m_pop3Text->text();
    m_settings.mail = m_mailText->text();
    m_settings.apop = m_apopCheck->isChecked() ? 1 : 0;

    const QString path = ServerSettingsFile::currentPath();
    if (!ServerSettingsFile::write(path, m_settings)) {
        // The new values stay in force for this run; the user must know they will be gone next time.
        QMessageBox::warning(this, QStringLiteral("サーバー設定"),
                             QStringLiteral("設定をファイルに保存できませんでした。\n%1\n\n"
                                            "この設定はプログラムを終了するまで有効です。")
                                 .arg(QDir::toNativeSeparators(path)));
    }
    close();
}
