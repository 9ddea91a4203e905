#include "ServerAddress.h"

#include <QHostAddress>

namespace {

std::optional<quint16> parsePort(QStringView text)
{
    if (text.isEmpty() || text.size() > 5)
        return std::nullopt;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
    }
    const int port = text.toInt();
    if (port < 1 || port > 65535)
        return std::nullopt;
    return static_cast<quint16>(port);
}

bool isPlausibleHostName(QStringView host)
{
    if (host.isEmpty() || host.size() > 253)
        return false;
    for (const QChar c : host) {
        if (c.isSpace() || c.category() == QChar::Other_Control || QStringView(u"/@?#[]\\%").contains(c))
            return false;
    }
    return true;
}

bool isIpv6Literal(const QString &text)
{
    const QHostAddress address(text);
    return !address.isNull() && address.protocol() == QAbstractSocket::IPv6Protocol;
}

} // namespace

ServerAddress::ServerAddress(const QString &host, quint16 port, Security security)
    : m_host(host), m_port(port), m_security(security)
{
}

std::optional<ServerAddress> ServerAddress::parse(const QString &text)
{
    QString rest = text.trimmed();
    Security security = Security::Plain;
    const qsizetype schemeEnd = rest.indexOf(u"://");
    if (schemeEnd >= 0) {
        const QString scheme = rest.left(schemeEnd).toLower();
        if (scheme == u"pop3")
            security = Security::Plain;
        else if (scheme == u"pop3s")
            security = Security::ImplicitTls;
        else if (scheme == u"pop3+starttls")
            security = Security::StartTls;
        else
            return std::nullopt;
        rest = rest.mid(schemeEnd + 3);
        if (rest.endsWith(u'/'))
            rest.chop(1);
    }
    quint16 port = security == Security::ImplicitTls ? DefaultTlsPort : DefaultPort;

    QString host;
    if (rest.startsWith(u'[')) {
        const qsizetype close = rest.indexOf(u']');
        if (close < 0)
            return std::nullopt;
        host = rest.mid(1, close - 1);
        if (!isIpv6Literal(host))
            return std::nullopt;
        const QStringView after = QStringView(rest).mid(close + 1);
        if (!after.isEmpty()) {
            if (!after.startsWith(u':'))
                return std::nullopt;
            const auto parsed = parsePort(after.mid(1));
            if (!parsed)
                return std::nullopt;
            port = *parsed;
        }
        return ServerAddress(host, port, security);
    }

    const qsizetype colons = rest.count(u':');
    if (colons > 1) {
        // An unbracketed IPv6 literal: the colons belong to the address, not to a port.
        if (!isIpv6Literal(rest))
            return std::nullopt;
        return ServerAddress(rest, port, security);
    }
    host = rest;
    if (colons == 1) {
        const qsizetype colon = rest.indexOf(u':');
        host = rest.left(colon);
        const auto parsed = parsePort(QStringView(rest).mid(colon + 1));
        if (!parsed)
            return std::nullopt;
        port = *parsed;
    }
    if (!isPlausibleHostName(host))
        return std::nullopt;
    return ServerAddress(host, port, security);
}
