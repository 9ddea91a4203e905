#include "ProfileFile.h"

#include "Cp932.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QSaveFile>

#include <limits>

namespace {

struct Line {
    QByteArray text;   // without its line end
    QByteArray ending; // "\r\n", "\n", "\r" or empty for a last line without one
};

QList<Line> splitLines(const QByteArray &data)
{
    QList<Line> lines;
    qsizetype start = 0;
    while (start < data.size()) {
        qsizetype end = start;
        while (end < data.size() && data[end] != '\r' && data[end] != '\n')
            ++end;
        Line line{data.mid(start, end - start), {}};
        if (end < data.size()) {
            const qsizetype endingLength =
                (data[end] == '\r' && end + 1 < data.size() && data[end + 1] == '\n') ? 2 : 1;
            line.ending = data.mid(end, endingLength);
            end += endingLength;
        }
        lines.append(line);
        start = end;
    }
    return lines;
}

QByteArray joinLines(const QList<Line> &lines)
{
    QByteArray data;
    for (const Line &line : lines)
        data += line.text + line.ending;
    return data;
}

QByteArray trimmedBlanks(const QByteArray &bytes)
{
    qsizetype begin = 0;
    qsizetype end = bytes.size();
    while (begin < end && (bytes[begin] == ' ' || bytes[begin] == '\t'))
        ++begin;
    while (end > begin && (bytes[end - 1] == ' ' || bytes[end - 1] == '\t'))
        --end;
    return bytes.mid(begin, end - begin);
}

bool sameName(const QByteArray &a, const QByteArray &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// The section name of a header line, or nothing when the line is not a header.
std::optional<QByteArray> sectionName(const QByteArray &trimmedLine)
{
    if (!trimmedLine.startsWith('['))
        return std::nullopt;
    const qsizetype close = trimmedLine.indexOf(']');
    return trimmedBlanks(trimmedLine.mid(1, close < 0 ? -1 : close - 1));
}

// The key of a "key=value" line, or nothing for blank lines, comments and lines without '='.
// '=' (0x3D) never occurs inside a two-byte code page 932 character, so searching bytes is safe.
std::optional<QByteArray> keyOf(const QByteArray &trimmedLine)
{
    if (trimmedLine.isEmpty() || trimmedLine.startsWith(';'))
        return std::nullopt;
    const qsizetype equals = trimmedLine.indexOf('=');
    if (equals < 0)
        return std::nullopt;
    return trimmedBlanks(trimmedLine.left(equals));
}

struct KeyPosition {
    qsizetype sectionLine = -1;     // header of the first matching section
    qsizetype lastSectionLine = -1; // last non-blank line of that section
    qsizetype keyLine = -1;
};

KeyPosition findKey(const QList<Line> &lines, const QByteArray &section, const QByteArray &key)
{
    KeyPosition position;
    bool inSection = false;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QByteArray trimmed = trimmedBlanks(lines[i].text);
        if (const auto name = sectionName(trimmed)) {
            if (inSection)
                break; // the key is looked for in the first matching section only
            inSection = sameName(*name, section);
            if (inSection)
                position.sectionLine = position.lastSectionLine = i;
            continue;
        }
        if (!inSection)
            continue;
        if (!trimmed.isEmpty())
            position.lastSectionLine = i;
        const auto lineKey = keyOf(trimmed);
        if (lineKey && sameName(*lineKey, key)) {
            position.keyLine = i;
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
    const QList<Line> lines = splitLines(file.readAll());
    file.close();

    const KeyPosition position = findKey(lines, m_section, Cp932::encode(key));
    if (position.keyLine < 0)
        return std::nullopt;
    const QByteArray trimmed = trimmedBlanks(lines[position.keyLine].text);
    QByteArray value = trimmedBlanks(trimmed.mid(trimmed.indexOf('=') + 1));
    if (value.size() >= 2 && value.startsWith('"') && value.endsWith('"'))
        value = value.mid(1, value.size() - 2);
    return value;
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

    QList<Line> lines = splitLines(original);
    const QByteArray keyBytes = Cp932::encode(key);
    const KeyPosition position = findKey(lines, m_section, keyBytes);
    const QByteArray newline("\r\n");

    if (!value) {
        if (position.keyLine < 0)
            return true;
        lines.removeAt(position.keyLine);
    } else if (position.keyLine >= 0) {
        // Keep the key's spelling as the file has it; only the value changes.
        const QByteArray trimmed = trimmedBlanks(lines[position.keyLine].text);
        lines[position.keyLine].text = *keyOf(trimmed) + '=' + Cp932::encode(*value);
    } else {
        const Line entry{keyBytes + '=' + Cp932::encode(*value), newline};
        if (position.sectionLine >= 0) {
            Line &previous = lines[position.lastSectionLine];
            if (previous.ending.isEmpty())
                previous.ending = newline;
            lines.insert(position.lastSectionLine + 1, entry);
        } else {
            if (!lines.isEmpty() && lines.last().ending.isEmpty())
                lines.last().ending = newline;
            lines.append(Line{'[' + m_section + ']', newline});
            lines.append(entry);
        }
    }

    const QByteArray updated = joinLines(lines);
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
