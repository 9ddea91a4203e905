#include "LeadingNumber.h"

#include <QTest>

#include <cmath>
#include <limits>
#include <optional>

namespace {

constexpr double Inf = std::numeric_limits<double>::infinity();

} // namespace

class tst_LeadingNumber final : public QObject {
    Q_OBJECT

private slots:
    void of_data();
    void of();
    void roundHalfEven_data();
    void roundHalfEven();
};

void tst_LeadingNumber::of_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("expected");

    QTest::addRow("whole") << "15" << 15.0;
    QTest::addRow("blank then junk") << " 7x" << 7.0;
    QTest::addRow("tab and line end first") << "\t\r\n 8" << 8.0;
    QTest::addRow("negative") << "-3" << -3.0;
    QTest::addRow("plus") << "+4" << 4.0;
    QTest::addRow("fraction") << "1.5" << 1.5;
    QTest::addRow("no whole part") << ".5" << 0.5;
    QTest::addRow("negative no whole part") << "-.25" << -0.25;
    QTest::addRow("trailing point") << "3." << 3.0;
    QTest::addRow("zeros") << "00" << 0.0;
    QTest::addRow("negative zero") << "-0" << 0.0;
    QTest::addRow("no exponent") << "5e3" << 5.0;
    QTest::addRow("no hex") << "0x1A" << 0.0;
    QTest::addRow("letters") << "abc" << 0.0;
    QTest::addRow("empty") << "" << 0.0;
    QTest::addRow("point only") << "." << 0.0;
    QTest::addRow("two signs") << "+-1" << 0.0;
    QTest::addRow("blank after sign") << "- 1" << 0.0;
    QTest::addRow("fullwidth digits") << QStringLiteral("１２") << 0.0;
    QTest::addRow("second point stops") << "1.2.3" << 1.2;
    QTest::addRow("400 digits") << QString(400, u'9') << Inf;
    QTest::addRow("400 digits negative") << "-" + QString(400, u'9') << -Inf;
    QTest::addRow("400 digits with fraction") << QString(400, u'1') + ".5" << Inf;
    QTest::addRow("tiny fraction") << "0." + QString(400, u'0') + "1" << 0.0;
    QTest::addRow("long zero run") << QString(400, u'0') + "7" << 7.0;
}

void tst_LeadingNumber::of()
{
    QFETCH(QString, text);
    QFETCH(double, expected);

    const double value = LeadingNumber::of(text);
    QCOMPARE(value, expected);
    QVERIFY2(!std::signbit(value) || expected < 0, "a zero must not come out negative");
}

void tst_LeadingNumber::roundHalfEven_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<std::optional<qint32>>("expected");

    constexpr qint32 max = std::numeric_limits<qint32>::max();
    constexpr qint32 min = std::numeric_limits<qint32>::min();
    QTest::addRow("0.5") << 0.5 << std::optional<qint32>(0);
    QTest::addRow("1.5") << 1.5 << std::optional<qint32>(2);
    QTest::addRow("2.5") << 2.5 << std::optional<qint32>(2);
    QTest::addRow("2.6") << 2.6 << std::optional<qint32>(3);
    QTest::addRow("-0.5") << -0.5 << std::optional<qint32>(0);
    QTest::addRow("-1.5") << -1.5 << std::optional<qint32>(-2);
    QTest::addRow("-2.5") << -2.5 << std::optional<qint32>(-2);
    QTest::addRow("top") << 2147483647.4 << std::optional<qint32>(max);
    QTest::addRow("top rounds over") << 2147483647.5 << std::optional<qint32>();
    QTest::addRow("over top") << 2147483648.0 << std::optional<qint32>();
    QTest::addRow("bottom half") << -2147483648.5 << std::optional<qint32>(min);
    QTest::addRow("under bottom") << -2147483649.0 << std::optional<qint32>();
    QTest::addRow("infinity") << Inf << std::optional<qint32>();
    QTest::addRow("minus infinity") << -Inf << std::optional<qint32>();
    QTest::addRow("nan") << std::numeric_limits<double>::quiet_NaN() << std::optional<qint32>();
}

void tst_LeadingNumber::roundHalfEven()
{
    QFETCH(double, value);
    QFETCH(std::optional<qint32>, expected);

    QCOMPARE(LeadingNumber::roundHalfEven(value), expected);
}

QTEST_GUILESS_MAIN(tst_LeadingNumber)
#include "tst_LeadingNumber.moc"
