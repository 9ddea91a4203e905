#pragma once

#include <QByteArray>
#include <QString>

// Fills buffers the way a C library fills char arrays: the caller sizes the buffer, its current
// length is its capacity and never changes; the text starts at index 0, is cut to capacity - 1
// and followed by a NUL. The caller reads up to the first NUL.
class CallerBuffer final {
public:
    // Returns the number of characters written, the NUL not counted.
    static qsizetype writeText(QString &buffer, const QString &text, qsizetype capacity = -1);
    // Puts a NUL after the first length bytes of body when there is room for it.
    static void terminate(QByteArray &body, qint64 length);
};
