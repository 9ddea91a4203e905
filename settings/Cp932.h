#pragma once

#include <QByteArray>
#include <QString>

// Text in the settings files is stored as code page 932 (Shift_JIS with the Windows extensions), so
// the files stay byte-compatible with those written on Japanese Windows.
//
// Text that code page 932 cannot hold (emoji, most non-Japanese scripts) is not replaced by '?':
// such a value is stored as UTF-8 behind a UTF-8 byte order mark. EF BB is not a valid code page 932
// pair, so a value starting with those bytes can never come from code page 932 text, and reading
// tells the two apart without any other marker.
class Cp932 final {
public:
    static QByteArray encode(const QString &text);
    static QString decode(const QByteArray &bytes);

    // The longest prefix of encoded bytes of at most maxBytes bytes that does not split a character.
    static QByteArray truncate(const QByteArray &bytes, qsizetype maxBytes);

    static bool isLeadByte(unsigned char byte);
};
