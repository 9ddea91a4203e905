#include "MailHeader.h"

#include <QStringDecoder>

namespace {

struct EncodedWord {
    qsizetype end = -1; // index after "?=", or -1 when the text at the start is no encoded-word
    QByteArray charset;
    QByteArray bytes;
};

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

QByteArray decodeQ(QByteArrayView text)
{
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '_') {
            out.append(' ');
        } else if (c == '=' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 && hexValue(text[i + 2]) >= 0) {
            out.append(char(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2])));
            i += 2;
        } else {
            out.append(c);
        }
    }
    return out;
}

// The next place of a pattern at or after a point that only moves forward. A search starts only once the
// point has passed the place found before, so no byte is searched twice: a value full of "=?" that are never
// closed is read in one pass, not once for every "=?".
class ForwardFinder final {
public:
    ForwardFinder(QByteArrayView text, QByteArrayView pattern) : m_text(text), m_pattern(pattern) {}

    // The first place at or after from, or the text's size when there is none.
    qsizetype from(qsizetype from)
    {
        if (m_found < from) {
            const qsizetype found = m_text.indexOf(m_pattern, from);
            m_found = found < 0 ? m_text.size() : found;
        }
        return m_found;
    }

private:
    QByteArrayView m_text;
    QByteArrayView m_pattern;
    qsizetype m_found = -1;
};

struct WordFinders {
    explicit WordFinders(QByteArrayView value)
        : open(value, "=?"), question(value, "?"), close(value, "?="), blank(value, " ")
    {
    }
    ForwardFinder open;
    ForwardFinder question;
    ForwardFinder close;
    ForwardFinder blank;
};

// Reads "=?charset?B|Q?text?=" starting at from; from only grows from one call to the next.
EncodedWord readEncodedWord(const QByteArray &value, qsizetype from, WordFinders &find)
{
    EncodedWord word;
    if (from + 1 >= value.size() || value[from] != '=' || value[from + 1] != '?')
        return word;
    const qsizetype charsetEnd = find.question.from(from + 2);
    if (charsetEnd + 2 >= value.size() || value[charsetEnd + 2] != '?')
        return word;
    const char encoding = char(value[charsetEnd + 1] | 0x20);
    if (encoding != 'b' && encoding != 'q')
        return word;
    const qsizetype textEnd = find.close.from(charsetEnd + 3);
    if (textEnd == value.size() || find.blank.from(charsetEnd + 3) < textEnd)
        return word;
    const QByteArrayView text = QByteArrayView(value).sliced(charsetEnd + 3, textEnd - charsetEnd - 3);
    if (encoding == 'b') {
        const auto decoded = QByteArray::fromBase64Encoding(text.toByteArray());
        if (!decoded)
            return word;
        word.bytes = *decoded;
    } else {
        word.bytes = decodeQ(text);
    }
    QByteArray charset = value.mid(from + 2, charsetEnd - from - 2);
    if (const qsizetype star = charset.indexOf('*'); star >= 0)
        charset.truncate(star); // RFC 2231 language suffix
    word.charset = charset.toLower();
    word.end = textEnd + 2;
    return word;
}

QString decodeCharset(const QByteArray &charset, const QByteArray &bytes, bool *known)
{
    QStringDecoder decoder(charset.constData());
    *known = decoder.isValid();
    return *known ? decoder.decode(bytes) : QString();
}

} // namespace

MailHeader MailHeader::parse(const QByteArray &raw)
{
    MailHeader header;
    const QList<QByteArray> lines = raw.split('\n');
    for (QByteArray line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.isEmpty())
            break; // the blank line that ends the header
        if ((line[0] == ' ' || line[0] == '\t')) {
            if (!header.m_fields.isEmpty())
                header.m_fields.last().second.append(line);
            continue;
        }
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            continue;
        header.m_fields.append({line.left(colon).trimmed().toLower(), line.mid(colon + 1).trimmed()});
    }
    return header;
}

QString MailHeader::field(QByteArrayView name) const
{
    const QByteArray wanted = name.toByteArray().toLower();
    for (const auto &[fieldName, value] : m_fields) {
        if (fieldName == wanted)
            return decodeWords(value);
    }
    return {};
}

QString MailHeader::decodeWords(const QByteArray &value)
{
    QString out;
    QByteArray pendingCharset; // encoded-words in a row are decoded together: a character
    QByteArray pendingBytes;   // may be split between two of them
    QByteArray plain;
    auto flushPending = [&] {
        if (pendingCharset.isEmpty())
            return;
        bool known = false;
        const QString text = decodeCharset(pendingCharset, pendingBytes, &known);
        out += known ? text : rawText(pendingBytes);
        pendingCharset.clear();
        pendingBytes.clear();
    };

    WordFinders finders(value);
    qsizetype i = 0;
    while (i < value.size()) {
        const EncodedWord word = readEncodedWord(value, i, finders);
        if (word.end < 0) {
            const qsizetype next = finders.open.from(i + 1); // nothing before it can begin a word
            plain.append(QByteArrayView(value).sliced(i, next - i));
            i = next;
            continue;
        }
        // Blanks between two encoded-words are not part of the text.
        if (!pendingCharset.isEmpty() && plain.trimmed().isEmpty())
            plain.clear();
        if (!plain.isEmpty() || word.charset != pendingCharset) {
            flushPending();
            out += rawText(plain);
            plain.clear();
        }
        pendingCharset = word.charset;
        pendingBytes += word.bytes;
        i = word.end;
    }
    flushPending();
    out += rawText(plain);
    return out;
}

QString MailHeader::rawText(const QByteArray &bytes)
{
    // ISO-2022-JP is 7-bit and would pass for UTF-8, so its escapes are looked for first.
    if (bytes.contains("\x1b$")) {
        QStringDecoder jis("ISO-2022-JP");
        if (jis.isValid())
            return jis.decode(bytes);
    }
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    return QString::fromLatin1(bytes);
}
