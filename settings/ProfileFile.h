#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// A settings file in the classic Windows profile (INI) layout, read and written with the rules of the
// Windows private-profile functions, so that files written by either side read the same:
// - section and key names are compared without regard to case; lines are "key=value", blanks around
//   the key and the value are ignored, a value in double quotes loses them, ';' starts a comment line;
// - a value is read cut to 255 bytes (never splitting a character);
// - the integer read takes the value's leading decimal number, 0 when missing, empty or not a number;
// - a write replaces the key's line in place and keeps every other byte of the file; a new key goes
//   after the last line of its section, a new section at the end;
// - a missing file is created by the first write, but only inside an existing folder: no folder is
//   ever created, and a missing folder or a read-only file turns writes into silent no-ops.
// Every operation opens and closes the file. Files are replaced atomically and keep their permissions.
class ProfileFile final {
public:
    static constexpr qsizetype MaxValueBytes = 255;
    static inline const QString DefaultSection = QStringLiteral("EXEINI");

    enum class Access { Shared, OwnerOnly };

    // OwnerOnly: a file that the first write creates is readable by its owner only (it holds a password).
    explicit ProfileFile(QString path, Access access = Access::Shared, QString section = DefaultSection);

    const QString &path() const { return m_path; }

    // The value, or defaultValue when the key is missing. An empty value gives the empty text.
    QString readString(const QString &key, const QString &defaultValue = QString()) const;
    qint32 readInt(const QString &key) const;

    // Both return whether the file now holds the change. The program ignores it: settings are saved silently.
    bool writeString(const QString &key, const QString &value);
    bool removeKey(const QString &key);

private:
    std::optional<QByteArray> rawValue(const QString &key) const;
    bool update(const QString &key, const std::optional<QString> &value);

    QString m_path;
    Access m_access;
    QByteArray m_section;
};
