#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <utility>

// The header of a message (RFC 5322) as far as the status texts need it: fields unfolded and
// found by name, MIME encoded-words (RFC 2047) decoded, for example ISO-2022-JP subjects.
class MailHeader final {
public:
    // raw: the header lines, with or without the blank line that ends them.
    static MailHeader parse(const QByteArray &raw);

    // The first field of that name (case-insensitive), unfolded and decoded; empty if absent.
    QString field(QByteArrayView name) const;

    // Decodes the encoded-words of one field value; the rest is taken as rawText does.
    static QString decodeWords(const QByteArray &value);
    // Header bytes as text: UTF-8 when they are valid UTF-8, ISO-2022-JP when they carry its
    // escape sequences, otherwise Latin-1 (which never fails).
    static QString rawText(const QByteArray &bytes);

private:
    QList<std::pair<QByteArray, QByteArray>> m_fields; // lower-case name, unfolded value
};
