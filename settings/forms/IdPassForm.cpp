#include "IdPassForm.h"

#include "ProfileFile.h"
#include "ProgramPaths.h"
#include "SettingsKeys.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

IdPassForm::IdPassForm(Account &account, QWidget *parent) : Form(parent), m_account(account)
{
    setObjectName(QStringLiteral("IdPassForm"));
    setWindowTitle(QStringLiteral("ID,PASS"));
    setClientSizeTwips(2880, 1785);

    auto *label1 = new QLabel(QStringLiteral("ID"), this);
    label1->setObjectName(QStringLiteral("Label1"));
    m_idText = new QLineEdit(this);
    m_idText->setObjectName(QStringLiteral("IdText"));
    auto *passwordLabel = new QLabel(QStringLiteral("Password"), this);
    passwordLabel->setObjectName(QStringLiteral("Label2_0"));
    m_passText = new QLineEdit(this);
    m_passText->setObjectName(QStringLiteral("PassText"));
    m_passText->setEchoMode(QLineEdit::Password);
    // The platform mask is often a bullet; the password box shows one asterisk per character typed.
    m_passText->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));
    m_saveCheck = new QCheckBox(this);
    m_saveCheck->setObjectName(QStringLiteral("Check1"));
    m_saveCheck->setAccessibleName(QStringLiteral("IDパスワードを保存する"));
    auto *saveLabel = colouredLabel(QStringLiteral("IDパスワードを保存する"), "Label2_1", QColor(0, 0, 255), this);
    const OkCancel buttons = addOkCancel(
        QStringLiteral("OK"), QStringLiteral("Cancel"), [this] { okClicked(); }, Enter::PressesOk);

    place({
        {label1, 120, 180, 675, 255},
        {m_idText, 960, 120, 1632, 264},
        {passwordLabel, 120, 600, 795, 255},
        {m_passText, 960, 600, 1632, 264},
        {m_saveCheck, 420, 1020, 255, 255},
        {saveLabel, 780, 1020, 1875, 255},
        {buttons.ok, 900, 1380, 852, 312},
        {buttons.cancel, 1860, 1380, 852, 312},
    });
    setTabChain({m_idText, m_passText, buttons.ok, buttons.cancel, m_saveCheck});
}

void IdPassForm::load()
{
    const ProfileFile file(ProgramPaths::accountFile());
    m_idText->setText(file.readString(SettingsKeys::UserId));
    m_passText->setText(file.readString(SettingsKeys::Password));
}

QString IdPassForm::idText() const
{
    return m_idText->text();
}

QString IdPassForm::passText() const
{
    return m_passText->text();
}

void IdPassForm::setIdText(const QString &text)
{
    m_idText->setText(text);
}

void IdPassForm::setPassText(const QString &text)
{
    m_passText->setText(text);
}

void IdPassForm::okClicked()
{
    m_account.id = m_idText->text();
    m_account.password = m_passText->text();

    ProfileFile file(ProgramPaths::accountFile(), ProfileFile::Access::OwnerOnly);
    if (m_saveCheck->isChecked()) {
        file.writeString(SettingsKeys::UserId, m_account.id);
        file.writeString(SettingsKeys::Password, m_account.password);
        file.writeString(SettingsKeys::AccountSaved, SettingsKeys::checkBoxText(true));
    } else {
        file.writeString(SettingsKeys::AccountSaved, SettingsKeys::checkBoxText(false));
    }
    close();
}
