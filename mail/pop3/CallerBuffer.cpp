#include "CallerBuffer.h"

#include <algorithm>

qsizetype CallerBuffer::writeText(QString &buffer, const QString &text, qsizetype capacity)
{
    if (capacity < 0 || capacity > buffer.size())
        capacity = buffer.size();
    if (capacity <= 0)
        return 0;
    qsizetype length = qMin(text.size(), capacity - 1);
    if (length > 0 && length < text.size() && text.at(length - 1).isHighSurrogate())
        --length; // never leave half a character behind
    QChar *out = buffer.data();
    std::copy_n(text.constData(), length, out);
    out[length] = QChar(0);
    return length;
}

void CallerBuffer::terminate(QByteArray &body, qint64 length)
{
    if (length >= 0 && length < body.size())
        body[length] = '\0';
}
