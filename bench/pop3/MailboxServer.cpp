#include "MailboxServer.h"

#include <QByteArrayList>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

MailboxServer::MailboxServer(qint64 count, QByteArray message)
    : m_count(count), m_message(std::move(message)), m_header(m_message.left(m_message.indexOf("\r\n\r\n") + 4)),
      m_listener(::socket(AF_INET, SOCK_STREAM, 0))
{
    sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t length = sizeof address;
    if (::bind(m_listener, reinterpret_cast<sockaddr *>(&address), length) != 0 || ::listen(m_listener, 16) != 0 ||
        ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &length) != 0)
        qFatal("MailboxServer: cannot listen on 127.0.0.1");
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] {
        while (!m_stop) {
            pollfd ready{m_listener, POLLIN, 0};
            if (::poll(&ready, 1, 20) <= 0)
                continue;
            const int client = ::accept(m_listener, nullptr, nullptr);
            const int on = 1;
            ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            serve(client);
            ::close(client);
        }
    });
}

MailboxServer::~MailboxServer()
{
    m_stop = true;
    m_thread.join();
    ::close(m_listener);
}

void MailboxServer::serve(int client) const
{
    QByteArray in, out = "+OK ready\r\n";
    QByteArray buffer(256 * 1024, Qt::Uninitialized);
    bool open = true;
    while (!m_stop) {
        for (qsizetype at = 0; at < out.size();) {
            const ssize_t sent = ::send(client, out.constData() + at, size_t(out.size() - at), MSG_NOSIGNAL);
            if (sent <= 0)
                return;
            at += sent;
        }
        out.clear();
        if (!open)
            return;
        pollfd ready{client, POLLIN, 0};
        if (::poll(&ready, 1, 20) <= 0)
            continue;
        const ssize_t got = ::recv(client, buffer.data(), size_t(buffer.size()), 0);
        if (got <= 0)
            return;
        in.append(buffer.constData(), got);
        qsizetype begin = 0;
        for (qsizetype end; open && (end = in.indexOf('\n', begin)) >= 0; begin = end + 1)
            open = answer(in.mid(begin, end - begin).trimmed(), out);
        in.remove(0, begin);
    }
}

bool MailboxServer::answer(const QByteArray &command, QByteArray &out) const
{
    const QByteArrayList words = command.split(' ');
    const QByteArray verb = words[0].toUpper();
    const qint64 number = words.value(1).toLongLong();
    const bool exists = number >= 1 && number <= m_count;
    const QByteArray size = QByteArray::number(m_message.size());
    if (verb == "CAPA") {
        out += "+OK\r\nUSER\r\nTOP\r\nPIPELINING\r\n.\r\n";
    } else if (verb == "STAT") {
        out += "+OK " + QByteArray::number(m_count) + ' ' + QByteArray::number(m_count * m_message.size()) + "\r\n";
    } else if (verb == "LIST" && words.size() == 1) {
        out += "+OK\r\n";
        for (qint64 n = 1; n <= m_count; ++n)
            out += QByteArray::number(n) + ' ' + size + "\r\n";
        out += ".\r\n";
    } else if (verb == "LIST" && exists) {
        out += "+OK " + words[1] + ' ' + size + "\r\n";
    } else if ((verb == "TOP" || verb == "RETR") && exists) {
        // The message has no line that starts with a dot: nothing to stuff.
        out += "+OK\r\n" + (verb == "TOP" && words.value(2) == "0" ? m_header : m_message) + ".\r\n";
    } else if (verb == "QUIT") {
        out += "+OK bye\r\n";
        return false;
    } else if (verb == "USER" || verb == "PASS" || verb == "NOOP") {
        out += "+OK\r\n";
    } else {
        out += "-ERR\r\n";
    }
    return true;
}
