#include "NetworkManagerDialUp.h"
#include "NetworkManagerMock.h"
#include "PrivateBus.h"

#include <QElapsedTimer>
#include <QTest>

#include <memory>

using namespace std::chrono_literals;

namespace {

const QString ConnectionName = QStringLiteral("dialup-test");

// Failing without NetworkManager must cost no timeout at all; this leaves room for a loaded CI machine.
constexpr auto AtOnce = 250ms;

} // namespace

// Each mock-backed test gets a fresh NetworkManager mock, so no call log or connection leaks between cases.
#define START_MOCK_OR_SKIP()                                                                                           \
    do {                                                                                                               \
        if (!m_mockUnavailable.isEmpty())                                                                              \
            QSKIP(qPrintable(m_mockUnavailable));                                                                      \
        m_mock = std::make_unique<NetworkManagerMock>(m_bus.address(), bus());                                         \
        const QString mockError = m_mock->start();                                                                     \
        QVERIFY2(mockError.isEmpty(), qPrintable(mockError));                                                          \
    } while (false)

class NetworkManagerDialUpTest final : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void cleanupTestCase();

    void hangsUpDialUpOnly_data();
    void hangsUpDialUpOnly();
    void listsNamesAndTypes();
    void reportsRefusedHangUp();
    void listsAtMostTheMost();
    void failsAtOnceWithoutNetworkManager_data();
    void failsAtOnceWithoutNetworkManager();
    void boundsWaitForHungNetworkManager();
    void boundsHangUpsAfterNetworkManagerHangs();

private:
    static QDBusConnection bus() { return QDBusConnection(ConnectionName); }

    PrivateBus m_bus;
    QString m_mockUnavailable;
    std::unique_ptr<NetworkManagerMock> m_mock;
};

void NetworkManagerDialUpTest::initTestCase()
{
    if (PrivateBus::daemonProgram().isEmpty())
        QSKIP("dbus-daemon is not installed (Debian package dbus); the NetworkManager backend cannot be tested");
    const QString error = m_bus.start();
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QVERIFY2(QDBusConnection::connectToBus(m_bus.address(), ConnectionName).isConnected(),
             qPrintable(bus().lastError().message()));
    m_mockUnavailable = NetworkManagerMock::unavailableReason();
}

void NetworkManagerDialUpTest::cleanup()
{
    m_mock.reset();
}

void NetworkManagerDialUpTest::cleanupTestCase()
{
    QDBusConnection::disconnectFromBus(ConnectionName);
    m_bus.stop();
}

void NetworkManagerDialUpTest::hangsUpDialUpOnly_data()
{
    QTest::addColumn<QStringList>("types");
    QTest::addColumn<QList<int>>("refused");
    QTest::addColumn<QList<int>>("expected");

    const QString gsm = QStringLiteral("gsm");
    const QString cdma = QStringLiteral("cdma");
    const QString pppoe = QStringLiteral("pppoe");
    const QString bluetooth = QStringLiteral("bluetooth");
    const QString ethernet = QStringLiteral("802-3-ethernet");
    const QString wifi = QStringLiteral("802-11-wireless");
    const QString vpn = QStringLiteral("vpn");

    QTest::newRow("no connection") << QStringList() << QList<int>() << QList<int>();
    QTest::newRow("two dial-up") << QStringList{gsm, pppoe} << QList<int>() << QList<int>{0, 1};
    QTest::newRow("dial-up and ethernet") << QStringList{gsm, ethernet} << QList<int>() << QList<int>{0};
    QTest::newRow("ethernet and dial-up") << QStringList{ethernet, cdma} << QList<int>() << QList<int>{1};
    QTest::newRow("no dial-up") << QStringList{ethernet, wifi, vpn, QStringLiteral("wireguard")} << QList<int>()
                                << QList<int>();
    QTest::newRow("every kind") << QStringList{wifi, gsm, vpn, cdma, ethernet, pppoe, bluetooth} << QList<int>()
                                << QList<int>{1, 3, 5, 6};
    QTest::newRow("first refused") << QStringList{gsm, pppoe} << QList<int>{0} << QList<int>{0, 1};
}

void NetworkManagerDialUpTest::hangsUpDialUpOnly()
{
    QFETCH(QStringList, types);
    QFETCH(QList<int>, refused);
    QFETCH(QList<int>, expected);
    START_MOCK_OR_SKIP();

    QStringList paths;
    for (const QString &type : std::as_const(types)) {
        paths.append(m_mock->addActiveConnection(type, QStringLiteral("link %1").arg(paths.size())));
        QVERIFY2(!paths.constLast().isEmpty(), qPrintable(type));
    }
    for (const int index : std::as_const(refused))
        QVERIFY(m_mock->refuseDeactivation(paths.at(index)));

    NetworkManagerDialUp dialUp(bus());
    QCOMPARE(hangUpAll(dialUp), expected.size());

    QStringList expectedPaths;
    for (const int index : std::as_const(expected))
        expectedPaths.append(paths.at(index));
    bool ok = false;
    QCOMPARE(m_mock->deactivated(&ok), expectedPaths);
    QVERIFY(ok);
}

void NetworkManagerDialUpTest::listsNamesAndTypes()
{
    START_MOCK_OR_SKIP();
    const QString mobile = m_mock->addActiveConnection(QStringLiteral("gsm"), QStringLiteral("モバイル"));
    QVERIFY(!m_mock->addActiveConnection(QStringLiteral("802-3-ethernet"), QStringLiteral("Wired")).isEmpty());
    const QString phone = m_mock->addActiveConnection(QStringLiteral("bluetooth"), QStringLiteral("Phone DUN"));
    QVERIFY(!mobile.isEmpty() && !phone.isEmpty());

    NetworkManagerDialUp dialUp(bus());
    QList<DialUpConnection> connections{{QStringLiteral("/stale"), QStringLiteral("stale"), QStringLiteral("gsm")}};
    QVERIFY(dialUp.enumerate(connections));
    QCOMPARE(connections.size(), 2);
    QCOMPARE(connections.at(0).id, mobile);
    QCOMPARE(connections.at(0).name, QStringLiteral("モバイル"));
    QCOMPARE(connections.at(0).type, QStringLiteral("gsm"));
    QCOMPARE(connections.at(1).id, phone);
    QCOMPARE(connections.at(1).name, QStringLiteral("Phone DUN"));
    QCOMPARE(connections.at(1).type, QStringLiteral("bluetooth"));

    // Listing alone must not hang anything up.
    bool ok = false;
    QVERIFY(m_mock->deactivated(&ok).isEmpty());
    QVERIFY(ok);
}

void NetworkManagerDialUpTest::reportsRefusedHangUp()
{
    START_MOCK_OR_SKIP();
    const QString first = m_mock->addActiveConnection(QStringLiteral("pppoe"), QStringLiteral("DSL"));
    const QString second = m_mock->addActiveConnection(QStringLiteral("cdma"), QStringLiteral("Modem"));
    QVERIFY(!first.isEmpty() && !second.isEmpty());
    QVERIFY(m_mock->refuseDeactivation(first));

    NetworkManagerDialUp dialUp(bus());
    QVERIFY(!dialUp.hangUp({first, QStringLiteral("DSL"), QStringLiteral("pppoe")}));
    QVERIFY(dialUp.hangUp({second, QStringLiteral("Modem"), QStringLiteral("cdma")}));
    // A handle that is no object path never reaches NetworkManager.
    QVERIFY(!dialUp.hangUp({QStringLiteral("not a path"), QString(), QStringLiteral("gsm")}));

    bool ok = false;
    QCOMPARE(m_mock->deactivated(&ok), (QStringList{first, second}));
    QVERIFY(ok);
}

void NetworkManagerDialUpTest::listsAtMostTheMost()
{
    START_MOCK_OR_SKIP();
    QStringList paths;
    for (int i = 0; i <= DialUp::MaxConnections; ++i) {
        paths.append(m_mock->addActiveConnection(QStringLiteral("gsm"), QStringLiteral("link %1").arg(i)));
        QVERIFY(!paths.constLast().isEmpty());
    }

    NetworkManagerDialUp dialUp(bus());
    QList<DialUpConnection> connections;
    QVERIFY(dialUp.enumerate(connections));
    QCOMPARE(connections.size(), DialUp::MaxConnections);
    QCOMPARE(connections.constLast().id, paths.at(DialUp::MaxConnections - 1));
}

void NetworkManagerDialUpTest::failsAtOnceWithoutNetworkManager_data()
{
    QTest::addColumn<bool>("busExists");
    QTest::newRow("not on the bus") << true;
    QTest::newRow("no bus at all") << false;
}

void NetworkManagerDialUpTest::failsAtOnceWithoutNetworkManager()
{
    QFETCH(bool, busExists);
    const QString nowhere = QStringLiteral("dialup-test-nowhere");
    QDBusConnection connection =
        busExists ? bus()
                  : QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/dialup-test-bus"), nowhere);
    QCOMPARE(connection.isConnected(), busExists);

    NetworkManagerDialUp dialUp(connection);
    QList<DialUpConnection> connections{{QStringLiteral("/stale"), QStringLiteral("stale"), QStringLiteral("gsm")}};
    QElapsedTimer timer;
    timer.start();
    const bool listed = dialUp.enumerate(connections);
    const auto elapsed = std::chrono::nanoseconds(timer.nsecsElapsed());
    const int attempts = hangUpAll(dialUp);
    if (!busExists)
        QDBusConnection::disconnectFromBus(nowhere);

    qInfo("enumeration without NetworkManager took %.3f ms",
          std::chrono::duration<double, std::milli>(elapsed).count());
    QVERIFY(!listed);
    QVERIFY(connections.isEmpty());
    QCOMPARE(attempts, 0);
    QVERIFY2(elapsed < AtOnce, "failing without NetworkManager must not wait for a timeout");
}

void NetworkManagerDialUpTest::boundsWaitForHungNetworkManager()
{
    START_MOCK_OR_SKIP();
    QVERIFY(!m_mock->addActiveConnection(QStringLiteral("gsm"), QStringLiteral("Mobile")).isEmpty());
    // Still owns its name, but answers nothing: the wait must end at the backend's own timeout.
    m_mock->suspend();

    NetworkManagerDialUp dialUp(bus());
    QList<DialUpConnection> connections;
    QElapsedTimer timer;
    timer.start();
    const bool listed = dialUp.enumerate(connections);
    const auto elapsed = std::chrono::milliseconds(timer.elapsed());

    qInfo("enumeration with a hung NetworkManager gave up after %lld ms", static_cast<long long>(elapsed.count()));
    QVERIFY(!listed);
    QVERIFY(connections.isEmpty());
    // Giving up far earlier would mean it failed for some other reason than the silence.
    QVERIFY(elapsed >= NetworkManagerDialUp::DefaultTimeout / 2);
    QVERIFY(elapsed < NetworkManagerDialUp::DefaultTimeout + 1s);
}

void NetworkManagerDialUpTest::boundsHangUpsAfterNetworkManagerHangs()
{
    START_MOCK_OR_SKIP();
    for (int i = 0; i < 3; ++i)
        QVERIFY(!m_mock->addActiveConnection(QStringLiteral("gsm"), QStringLiteral("link %1").arg(i)).isEmpty());
    NetworkManagerDialUp dialUp(bus());
    QList<DialUpConnection> connections;
    QVERIFY(dialUp.enumerate(connections));
    QCOMPARE(connections.size(), 3);
    m_mock->suspend();

    // Every link is still tried, but only the first may cost a timeout.
    QElapsedTimer timer;
    timer.start();
    for (const DialUpConnection &connection : std::as_const(connections))
        QVERIFY(!dialUp.hangUp(connection));
    const auto elapsed = std::chrono::milliseconds(timer.elapsed());

    qInfo("three hang-ups with a hung NetworkManager took %lld ms", static_cast<long long>(elapsed.count()));
    QVERIFY(elapsed < NetworkManagerDialUp::DefaultTimeout + 1s);
}

QTEST_GUILESS_MAIN(NetworkManagerDialUpTest)
#include "NetworkManagerDialUpTest.moc"
