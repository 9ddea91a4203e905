#pragma once

#include <QString>

#include <optional>

// Keys of the profile files, all in the section EXEINI.
namespace SettingsKeys {

// ★MailData/ini.ini
inline const QString HangUp = QStringLiteral("NUMBER");       // "1"/"0": hang up dial-up after a check
inline const QString Interval = QStringLiteral("NUMBER2");    // check interval in minutes, as typed
inline const QString StartMailer = QStringLiteral("NUMBER3"); // "1"/"0": start the mail program on new mail
inline const QString MailProgram = QStringLiteral("NAME");    // path of the mail program

// ★MailData/iniIdPass.ini
inline const QString UserId = QStringLiteral("NAME");
inline const QString Password = QStringLiteral("NAME2");
inline const QString AccountSaved = QStringLiteral("NAME3");

// ini.ini in the program folder: only ever has NAME removed.
inline const QString StaleMailProgram = QStringLiteral("NAME");

// The marker of a mail program not yet chosen.
inline const QString NotSet = QStringLiteral("未設定");

// Check boxes are stored as "1"/"0"; on reading, any other number leaves the box as it is.
inline std::optional<bool> checkBoxState(qint32 stored)
{
    if (stored == 1)
        return true;
    if (stored == 0)
        return false;
    return std::nullopt;
}

inline QString checkBoxText(bool checked)
{
    return checked ? QStringLiteral("1") : QStringLiteral("0");
}

} // namespace SettingsKeys
