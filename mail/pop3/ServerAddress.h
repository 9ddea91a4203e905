#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

// Where and how to reach the POP3 server, from the server name as the user typed it:
//   host              plain POP3 on port 110
//   host:port         plain POP3
//   [v6addr]:port     IPv6 literal in brackets (a bare literal such as ::1 works too)
//   pop3://host[:port]             plain
//   pop3s://host[:port]            TLS from the first byte, port 995 by default
//   pop3+starttls://host[:port]    plain connect, then STLS, which must succeed
class ServerAddress final {
public:
    enum class Security { Plain, ImplicitTls, StartTls };

    static constexpr quint16 DefaultPort = 110;
    static constexpr quint16 DefaultTlsPort = 995;

    static std::optional<ServerAddress> parse(const QString &text);

    ServerAddress(const QString &host, quint16 port, Security security);

    const QString &host() const { return m_host; }
    quint16 port() const { return m_port; }
    Security security() const { return m_security; }

private:
    QString m_host;
    quint16 m_port;
    Security m_security;
};
