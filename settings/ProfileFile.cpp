#include "ProfileFile.h"

#include "Cp932.h"
#include "FileLine.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <limits>

namespace {

QByteArrayView trimmedBlanks(QByteArrayView bytes)
{
    qsizetype begin = 0;
    qsizetype end = bytes.size();
    while (begin < end && (bytes[begin] == ' ' || bytes[begin] == '\t'))
        ++begin;
    while (end > begin && (bytes[end - 1] == ' ' || bytes[end - 1] == '\t'))
        --end;
    return bytes.sliced(begin, end - begin);
}

bool sameName(QByteArrayView a, QByteArrayView b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// The section name of a header line, or nothing when the line is not a header.
std::optional<QByteArrayView> sectionName(QByteArrayView trimmedLine)
{
    if (!trimmedLine.startsWith('['))
        return std::nullopt;
    const qsizetype close = trimmedLine.indexOf(']');
    return trimmedBlanks(trimmedLine.sliced(1, (close < 0 ? trimmedLine.size() : close) - 1));
}

// The key of a "key=value" line, or nothing for blank lines, comments and lines without '='.
// '=' (0x3D) never occurs inside a two-byte code page 932 character, so searching bytes is safe.
std::optional<QByteArrayView> keyOf(QByteArrayView trimmedLine)
{
    if (trimmedLine.isEmpty() || trimmedLine.startsWith(';'))
        return std::nullopt;
    const qsizetype equals = trimmedLine.indexOf('=');
    if (equals < 0)
        return std::nullopt;
    return trimmedBlanks(trimmedLine.first(equals));
}

struct KeyPosition {
    std::optional<FileLine> lastSectionLine; // last non-blank line of the first matching section (its header at least)
    std::optional<FileLine> keyLine;
};

KeyPosition findKey(QByteArrayView data, const QByteArray &section, const QByteArray &key)
{
    KeyPosition position;
    bool inSection = false;
    for (qsizetype start = 0; start < data.size();) {
        const FileLine line = FileLine::at(data, start);
        start = line.end;
        const QByteArrayView trimmed = trimmedBlanks(line.text);
        if (const auto name = sectionName(trimmed)) {
            if (inSection)
                break; // the key is looked for in the first matching section only
            inSection = sameName(*name, section);
            if (inSection)
                position.lastSectionLine = line;
            continue;
        }
        if (!inSection)
            continue;
        if (!trimmed.isEmpty())
            position.lastSectionLine = line;
        const auto lineKey = keyOf(trimmed);
        if (lineKey && sameName(*lineKey, key)) {
            position.keyLine = line;
            break;
        }
    }
    return position;
}

} // namespace

ProfileFile::ProfileFile(QString path, Access access, QString section)
    : m_path(std::move(path)), m_access(access), m_section(section.toLatin1())
{
}

std::optional<QByteArray> ProfileFile::rawValue(const QString &key) const
{
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray data = file.readAll();
    file.close();

    const KeyPosition position = findKey(data, m_section, Cp932::encode(key));
    if (!position.keyLine)
        return std::nullopt;
    const QByteArrayView trimmed = trimmedBlanks(position.keyLine->text);
    QByteArrayView value = trimmedBlanks(trimmed.sliced(trimmed.indexOf('=') + 1));
    if (value.size() >= 2 && value.startsWith('"') && value.endsWith('"'))
        value = value.sliced(1, value.size() - 2);
    return value.toByteArray();
}

QString ProfileFile::readString(const QString &key, const QString &defaultValue) const
{
    const auto value = rawValue(key);
    if (!value)
        return defaultValue;
    return Cp932::decode(Cp932::truncate(*value, MaxValueBytes));
}

qint32 ProfileFile::readInt(const QString &key) const
{
    const auto value = rawValue(key);
    if (!value)
        return 0;
    qsizetype i = 0;
    bool negative = false;
    if (i < value->size() && (value->at(i) == '-' || value->at(i) == '+'))
        negative = value->at(i++) == '-';
    qint64 number = 0;
    for (; i < value->size() && value->at(i) >= '0' && value->at(i) <= '9'; ++i) {
        number = number * 10 + (value->at(i) - '0');
        if (number > qint64(std::numeric_limits<qint32>::max()) + 1)
            break; // saturate rather than wrap on absurdly long numbers
    }
    if (negative)
        number = -number;
    return static_cast<qint32>(
        qBound(qint64(std::numeric_limits<qint32>::min()), number, qint64(std::numeric_limits<qint32>::max())));
}

bool ProfileFile::writeString(const QString &key, const QString &value)
{
    return update(key, value);
}

bool ProfileFile::removeKey(const QString &key)
{
    return update(key, std::nullopt);
}

bool ProfileFile::update(const QString &key, const std::optional<QString> &value)
{
    const QFileInfo info(m_path);
    if (!info.absoluteDir().exists())
        return false; // folders are never created

    QByteArray original;
    if (info.exists()) {
        QFile file(m_path);
        if (!file.open(QIODevice::ReadOnly))
            return false;
        original = file.readAll();
    } else if (!value) {
        return true; // nothing to remove, and no file to create for it
    }

    const QByteArray keyBytes = Cp932::encode(key);
    const KeyPosition position = findKey(original, m_section, keyBytes);
    const QByteArray newline("\r\n");

    QByteArray updated;
    if (!value) {
        if (!position.keyLine)
            return true;
        updated = original.left(position.keyLine->begin) + original.mid(position.keyLine->end);
    } else if (const auto &line = position.keyLine) {
        // Keep the key's spelling as the file has it; only the value changes.
        const QByteArrayView text = *keyOf(trimmedBlanks(line->text));
        updated = original.left(line->begin) + text.toByteArray() + '=' + Cp932::encode(*value) +
                  original.mid(line->begin + line->text.size());
    } else {
        const QByteArray entry = keyBytes + '=' + Cp932::encode(*value) + newline;
        if (const auto &last = position.lastSectionLine) {
            updated = original.left(last->end) + (last->hasEnding() ? QByteArray() : newline) + entry +
                      original.mid(last->end);
        } else {
            const bool ended = original.isEmpty() || original.endsWith('\r') || original.endsWith('\n');
            updated = original + (ended ? QByteArray() : newline) + '[' + m_section + ']' + newline + entry;
        }
    }

    if (info.exists() && updated == original)
        return true; // spare the disk a write that changes nothing

    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly))
        return false; // a read-only file or folder
    if (!info.exists() && m_access == Access::OwnerOnly)
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    file.write(updated);
    return file.commit();
}
