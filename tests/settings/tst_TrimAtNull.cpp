#include "TrimAtNull.h"

#include <QTest>

class tst_TrimAtNull final : public QObject {
    Q_OBJECT

private slots:
    void trim_data();
    void trim();
};

void tst_TrimAtNull::trim_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    // QString(const char *) would stop at the NUL itself, so the texts are built with their length.
    QTest::addRow("nul inside") << QString::fromLatin1("abc\0def", 7) << "abc";
    QTest::addRow("nul first") << QString::fromLatin1("\0x", 2) << "";
    QTest::addRow("padding") << QString::fromLatin1("id\0\0\0\0", 6) << "id";
    QTest::addRow("no nul") << "abc"
                            << "abc";
    QTest::addRow("empty") << ""
                           << "";
    QTest::addRow("japanese before nul") << QStringLiteral("髙橋") + QChar(u'\0') + "x" << QStringLiteral("髙橋");
}

void tst_TrimAtNull::trim()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);

    const QString trimmed = TrimAtNull(text);
    QCOMPARE(trimmed, expected);
    QVERIFY(!trimmed.contains(QChar(u'\0')));
}

QTEST_GUILESS_MAIN(tst_TrimAtNull)
#include "tst_TrimAtNull.moc"
