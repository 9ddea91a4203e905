#pragma once

#include <QString>

// The program-wide server settings. Only the POP3 server name and the APOP flag are used by the mail
// check; the SMTP server name and the mail address are stored and shown.
struct ServerSettings {
    QString smtp;
    QString pop3;
    QString mail;
    qint16 apop = 0;

    bool operator==(const ServerSettings &) const = default;
};

// The program-wide account that the mail check logs in with.
struct Account {
    QString id;
    QString password;
};

// The values the whole program shares: filled at start, replaced by the dialogs' OK buttons, and the
// account also by every mail check from the account file.
struct ProgramState {
    ServerSettings server;
    Account account;
};
