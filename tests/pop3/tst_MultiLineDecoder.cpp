#include "MultiLineDecoder.h"

#include <QTest>

namespace {

struct Outcome {
    QByteArray decoded;
    qsizetype consumed = 0;
    bool finished = false;
};

// Feeds wire in pieces cut at the given offsets, as separate reads would deliver it.
Outcome decodeInPieces(const QByteArray &wire, const QList<qsizetype> &cuts)
{
    Outcome outcome;
    MultiLineDecoder decoder;
    const auto sink = [&](const char *data, qsizetype size) { outcome.decoded.append(data, size); };
    qsizetype from = 0;
    QList<qsizetype> ends = cuts;
    ends << wire.size();
    for (const qsizetype end : ends) {
        if (decoder.isFinished())
            break;
        outcome.consumed += decoder.feed(wire.constData() + from, end - from, sink);
        from = end;
    }
    outcome.finished = decoder.isFinished();
    return outcome;
}

} // namespace

class tst_MultiLineDecoder final : public QObject {
    Q_OBJECT

private slots:
    void decodes_data();
    void decodes();
    void everySplitGivesTheSameResult_data();
    void everySplitGivesTheSameResult();
};

void tst_MultiLineDecoder::decodes_data()
{
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<QByteArray>("decoded");
    QTest::addColumn<bool>("finished");
    QTest::addColumn<int>("consumed");

    QTest::addRow("empty body") << QByteArray(".\r\n") << QByteArray() << true << 3;
    QTest::addRow("two lines") << QByteArray("a\r\nb\r\n.\r\n") << QByteArray("a\r\nb\r\n") << true << 9;
    QTest::addRow("stuffed dots") << QByteArray("..\r\n...x\r\n.y\r\n.\r\n") << QByteArray(".\r\n..x\r\ny\r\n") << true
                                  << 17;
    QTest::addRow("dot inside a line kept")
        << QByteArray("a.b\r\n x.\r\n.\r\n") << QByteArray("a.b\r\n x.\r\n") << true << 13;
    QTest::addRow("bare LF lines") << QByteArray("a\nb\n.\n") << QByteArray("a\nb\n") << true << 6;
    QTest::addRow("stops at terminator") << QByteArray("a\r\n.\r\n+OK next\r\n") << QByteArray("a\r\n") << true << 6;
    QTest::addRow("no terminator yet") << QByteArray("a\r\n.\r") << QByteArray("a\r\n") << false << 5;
    QTest::addRow("dot CR not LF") << QByteArray(".\rx\r\n.\r\n") << QByteArray("\rx\r\n") << true << 8;
    QTest::addRow("line far longer than any buffer") << QByteArray(100000, 'a') + "\r\n.\r\n"
                                                     << QByteArray(100000, 'a') + "\r\n"
                                                     << true << 100005;
}

void tst_MultiLineDecoder::decodes()
{
    QFETCH(QByteArray, wire);
    QFETCH(QByteArray, decoded);
    QFETCH(bool, finished);
    QFETCH(int, consumed);

    const Outcome outcome = decodeInPieces(wire, {});
    QCOMPARE(outcome.decoded, decoded);
    QCOMPARE(outcome.finished, finished);
    QCOMPARE(outcome.consumed, qsizetype(consumed));
}

void tst_MultiLineDecoder::everySplitGivesTheSameResult_data()
{
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<QByteArray>("decoded");

    QTest::addRow("terminator after stuffed lines") << QByteArray("Subject: x\r\n\r\n..\r\n.a\r\nend\r\n.\r\n+OK")
                                                    << QByteArray("Subject: x\r\n\r\n.\r\na\r\nend\r\n");
    QTest::addRow("lines of dots") << QByteArray("...\r\n..\r\n.\r\n") << QByteArray("..\r\n.\r\n");
}

// The terminating line may be split over any number of reads: try every cut into two and
// three pieces, and one byte at a time.
void tst_MultiLineDecoder::everySplitGivesTheSameResult()
{
    QFETCH(QByteArray, wire);
    QFETCH(QByteArray, decoded);
    const qsizetype replyEnd = wire.indexOf("\r\n.\r\n") + 5;

    for (qsizetype a = 1; a < wire.size(); ++a) {
        for (qsizetype b = a; b < wire.size(); ++b) {
            const Outcome outcome = decodeInPieces(wire, a == b ? QList<qsizetype>{a} : QList<qsizetype>{a, b});
            QVERIFY2(outcome.finished && outcome.decoded == decoded && outcome.consumed == replyEnd,
                     qPrintable(QStringLiteral("cuts at %1 and %2").arg(a).arg(b)));
        }
    }
    QList<qsizetype> everyByte;
    for (qsizetype i = 1; i < wire.size(); ++i)
        everyByte << i;
    const Outcome trickled = decodeInPieces(wire, everyByte);
    QCOMPARE(trickled.decoded, decoded);
    QCOMPARE(trickled.consumed, replyEnd);
}

QTEST_GUILESS_MAIN(tst_MultiLineDecoder)
#include "tst_MultiLineDecoder.moc"
