#pragma once

#include "ServerSettings.h"

#include <QString>

// vbmail.ini: four lines "SMTP=", "POP3=", "MAIL=", "APOP=" with CR LF ends, in the current directory.
class ServerSettingsFile final {
public:
    static constexpr qsizetype MaxValueLength = 100;

    enum class ReadResult { Missing, Unreadable, Read };

    // The file's path in the current directory at the moment of the call.
    static QString currentPath();

    // Fills the values that the file holds; a later line for the same key wins. A missing or unreadable
    // file leaves every value as it was. An APOP value outside the 16-bit range counts as 0.
    static ReadResult read(const QString &path, ServerSettings &settings);

    // Replaces the file with exactly the four lines, atomically. False when it could not be written.
    static bool write(const QString &path, const ServerSettings &settings);
};
