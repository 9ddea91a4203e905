#include "NetworkManagerDialUp.h"

#include <QDBusArgument>
#include <QDBusError>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QStringList>
#include <QVariantMap>

namespace {

const QString BusService = QStringLiteral("org.freedesktop.DBus");
const QString BusPath = QStringLiteral("/org/freedesktop/DBus");
const QString BusInterface = QStringLiteral("org.freedesktop.DBus");
const QString PropertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
const QString Service = QStringLiteral("org.freedesktop.NetworkManager");
const QString ManagerPath = QStringLiteral("/org/freedesktop/NetworkManager");
const QString ManagerInterface = QStringLiteral("org.freedesktop.NetworkManager");
const QString ActiveInterface = QStringLiteral("org.freedesktop.NetworkManager.Connection.Active");

// NetworkManager's names for the kinds of link that dial out: mobile broadband (GSM/UMTS/LTE and CDMA), PPP over
// Ethernet, and Bluetooth.
const QStringList DialUpTypes = {
    QStringLiteral("gsm"),
    QStringLiteral("cdma"),
    QStringLiteral("pppoe"),
    QStringLiteral("bluetooth"),
};

QDBusMessage methodCall(const QString &service, const QString &path, const QString &interface, const QString &method)
{
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
    // Neither listing nor hanging up may start a NetworkManager that is installed but not running.
    message.setAutoStartService(false);
    return message;
}

// QDBusObjectPath warns on anything else; a handle from another backend or a stale setting must fail quietly.
bool isObjectPath(const QString &path)
{
    if (path == QLatin1String("/"))
        return true;
    if (!path.startsWith(QLatin1Char('/')) || path.endsWith(QLatin1Char('/')) || path.contains(QLatin1String("//")))
        return false;
    for (const QChar c : path) {
        const char16_t u = c.unicode();
        const bool allowed =
            (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || (u >= u'0' && u <= u'9') || u == u'_' || u == u'/';
        if (!allowed)
            return false;
    }
    return true;
}

// Errors that say NetworkManager stopped answering, as opposed to one object having gone away meanwhile.
bool isUnresponsive(const QDBusMessage &reply)
{
    switch (QDBusError(reply).type()) {
    case QDBusError::NoReply:
    case QDBusError::Timeout:
    case QDBusError::TimedOut:
    case QDBusError::Disconnected:
    case QDBusError::ServiceUnknown:
        return true;
    default:
        return false;
    }
}

} // namespace

NetworkManagerDialUp::NetworkManagerDialUp(const QDBusConnection &bus, std::chrono::milliseconds timeout)
    : m_bus(bus), m_timeout(timeout)
{
}

bool NetworkManagerDialUp::enumerate(QList<DialUpConnection> &connections)
{
    connections.clear();
    m_unresponsive = false;
    if (!m_bus.isConnected())
        return false;

    // One deadline for the whole listing, so a NetworkManager that hangs halfway costs one timeout, not one per link.
    const QDeadlineTimer deadline(m_timeout, Qt::PreciseTimer);
    if (!serviceHasOwner(deadline))
        return false;

    QDBusMessage get = methodCall(Service, ManagerPath, PropertiesInterface, QStringLiteral("Get"));
    get << ManagerInterface << QStringLiteral("ActiveConnections");
    const QDBusMessage listed = callWithin(get, deadline);
    if (listed.type() != QDBusMessage::ReplyMessage || listed.arguments().isEmpty())
        return false;
    const QVariant listValue = listed.arguments().constFirst().value<QDBusVariant>().variant();
    if (!listValue.canConvert<QDBusArgument>())
        return false;
    const QDBusArgument listArgument = listValue.value<QDBusArgument>();
    if (listArgument.currentSignature() != QLatin1String("ao"))
        return false;
    QList<QDBusObjectPath> paths;
    listArgument >> paths;

    for (const QDBusObjectPath &path : std::as_const(paths)) {
        QDBusMessage getAll = methodCall(Service, path.path(), PropertiesInterface, QStringLiteral("GetAll"));
        getAll << ActiveInterface;
        const QDBusMessage read = callWithin(getAll, deadline);
        if (read.type() != QDBusMessage::ReplyMessage) {
            if (isUnresponsive(read))
                return false;
            continue; // deactivated between the listing and now
        }
        if (read.arguments().isEmpty())
            continue;
        const QDBusArgument propertiesArgument = read.arguments().constFirst().value<QDBusArgument>();
        if (propertiesArgument.currentSignature() != QLatin1String("a{sv}"))
            continue;
        QVariantMap properties;
        propertiesArgument >> properties;

        const QString type = properties.value(QStringLiteral("Type")).toString();
        if (!DialUpTypes.contains(type))
            continue;
        connections.append({path.path(), properties.value(QStringLiteral("Id")).toString(), type});
        if (connections.size() == MaxConnections)
            break;
    }
    return true;
}

bool NetworkManagerDialUp::hangUp(const DialUpConnection &connection)
{
    if (!m_bus.isConnected() || m_unresponsive)
        return false;
    if (!isObjectPath(connection.id))
        return false; // nothing NetworkManager could have handed out

    QDBusMessage deactivate =
        methodCall(Service, ManagerPath, ManagerInterface, QStringLiteral("DeactivateConnection"));
    deactivate << QVariant::fromValue(QDBusObjectPath(connection.id));
    const QDBusMessage reply = callWithin(deactivate, QDeadlineTimer(m_timeout, Qt::PreciseTimer));
    // Once it has let one hang-up time out, waiting out the same timeout for every further link would freeze the
    // window for minutes; the rest fail at once until the next listing shows it answers again.
    if (isUnresponsive(reply))
        m_unresponsive = true;
    return reply.type() == QDBusMessage::ReplyMessage;
}

bool NetworkManagerDialUp::serviceHasOwner(const QDeadlineTimer &deadline) const
{
    // Asking the bus first makes the usual "no NetworkManager here" case cost no timeout at all.
    QDBusMessage ask = methodCall(BusService, BusPath, BusInterface, QStringLiteral("NameHasOwner"));
    ask << Service;
    const QDBusMessage reply = callWithin(ask, deadline);
    return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() &&
           reply.arguments().constFirst().toBool();
}

QDBusMessage NetworkManagerDialUp::callWithin(const QDBusMessage &message, const QDeadlineTimer &deadline) const
{
    if (deadline.isForever())
        return m_bus.call(message, QDBus::Block, -1);
    const qint64 remaining = deadline.remainingTime();
    if (remaining <= 0)
        return message.createErrorReply(QDBusError::Timeout, QStringLiteral("No time left to ask NetworkManager"));
    // Block, not BlockWithGui: this runs on the GUI thread and must not re-enter the event loop.
    return m_bus.call(message, QDBus::Block, static_cast<int>(remaining));
}

std::unique_ptr<DialUp> createPlatformDialUp()
{
    return std::make_unique<NetworkManagerDialUp>();
}
