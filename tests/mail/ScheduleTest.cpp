#include "Schedule.h"

#include <QtTest>

namespace {

// Runs the two timers for a number of one-second ticks, ten polls after each tick, with checks that
// return at once. Returns the tick after which each check started (a tick may appear several times).
QList<int> checksOver(int ticks, const QString &interval, QString seconds = QStringLiteral("Text4"),
                      QString minutes = QStringLiteral("Text1"))
{
    QList<int> checks;
    for (int tick = 1; tick <= ticks; ++tick) {
        Schedule::secondTick(interval, seconds, minutes);
        for (int poll = 0; poll < 10; ++poll) {
            if (Schedule::checkDue(interval, minutes))
                checks << tick;
        }
    }
    return checks;
}

QList<int> distinct(const QList<int> &ticks)
{
    QList<int> result;
    for (const int tick : ticks) {
        if (result.isEmpty() || result.last() != tick)
            result << tick;
    }
    return result;
}

} // namespace

class ScheduleTest final : public QObject {
    Q_OBJECT

private slots:
    void timedChecks_data();
    void timedChecks();
    void minuteCounterResetsAtTheRoundedInterval_data();
    void minuteCounterResetsAtTheRoundedInterval();
    void loweringTheIntervalBelowTheCounterStopsChecks();
    void hugeIntervalCountsOnWithoutChecks();
    void scrolling();
    void fileTitle_data();
    void fileTitle();
};

void ScheduleTest::timedChecks_data()
{
    QTest::addColumn<QString>("interval");
    QTest::addColumn<int>("ticks");
    QTest::addColumn<QList<int>>("checks");

    QTest::addRow("1 minute: the 61st tick, then every 61") << "1" << 200 << QList<int>{61, 122, 183};
    QTest::addRow("5 minutes: every 305 ticks") << "5" << 700 << QList<int>{305, 610};
    QTest::addRow("0: never") << "0" << 400 << QList<int>{};
    QTest::addRow("2.5: never") << "2.5" << 400 << QList<int>{};
    QTest::addRow("0.3: never") << "0.3" << 400 << QList<int>{};
    QTest::addRow("-3: never") << "-3" << 400 << QList<int>{};
    QTest::addRow("abc: never") << "abc" << 400 << QList<int>{};
    QTest::addRow("leading blanks and trailing text") << "  1 min" << 70 << QList<int>{61};
}

void ScheduleTest::timedChecks()
{
    QFETCH(QString, interval);
    QFETCH(int, ticks);
    QFETCH(QList<int>, checks);
    QCOMPARE(distinct(checksOver(ticks, interval)), checks);
}

void ScheduleTest::minuteCounterResetsAtTheRoundedInterval_data()
{
    QTest::addColumn<QString>("interval");
    QTest::addColumn<QString>("minutesBefore");
    QTest::addColumn<QString>("secondsBefore");
    QTest::addColumn<QString>("minutesAfter");
    QTest::addColumn<QString>("secondsAfter");

    QTest::addRow("2.5 rounds to 2") << "2.5"
                                     << "2"
                                     << "5"
                                     << "0"
                                     << "6";
    QTest::addRow("3.5 rounds to 4") << "3.5"
                                     << "4"
                                     << "5"
                                     << "0"
                                     << "6";
    QTest::addRow("0.3 rounds to 0") << "0.3"
                                     << "0"
                                     << "5"
                                     << "0"
                                     << "6";
    QTest::addRow("below the interval counts on") << "2"
                                                  << "1"
                                                  << "5"
                                                  << "1"
                                                  << "6";
    QTest::addRow("60 seconds roll over") << "5"
                                          << "3"
                                          << "60"
                                          << "4"
                                          << "0";
    QTest::addRow("reset and roll over in one tick") << "2"
                                                     << "2"
                                                     << "60"
                                                     << "1"
                                                     << "0";
    QTest::addRow("design texts read as 0") << "3"
                                            << "Text1"
                                            << "Text4"
                                            << "Text1"
                                            << "1";
}

void ScheduleTest::minuteCounterResetsAtTheRoundedInterval()
{
    QFETCH(QString, interval);
    QFETCH(QString, minutesBefore);
    QFETCH(QString, secondsBefore);
    QFETCH(QString, minutesAfter);
    QFETCH(QString, secondsAfter);

    QString minutes = minutesBefore;
    QString seconds = secondsBefore;
    Schedule::secondTick(interval, seconds, minutes);
    QCOMPARE(minutes, minutesAfter);
    QCOMPARE(seconds, secondsAfter);
}

void ScheduleTest::loweringTheIntervalBelowTheCounterStopsChecks()
{
    QString seconds = QStringLiteral("0");
    QString minutes = QStringLiteral("0");
    for (int tick = 0; tick < 7 * 61; ++tick)
        Schedule::secondTick(QStringLiteral("10"), seconds, minutes);
    QCOMPARE(minutes, QStringLiteral("7"));

    // Lowered to 5 at minute 7: the counter runs past it and never meets it again.
    QCOMPARE(checksOver(61 * 30, QStringLiteral("5"), seconds, minutes), QList<int>{});
    // Raised to 8, the counter reaches it a minute later.
    QCOMPARE(distinct(checksOver(61, QStringLiteral("8"), seconds, minutes)), QList<int>{61});
}

void ScheduleTest::hugeIntervalCountsOnWithoutChecks()
{
    QString seconds = QStringLiteral("60");
    QString minutes = QStringLiteral("4");
    Schedule::secondTick(QStringLiteral("99999999999"), seconds, minutes);
    QCOMPARE(minutes, QStringLiteral("5"));
    QVERIFY(!Schedule::checkDue(QStringLiteral("99999999999"), minutes));
}

void ScheduleTest::scrolling()
{
    float left = Schedule::ScrollStart;
    int ticks = 0;
    while (left != Schedule::ScrollEnd) {
        left = Schedule::nextScrollLeft(left);
        ++ticks;
    }
    QCOMPARE(ticks, 213);
    QCOMPARE(Schedule::nextScrollLeft(left), Schedule::ScrollStart);
    QCOMPARE(ticks + 1, Schedule::ScrollCycleTicks);
    // A position that misses -1500 exactly keeps going left.
    QCOMPARE(Schedule::nextScrollLeft(-1510.0f), -1530.0f);

    QCOMPARE(Schedule::scrollCaption(QString(), QString()), QStringLiteral("設定されていません。"));
    QCOMPARE(Schedule::scrollCaption(QStringLiteral("/usr/bin/mailer"), QStringLiteral("mailer")),
             QStringLiteral("mailer"));
}

void ScheduleTest::fileTitle_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("title");
    QTest::addRow("path") << "/usr/bin/thunderbird"
                          << "thunderbird";
    QTest::addRow("japanese") << "/opt/メール/起動.sh"
                              << "起動.sh";
    QTest::addRow("bare name") << "mailer"
                               << "mailer";
    QTest::addRow("empty") << ""
                           << "";
    QTest::addRow("folder") << "/opt/mail/"
                            << "";
    QTest::addRow("marker") << "未設定"
                            << "未設定";
}

void ScheduleTest::fileTitle()
{
    QFETCH(QString, path);
    QFETCH(QString, title);
    QCOMPARE(Schedule::fileTitle(path), title);
}

QTEST_GUILESS_MAIN(ScheduleTest)
#include "ScheduleTest.moc"
