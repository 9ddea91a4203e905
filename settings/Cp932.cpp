#include "Cp932.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace {

const QByteArray Utf8Marker("\xEF\xBB\xBF");
constexpr auto CodecName = "Shift_JIS"; // ICU's mapping, which is Microsoft's code page 932

} // namespace

bool Cp932::isLeadByte(unsigned char byte)
{
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

QByteArray Cp932::encode(const QString &text)
{
    QStringEncoder encoder(CodecName);
    QByteArray bytes = encoder.encode(text);
    if (!encoder.hasError() && encoder.isValid())
        return bytes;
    return Utf8Marker + text.toUtf8();
}

QString Cp932::decode(const QByteArray &bytes)
{
    if (bytes.startsWith(Utf8Marker))
        return QString::fromUtf8(bytes.mid(Utf8Marker.size()));
    QStringDecoder decoder(CodecName);
    return decoder.decode(bytes);
}

QByteArray Cp932::truncate(const QByteArray &bytes, qsizetype maxBytes)
{
    if (bytes.size() <= maxBytes)
        return bytes;
    if (maxBytes <= 0)
        return {};
    if (bytes.startsWith(Utf8Marker)) {
        qsizetype end = maxBytes;
        // Step back over UTF-8 continuation bytes so the cut falls on a character boundary.
        while (end > Utf8Marker.size() && (static_cast<unsigned char>(bytes[end]) & 0xC0) == 0x80)
            --end;
        return end <= Utf8Marker.size() ? QByteArray() : bytes.left(end);
    }
    qsizetype end = 0;
    while (end < bytes.size()) {
        const qsizetype step = isLeadByte(static_cast<unsigned char>(bytes[end])) ? 2 : 1;
        if (end + step > maxBytes)
            break;
        end += step;
    }
    return bytes.left(end);
}
