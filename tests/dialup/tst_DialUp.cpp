#include "FakeDialUp.h"
#include "NetworkManagerDialUp.h"

#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <csignal>

using namespace std::chrono_literals;

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

// Against python-dbusmock's networkmanager template on the private session bus dbus-run-session gives the test.
void tst_DialUp::networkManager()
{
    const QString service = QStringLiteral("org.freedesktop.NetworkManager");
    QDBusConnection bus = QDBusConnection::sessionBus();
    QList<DialUpConnection> listed{{QStringLiteral("/stale"), QString(), QStringLiteral("gsm")}};
    QVERIFY(!NetworkManagerDialUp(bus).enumerate(listed) && listed.isEmpty()); // none on the bus yet

    QTemporaryDir dir;
    QProcess mock;
    mock.start(QStringLiteral("/usr/bin/python3"),
               {QStringLiteral("-m"), QStringLiteral("dbusmock"), QStringLiteral("--session"),
                QStringLiteral("--template"), QStringLiteral("networkmanager"), QStringLiteral("-l"),
                dir.filePath(QStringLiteral("calls"))});
    for (const QDeadlineTimer deadline(10'000); !bus.interface()->isServiceRegistered(service); QThread::msleep(20))
        QVERIFY2(!deadline.hasExpired(), "python3-dbusmock did not start");
    using Settings = QMap<QString, QVariantMap>;
    qDBusRegisterMetaType<Settings>();
    QDBusInterface settings(service, QStringLiteral("/org/freedesktop/NetworkManager/Settings"),
                            QStringLiteral("org.freedesktop.NetworkManager.Settings"), bus);
    QDBusInterface control(service, QStringLiteral("/org/freedesktop"), QStringLiteral("org.freedesktop.DBus.Mock"),
                           bus);
    const char *kinds[] = {"802-11-wireless", "gsm", "vpn", "cdma", "802-3-ethernet", "pppoe", "bluetooth"};
    for (int i = 0; i < 7; ++i) {
        const QVariantMap connection{{QStringLiteral("id"), kinds[i]}, {QStringLiteral("type"), kinds[i]}};
        const QDBusReply<QDBusObjectPath> added = settings.call(
            QStringLiteral("AddConnection"), QVariant::fromValue(Settings{{QStringLiteral("connection"), connection}}));
        QCOMPARE(control
                     .call(QStringLiteral("AddActiveConnection"), QStringList(), added.value().path(),
                           QStringLiteral("/"), QString::number(i), 2u)
                     .type(),
                 QDBusMessage::ReplyMessage);
    }

    // Dial-up kinds only: mobile broadband, PPPoE and Bluetooth.
    NetworkManagerDialUp dialUp(bus, 500ms);
    QCOMPARE(::hangUpAll(dialUp), 4);
    QFile calls(dir.filePath(QStringLiteral("calls")));
    QVERIFY(calls.open(QIODevice::ReadOnly));
    QByteArrayList hungUp;
    for (const QByteArray &line : calls.readAll().split('\n')) {
        if (line.contains("DeactivateConnection"))
            hungUp << line.mid(line.lastIndexOf('/') + 1);
    }
    QCOMPARE(hungUp, QByteArrayList({"1\"", "3\"", "5\"", "6\""}));

    // A NetworkManager that stops answering costs one timeout for the links left, and one for the next listing.
    QVERIFY(dialUp.enumerate(listed));
    ::kill(mock.processId(), SIGSTOP);
    QElapsedTimer timer;
    timer.start();
    for (const DialUpConnection &connection : std::as_const(listed))
        QVERIFY(!dialUp.hangUp(connection));
    QVERIFY(!dialUp.enumerate(listed));
    QVERIFY2(timer.elapsed() < 1800, qPrintable(QString::number(timer.elapsed())));
}

QTEST_GUILESS_MAIN(tst_DialUp)
#include "tst_DialUp.moc"
