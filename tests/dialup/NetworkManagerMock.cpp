#include "NetworkManagerMock.h"

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QThread>

namespace {

const QString Service = QStringLiteral("org.freedesktop.NetworkManager");
const QString MainPath = QStringLiteral("/org/freedesktop");
const QString ManagerPath = QStringLiteral("/org/freedesktop/NetworkManager");
const QString SettingsPath = QStringLiteral("/org/freedesktop/NetworkManager/Settings");
const QString MockInterface = QStringLiteral("org.freedesktop.DBus.Mock");
constexpr int CallTimeoutMs = 5000;
constexpr quint32 ActivatedState = 2;

using ConnectionSettings = QMap<QString, QVariantMap>;

QProcessEnvironment mockEnvironment(const QString &busAddress)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // The template goes on the system bus; both addresses point at the private daemon so neither real bus is touched.
    environment.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), busAddress);
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), busAddress);
    // A developer's own Python set-up must not shadow Debian's modules.
    environment.remove(QStringLiteral("PYTHONPATH"));
    environment.remove(QStringLiteral("PYTHONHOME"));
    return environment;
}

} // namespace

QString NetworkManagerMock::python()
{
    return QStringLiteral("/usr/bin/python3");
}

QString NetworkManagerMock::unavailableReason()
{
    if (!QFileInfo(python()).isExecutable())
        return QStringLiteral("%1 is missing").arg(python());
    QProcess probe;
    probe.setProcessEnvironment(mockEnvironment(QString()));
    probe.start(python(), {QStringLiteral("-c"), QStringLiteral("import dbusmock")});
    if (!probe.waitForFinished(10000) || probe.exitStatus() != QProcess::NormalExit || probe.exitCode() != 0)
        return QStringLiteral("python3-dbusmock is not installed for %1").arg(python());
    return {};
}

NetworkManagerMock::NetworkManagerMock(const QString &busAddress, const QDBusConnection &bus)
    : m_busAddress(busAddress), m_bus(bus)
{
    qDBusRegisterMetaType<ConnectionSettings>();
}

QString NetworkManagerMock::start()
{
    if (!m_dir.isValid())
        return QStringLiteral("no temporary folder: %1").arg(m_dir.errorString());
    m_process.setProcessEnvironment(mockEnvironment(m_busAddress));
    // Its call log goes to stdout; nobody reads that pipe while the test blocks on D-Bus, so it must not fill up.
    m_process.setStandardOutputFile(QProcess::nullDevice());
    m_process.setStandardErrorFile(m_dir.filePath(QStringLiteral("mock.log")));
    m_process.start(python(), {QStringLiteral("-m"), QStringLiteral("dbusmock"), QStringLiteral("--system"),
                               QStringLiteral("--template"), QStringLiteral("networkmanager")});
    if (!m_process.waitForStarted(5000))
        return QStringLiteral("dbusmock did not start: %1").arg(m_process.errorString());

    // Wait for this very process to own the name, not a mock from an earlier test still on its way out.
    const QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired()) {
        if (m_process.state() != QProcess::Running)
            return QStringLiteral("dbusmock exited: %1").arg(log());
        QDBusMessage ask = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetConnectionUnixProcessID"));
        ask << Service;
        const QDBusMessage reply = m_bus.call(ask, QDBus::Block, CallTimeoutMs);
        const bool ours = reply.type() == QDBusMessage::ReplyMessage &&
                          reply.arguments().value(0).toLongLong() == m_process.processId();
        if (ours)
            return {};
        QThread::msleep(20);
    }
    return QStringLiteral("dbusmock never took the NetworkManager name: %1").arg(log());
}

void NetworkManagerMock::stop()
{
    m_process.stop();
}

QString NetworkManagerMock::addActiveConnection(const QString &type, const QString &name)
{
    ConnectionSettings settings;
    settings.insert(QStringLiteral("connection"), {{QStringLiteral("id"), name}, {QStringLiteral("type"), type}});
    const QDBusMessage added = call(SettingsPath, QStringLiteral("org.freedesktop.NetworkManager.Settings"),
                                    QStringLiteral("AddConnection"), {QVariant::fromValue(settings)});
    if (added.type() != QDBusMessage::ReplyMessage)
        return {};
    const QString connectionPath = added.arguments().value(0).value<QDBusObjectPath>().path();

    const QDBusMessage activated =
        call(MainPath, MockInterface, QStringLiteral("AddActiveConnection"),
             {QStringList(), connectionPath, QStringLiteral("/"), QString::number(m_added++), ActivatedState});
    if (activated.type() != QDBusMessage::ReplyMessage)
        return {};
    return activated.arguments().value(0).toString();
}

bool NetworkManagerMock::refuseDeactivation(const QString &activePath)
{
    m_refused.append(QStringLiteral("'%1'").arg(activePath));
    // Replaces the template's method with one that refuses the listed paths and otherwise does what it did.
    const QString code = QStringLiteral("if args[0] in [%1]:\n"
                                        "    raise dbus.exceptions.DBusException('refused by the test', "
                                        "name='org.freedesktop.NetworkManager.PermissionDenied')\n"
                                        "self.deactivate_connection(self, args[0])\n")
                             .arg(m_refused.join(QLatin1Char(',')));
    const QDBusMessage reply =
        call(ManagerPath, MockInterface, QStringLiteral("AddMethod"),
             {Service, QStringLiteral("DeactivateConnection"), QStringLiteral("o"), QString(), code});
    return reply.type() == QDBusMessage::ReplyMessage;
}

QStringList NetworkManagerMock::deactivated(bool *ok) const
{
    *ok = false;
    const QDBusMessage reply =
        call(ManagerPath, MockInterface, QStringLiteral("GetMethodCalls"), {QStringLiteral("DeactivateConnection")});
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return {};
    const QDBusArgument calls = reply.arguments().constFirst().value<QDBusArgument>();
    if (calls.currentSignature() != QLatin1String("a(tav)"))
        return {};

    QStringList paths;
    calls.beginArray();
    while (!calls.atEnd()) {
        quint64 timestamp = 0;
        QVariantList arguments;
        calls.beginStructure();
        calls >> timestamp >> arguments;
        calls.endStructure();
        if (arguments.size() != 1)
            return {};
        paths.append(arguments.constFirst().value<QDBusObjectPath>().path());
    }
    calls.endArray();
    *ok = true;
    return paths;
}

QDBusMessage NetworkManagerMock::call(const QString &path, const QString &interface, const QString &method,
                                      const QVariantList &arguments) const
{
    QDBusMessage message = QDBusMessage::createMethodCall(Service, path, interface, method);
    message.setArguments(arguments);
    return m_bus.call(message, QDBus::Block, CallTimeoutMs);
}

QString NetworkManagerMock::log() const
{
    QFile file(m_dir.filePath(QStringLiteral("mock.log")));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}
