#include "FakeDialUp.h"
#include "NetworkManagerDialUp.h"

#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDeadlineTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

class tst_DialUp final : public QObject {
    Q_OBJECT

private slots:
    void hangUpAll();
    void networkManager();
};

// Every listed link in order, past the ones that refuse, at most the most; none when the listing fails.
void tst_DialUp::hangUpAll()
{
    constexpr int most = DialUp::MaxConnections;
    for (const auto &[enumerates, listed, attempts] : {std::tuple{false, 3, 0}, {true, 3, 3}, {true, most + 4, most}}) {
        QStringList log, expected{QStringLiteral("HangUp")};
        FakeDialUp dialUp(log);
        dialUp.enumerates = enumerates;
        dialUp.refusing = QStringList{QStringLiteral("0"), QStringLiteral("1")};
        for (int i = 0; i < listed; ++i) {
            dialUp.listed.append({QString::number(i), QString(), QStringLiteral("gsm")});
            expected << QStringLiteral("HangUp %1").arg(i);
        }
        QCOMPARE(::hangUpAll(dialUp), attempts);
        QCOMPARE(log, expected.first(attempts + 1));
    }
}

// Against python-dbusmock's networkmanager template on the private session bus dbus-run-session gives the test:
// dial-up kinds only (mobile broadband, PPPoE, Bluetooth) are hung up.
void tst_DialUp::networkManager()
{
    const QString service = QStringLiteral("org.freedesktop.NetworkManager");
    QDBusConnection bus = QDBusConnection::sessionBus();
    QTemporaryDir dir;
    QProcess mock;
    mock.start(QStringLiteral("/usr/bin/python3"),
               {"-m", "dbusmock", "--session", "-t", "networkmanager", "-l", dir.filePath("calls")});
    for (const QDeadlineTimer deadline(10'000); !bus.interface()->isServiceRegistered(service); QThread::msleep(20))
        QVERIFY2(!deadline.hasExpired(), "python3-dbusmock did not start");
    using Settings = QMap<QString, QVariantMap>;
    qDBusRegisterMetaType<Settings>();
    QDBusInterface settings(service, "/org/freedesktop/NetworkManager/Settings", service + ".Settings", bus);
    QDBusInterface control(service, "/org/freedesktop", "org.freedesktop.DBus.Mock", bus);
    const QStringList kinds{"802-11-wireless", "gsm", "vpn", "cdma", "802-3-ethernet", "pppoe", "bluetooth"};
    for (const QString &kind : kinds) {
        const QDBusReply<QDBusObjectPath> added = settings.call(
            "AddConnection", QVariant::fromValue(Settings{{"connection", {{"id", kind}, {"type", kind}}}}));
        control.call("AddActiveConnection", QStringList(), added.value().path(), "/", kind, 2u);
    }
    QCOMPARE(::hangUpAll(*std::make_unique<NetworkManagerDialUp>(bus)), 4);
    QFile calls(dir.filePath("calls"));
    QVERIFY(calls.open(QIODevice::ReadOnly));
    const QByteArray log = calls.readAll();
    QCOMPARE(log.count("DeactivateConnection"), 4);
    for (const char *kind : {"gsm\"", "cdma\"", "pppoe\"", "bluetooth\""})
        QVERIFY2(log.contains(QByteArray("/ActiveConnection/") + kind), log.constData());
    mock.kill();
    mock.waitForFinished();
}

QTEST_GUILESS_MAIN(tst_DialUp)
#include "tst_DialUp.moc"
