#include "Cp932.h"

#include <QTest>

namespace {

const QByteArray Bom = QByteArray::fromHex("efbbbf");

} // namespace

class tst_Cp932 final : public QObject {
    Q_OBJECT

private slots:
    void stored_data();
    void stored();
    void truncate_data();
    void truncate();
};

void tst_Cp932::stored_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");

    // The characters where code page 932 and plain Shift_JIS tables part ways.
    QTest::addRow("fullwidth tilde") << QStringLiteral("～") << QByteArray::fromHex("8160");
    QTest::addRow("circled one (NEC row 13)") << QStringLiteral("①") << QByteArray::fromHex("8740");
    QTest::addRow("taka (IBM extension)") << QStringLiteral("髙") << QByteArray::fromHex("fbfc");
    QTest::addRow("black star") << QStringLiteral("★") << QByteArray::fromHex("819a");
    QTest::addRow("fullwidth minus") << QStringLiteral("－") << QByteArray::fromHex("817c");
    QTest::addRow("halfwidth katakana") << QStringLiteral("ｱｲ") << QByteArray::fromHex("b1b2");
    QTest::addRow("hiragana and kanji") << QStringLiteral("山田はなこ") << QByteArray::fromHex("8e52936382cd82c882b1");
    QTest::addRow("ascii") << QStringLiteral("pop.example.jp ~\\|{}") << QByteArray("pop.example.jp ~\\|{}");
    QTest::addRow("empty") << QString() << QByteArray();
    QString ascii;
    QByteArray asciiBytes;
    for (char16_t code = 0; code < 0x80; ++code) {
        ascii += QChar(code);
        asciiBytes += char(code);
    }
    QTest::addRow("every ascii code") << ascii << asciiBytes;

    // Text the code page cannot hold must not turn into '?' or a look-alike: it is kept as UTF-8.
    for (const QString &text : {QStringLiteral("😀"), QStringLiteral("€"), QStringLiteral("한국어"),
                                QStringLiteral("¥100"), QStringLiteral("〜"), QStringLiteral("髙橋😀～")})
        QTest::addRow("utf8 %s", qPrintable(text)) << text << Bom + text.toUtf8();
}

void tst_Cp932::stored()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);

    QCOMPARE(Cp932::encode(text).toHex(' '), bytes.toHex(' '));
    QCOMPARE(Cp932::decode(bytes), text);
}

void tst_Cp932::truncate_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("maxBytes");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray a = QByteArray::fromHex("82a0"); // あ
    const QByteArray taka = QByteArray::fromHex("fbfc");
    const QByteArray smile = QStringLiteral("😀").toUtf8();
    QTest::addRow("short enough") << QByteArray("abc") << 3 << QByteArray("abc");
    QTest::addRow("ascii cut") << QByteArray("abcdef") << 4 << QByteArray("abcd");
    QTest::addRow("pair would split") << a + a + a << 5 << a + a;
    QTest::addRow("pair after odd ascii") << "x" + a + a << 4 << "x" + a;
    QTest::addRow("pair ends on limit") << "x" + a + a + "y" << 5 << "x" + a + a;
    QTest::addRow("high lead byte") << "x" + taka + taka << 4 << "x" + taka;
    QTest::addRow("kana is one byte") << QByteArray::fromHex("b1b1b1") << 2 << QByteArray::fromHex("b1b1");
    QTest::addRow("trail byte looks like lead") << QByteArray::fromHex("88e088e0") << 3 << QByteArray::fromHex("88e0");
    QTest::addRow("utf8 would split") << Bom + smile + smile << 10 << Bom + smile;
    QTest::addRow("utf8 ends on limit") << Bom + smile + smile << 7 << Bom + smile;
    QTest::addRow("utf8 after ascii") << Bom + "a" + smile << 7 << Bom + "a";
    QTest::addRow("nothing fits") << a << 1 << QByteArray();
}

void tst_Cp932::truncate()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, maxBytes);
    QFETCH(QByteArray, expected);

    QCOMPARE(Cp932::truncate(bytes, maxBytes).toHex(' '), expected.toHex(' '));
}

QTEST_GUILESS_MAIN(tst_Cp932)
#include "tst_Cp932.moc"
