#include "CallerBuffer.h"

#include <QTest>

class tst_CallerBuffer final : public QObject {
    Q_OBJECT

private slots:
    void writesWithinCapacity_data();
    void writesWithinCapacity();
    void terminatesBodyOnlyWhenThereIsRoom_data();
    void terminatesBodyOnlyWhenThereIsRoom();
};

void tst_CallerBuffer::writesWithinCapacity_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("capacity"); // -1: the buffer's size
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected"); // buffer content up to its first NUL

    QTest::addRow("fits") << 8 << -1 << QStringLiteral("abc") << QStringLiteral("abc");
    QTest::addRow("exactly capacity - 1") << 4 << -1 << QStringLiteral("abc") << QStringLiteral("abc");
    QTest::addRow("cut to capacity - 1") << 4 << -1 << QStringLiteral("abcdef") << QStringLiteral("abc");
    QTest::addRow("one character buffer") << 1 << -1 << QStringLiteral("abc") << QString();
    QTest::addRow("empty text") << 4 << -1 << QString() << QString();
    QTest::addRow("smaller capacity given") << 8 << 3 << QStringLiteral("abcdef") << QStringLiteral("ab");
    QTest::addRow("larger capacity ignored") << 3 << 100 << QStringLiteral("abcdef") << QStringLiteral("ab");
    QTest::addRow("surrogate pair not split") << 3 << -1 << QStringLiteral("a\U0001F600") << QStringLiteral("a");
    QTest::addRow("whole surrogate pair fits")
        << 4 << -1 << QStringLiteral("a\U0001F600") << QStringLiteral("a\U0001F600");
}

void tst_CallerBuffer::writesWithinCapacity()
{
    QFETCH(int, size);
    QFETCH(int, capacity);
    QFETCH(QString, text);
    QFETCH(QString, expected);

    QString buffer(size, u'#');
    const qsizetype written = CallerBuffer::writeText(buffer, text, capacity);
    QCOMPARE(buffer.size(), qsizetype(size));
    QCOMPARE(written, expected.size());
    QCOMPARE(buffer.left(buffer.indexOf(QChar(0))), expected);
    // Nothing past the NUL is touched.
    QCOMPARE(buffer.mid(written + 1), QString(size - written - 1, u'#'));
}

void tst_CallerBuffer::terminatesBodyOnlyWhenThereIsRoom_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("length");
    QTest::addColumn<QByteArray>("expected");

    QTest::addRow("room for the NUL") << 4 << 3 << QByteArray("###\0", 4);
    QTest::addRow("message filled it") << 3 << 3 << QByteArray("###");
    QTest::addRow("message was longer") << 3 << 10 << QByteArray("###");
    QTest::addRow("empty message") << 2 << 0 << QByteArray("\0#", 2);
}

void tst_CallerBuffer::terminatesBodyOnlyWhenThereIsRoom()
{
    QFETCH(int, size);
    QFETCH(int, length);
    QFETCH(QByteArray, expected);

    QByteArray body(size, '#');
    CallerBuffer::terminate(body, length);
    QCOMPARE(body, expected);
}

QTEST_GUILESS_MAIN(tst_CallerBuffer)
#include "tst_CallerBuffer.moc"
