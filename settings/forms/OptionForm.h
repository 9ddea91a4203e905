#pragma once

#include "Form.h"
#include "ServerSettings.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

// "サーバー設定": edits the program-wide server settings and saves them to vbmail.ini in the current
// directory on OK. Top-most; cancel, Esc and the close box discard the edits.
class OptionForm final : public Form {
    Q_OBJECT

public:
    explicit OptionForm(ServerSettings &settings, QWidget *parent = nullptr);

    // Makes the window top-most, shows it and fills the fields from the program-wide values.
    void load();

private:
    void okClicked();

    ServerSettings &m_settings;
    QLineEdit *m_smtpText;
    QLineEdit *m_pop3Text;
    QLineEdit *m_mailText;
    QCheckBox *m_apopCheck;
};
