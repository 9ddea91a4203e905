#include "MailHeader.h"

#include <QElapsedTimer>
#include <QTest>

#include <limits>

class tst_MailHeader final : public QObject {
    Q_OBJECT

private slots:
    void decodesEncodedWords_data();
    void decodesEncodedWords();
    void findsUnfoldedFields_data();
    void findsUnfoldedFields();
    void rawTextPicksTheEncoding_data();
    void rawTextPicksTheEncoding();
    void decodingTimeGrowsLinearly();
};

void tst_MailHeader::decodesEncodedWords_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QString>("text");

    QTest::addRow("plain ascii") << QByteArray("Hello") << QStringLiteral("Hello");
    QTest::addRow("iso-2022-jp base64") << QByteArray("=?ISO-2022-JP?B?GyRCJDMkcyRLJEEkTxsoQg==?=")
                                        << QStringLiteral("こんにちは");
    QTest::addRow("utf-8 q") << QByteArray("=?utf-8?Q?caf=C3=A9_au_lait?=") << QStringLiteral("café au lait");
    QTest::addRow("text around a word") << QByteArray("Re: =?UTF-8?B?5pel5pys?= news")
                                        << QStringLiteral("Re: 日本 news");
    QTest::addRow("blank between words dropped") << QByteArray("=?UTF-8?Q?a?= =?UTF-8?Q?b?=") << QStringLiteral("ab");
    QTest::addRow("character split over two words")
        << QByteArray("=?UTF-8?B?5pc=?= =?UTF-8?B?pQ==?=") << QStringLiteral("日");
    QTest::addRow("shift_jis") << QByteArray("=?Shift_JIS?B?g2WDWINn?=") << QStringLiteral("テスト");
    QTest::addRow("language suffix") << QByteArray("=?UTF-8*ja?Q?x?=") << QStringLiteral("x");
    QTest::addRow("unknown charset kept as bytes") << QByteArray("=?x-none?Q?abc?=") << QStringLiteral("abc");
    QTest::addRow("not an encoded word") << QByteArray("=?broken") << QStringLiteral("=?broken");
    QTest::addRow("bad encoding letter") << QByteArray("=?UTF-8?X?abc?=") << QStringLiteral("=?UTF-8?X?abc?=");
}

void tst_MailHeader::decodesEncodedWords()
{
    QFETCH(QByteArray, value);
    QFETCH(QString, text);
    QCOMPARE(MailHeader::decodeWords(value), text);
}

void tst_MailHeader::findsUnfoldedFields_data()
{
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QString>("value");

    const QByteArray header = "Received: from a\r\n\tby b\r\n"
                              "Subject: =?UTF-8?Q?first?=\r\n =?UTF-8?Q?_second?=\r\n"
                              "FROM: Taro <taro@example.jp>\r\n"
                              "Date: Sat, 7 Dec 2024 10:00:00 +0900\r\n"
                              "\r\n"
                              "Subject: in the body\r\n";
    QTest::addRow("folded subject") << header << QByteArray("subject") << QStringLiteral("first second");
    QTest::addRow("name case ignored") << header << QByteArray("From") << QStringLiteral("Taro <taro@example.jp>");
    QTest::addRow("date") << header << QByteArray("Date") << QStringLiteral("Sat, 7 Dec 2024 10:00:00 +0900");
    QTest::addRow("folded received") << header << QByteArray("Received") << QStringLiteral("from a\tby b");
    QTest::addRow("missing field") << header << QByteArray("Cc") << QString();
    QTest::addRow("LF line ends") << QByteArray("Subject: hi\nFrom: x\n\n") << QByteArray("From")
                                  << QStringLiteral("x");
}

void tst_MailHeader::findsUnfoldedFields()
{
    QFETCH(QByteArray, raw);
    QFETCH(QByteArray, name);
    QFETCH(QString, value);
    QCOMPARE(MailHeader::parse(raw).field(name), value);
}

void tst_MailHeader::rawTextPicksTheEncoding_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");

    QTest::addRow("ascii") << QByteArray("To: a@b") << QStringLiteral("To: a@b");
    QTest::addRow("utf-8") << QByteArray("\xe6\x97\xa5") << QStringLiteral("日");
    QTest::addRow("raw iso-2022-jp") << QByteArray("\x1b$B$3$s\x1b(B") << QStringLiteral("こん");
    QTest::addRow("latin-1 fallback") << QByteArray("caf\xe9") << QStringLiteral("café");
}

void tst_MailHeader::rawTextPicksTheEncoding()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(MailHeader::rawText(bytes), text);
}

void tst_MailHeader::decodingTimeGrowsLinearly()
{
    // Encoded-words that never close, as anyone can mail them: four times the value must cost about four
    // times the time, far from the sixteen of a search to the end from every "=?".
    const auto fastest = [](qsizetype bytes) {
        const QByteArray value = QByteArray("=?a?b?c").repeated(bytes / 7);
        qint64 best = std::numeric_limits<qint64>::max();
        for (int run = 0; run < 5; ++run) {
            QElapsedTimer timer;
            timer.start();
            if (MailHeader::decodeWords(value).size() != value.size())
                return qint64(-1);
            best = qMin(best, timer.nsecsElapsed());
        }
        return best;
    };
    const qint64 small = fastest(64 * 1024);
    const qint64 large = fastest(256 * 1024);
    QVERIFY(small > 0);
    QVERIFY2(large < 8 * small, qPrintable(QStringLiteral("64 KB: %1 ns, 256 KB: %2 ns").arg(small).arg(large)));
}

QTEST_GUILESS_MAIN(tst_MailHeader)
#include "tst_MailHeader.moc"
