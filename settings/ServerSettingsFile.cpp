#include "ServerSettingsFile.h"

#include "Cp932.h"
#include "FileLine.h"
#include "LeadingNumber.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <limits>

namespace {

constexpr qsizetype PrefixLength = 5;

// The first count characters, a character beyond the basic plane counting once: cutting between the two
// halves of a pair would leave a broken value that is written back as garbage.
QString leftCharacters(const QString &text, qsizetype count)
{
    qsizetype end = 0;
    for (qsizetype n = 0; n < count && end < text.size(); ++n)
        end += text[end].isHighSurrogate() && end + 1 < text.size() && text[end + 1].isLowSurrogate() ? 2 : 1;
    return text.left(end);
}

qint16 apopValue(const QString &text)
{
    const auto rounded = LeadingNumber::roundHalfEven(LeadingNumber::of(text));
    if (!rounded || *rounded < std::numeric_limits<qint16>::min() || *rounded > std::numeric_limits<qint16>::max())
        return 0;
    return static_cast<qint16>(*rounded);
}

} // namespace

QString ServerSettingsFile::currentPath()
{
    return QDir::current().filePath(QStringLiteral("vbmail.ini"));
}

ServerSettingsFile::ReadResult ServerSettingsFile::read(const QString &path, ServerSettings &settings)
{
    if (!QFileInfo(path).isFile())
        return ReadResult::Missing;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return ReadResult::Unreadable;
    const QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return ReadResult::Unreadable;

    ServerSettings read = settings;
    for (qsizetype start = 0; start < data.size();) {
        const FileLine line = FileLine::at(data, start);
        start = line.end;

        // Only the four known lines are decoded, so a file full of other lines still reads quickly.
        const auto value = [&line] {
            return leftCharacters(Cp932::decode(line.text.sliced(PrefixLength).toByteArray()), MaxValueLength);
        };
        if (line.text.startsWith("SMTP="))
            read.smtp = value();
        else if (line.text.startsWith("POP3="))
            read.pop3 = value();
        else if (line.text.startsWith("MAIL="))
            read.mail = value();
        else if (line.text.startsWith("APOP="))
            read.apop = apopValue(value());
    }
    settings = read;
    return ReadResult::Read;
}

bool ServerSettingsFile::write(const QString &path, const ServerSettings &settings)
{
    QByteArray data;
    data += "SMTP=" + Cp932::encode(settings.smtp) + "\r\n";
    data += "POP3=" + Cp932::encode(settings.pop3) + "\r\n";
    data += "MAIL=" + Cp932::encode(settings.mail) + "\r\n";
    data += "APOP=" + QByteArray::number(settings.apop) + "\r\n";

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(data);
    return file.commit();
}
