#pragma once

#include "Form.h"
#include "ServerSettings.h"

class QCheckBox;
class QLineEdit;

// "ID,PASS": the POP3 user ID and password. OK hands them to the program and, with the save box
// ticked, stores them in the account file; cancel, Esc and the close box change nothing.
class IdPassForm final : public Form {
    Q_OBJECT

public:
    explicit IdPassForm(Account &account, QWidget *parent = nullptr);

    // Fills both boxes from the account file; the save box stays unticked.
    void load();

    QString idText() const;
    QString passText() const;
    void setIdText(const QString &text);
    void setPassText(const QString &text);

private:
    void okClicked();

    Account &m_account;
    QLineEdit *m_idText;
    QLineEdit *m_passText;
    QCheckBox *m_saveCheck;
};
