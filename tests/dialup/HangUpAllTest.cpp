#include "DialUp.h"

#include <QSet>
#include <QTest>

namespace {

// Lists what it is told to and records every hang-up it is asked for.
class FakeDialUp final : public DialUp {
public:
    bool m_enumerates = true;
    QList<DialUpConnection> m_listed;
    QSet<QString> m_refusing;
    QStringList m_hungUp;

    bool enumerate(QList<DialUpConnection> &connections) override
    {
        // Filled even on failure: the caller must go by the result, not by what happens to be in the list.
        connections = m_listed;
        return m_enumerates;
    }

    bool hangUp(const DialUpConnection &connection) override
    {
        m_hungUp.append(connection.id);
        return !m_refusing.contains(connection.id);
    }
};

QList<DialUpConnection> connectionsNamed(int count)
{
    QList<DialUpConnection> connections;
    for (int i = 0; i < count; ++i)
        connections.append({QString::number(i), QStringLiteral("link %1").arg(i), QStringLiteral("gsm")});
    return connections;
}

} // namespace

class HangUpAllTest final : public QObject {
    Q_OBJECT

private slots:
    void hangsUpInListedOrder_data();
    void hangsUpInListedOrder();
};

void HangUpAllTest::hangsUpInListedOrder_data()
{
    QTest::addColumn<bool>("enumerates");
    QTest::addColumn<int>("listed");
    QTest::addColumn<QStringList>("refusing");
    QTest::addColumn<int>("expectedAttempts");

    QTest::newRow("enumeration fails") << false << 3 << QStringList() << 0;
    QTest::newRow("nothing listed") << true << 0 << QStringList() << 0;
    QTest::newRow("one") << true << 1 << QStringList() << 1;
    QTest::newRow("three") << true << 3 << QStringList() << 3;
    QTest::newRow("first refuses") << true << 3 << QStringList{QStringLiteral("0")} << 3;
    QTest::newRow("middle refuses") << true << 3 << QStringList{QStringLiteral("1")} << 3;
    QTest::newRow("all refuse") << true << 3
                                << QStringList{QStringLiteral("0"), QStringLiteral("1"), QStringLiteral("2")} << 3;
    constexpr int most = DialUp::MaxConnections;
    QTest::newRow("exactly the most") << true << most << QStringList() << most;
    QTest::newRow("more than the most") << true << most + 44 << QStringList() << most;
}

void HangUpAllTest::hangsUpInListedOrder()
{
    QFETCH(bool, enumerates);
    QFETCH(int, listed);
    QFETCH(QStringList, refusing);
    QFETCH(int, expectedAttempts);

    FakeDialUp dialUp;
    dialUp.m_enumerates = enumerates;
    dialUp.m_listed = connectionsNamed(listed);
    dialUp.m_refusing = QSet<QString>(refusing.cbegin(), refusing.cend());

    QCOMPARE(hangUpAll(dialUp), expectedAttempts);

    QStringList expected;
    for (int i = 0; i < expectedAttempts; ++i)
        expected.append(QString::number(i));
    QCOMPARE(dialUp.m_hungUp, expected);
}

QTEST_GUILESS_MAIN(HangUpAllTest)
#include "HangUpAllTest.moc"
