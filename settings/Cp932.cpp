#include "Cp932.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace {

const QByteArray Utf8Marker("\xEF\xBB\xBF");
constexpr auto CodecName = "Shift_JIS"; // ICU's mapping, which is Microsoft's code page 932

// ICU's table keeps IBM's placement of three control codes (U+001A at 7F, U+001C at 1A, U+007F at 1C), where
// Windows maps every byte below 80 to the same code. None of the three bytes can be the second byte of a pair,
// so they are put back one byte at a time, and only when the table in use does swap them.
bool controlsSwapped()
{
    static const bool swapped = QStringEncoder(CodecName).encode(QStringView(u"\x1A")) == QByteArray("\x7F");
    return swapped;
}

void swapControls(QByteArray &bytes, bool toWindows)
{
    if (!controlsSwapped())
        return;
    for (char &byte : bytes) {
        if (byte == '\x7F')
            byte = toWindows ? '\x1A' : '\x1C';
        else if (byte == '\x1A')
            byte = toWindows ? '\x1C' : '\x7F';
        else if (byte == '\x1C')
            byte = toWindows ? '\x7F' : '\x1A';
    }
}

} // namespace

bool Cp932::isLeadByte(unsigned char byte)
{
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

QByteArray Cp932::encode(const QString &text)
{
    QStringEncoder encoder(CodecName);
    QByteArray bytes = encoder.encode(text);
    if (!encoder.hasError() && encoder.isValid()) {
        swapControls(bytes, true);
        return bytes;
    }
    return Utf8Marker + text.toUtf8();
}

QString Cp932::decode(const QByteArray &bytes)
{
    if (bytes.startsWith(Utf8Marker))
        return QString::fromUtf8(bytes.mid(Utf8Marker.size()));
    QByteArray icuBytes = bytes;
    swapControls(icuBytes, false);
    QStringDecoder decoder(CodecName);
    return decoder.decode(icuBytes);
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
