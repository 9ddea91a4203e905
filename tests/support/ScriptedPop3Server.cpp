#include "ScriptedPop3Server.h"

#include <netinet/in.h>
#include <poll.h>
#include <unistd.h>

using namespace std::chrono_literals;

ScriptedPop3Server::ScriptedPop3Server(Script script, QByteArrayList messages)
    : m_script(std::move(script)), m_messages(std::move(messages)), m_listener(::socket(AF_INET, SOCK_STREAM, 0))
{
    sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t length = sizeof address;
    if (::bind(m_listener, reinterpret_cast<sockaddr *>(&address), length) != 0 || ::listen(m_listener, 4) != 0 ||
        ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &length) != 0)
        qFatal("ScriptedPop3Server: cannot listen on 127.0.0.1");
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] {
        for (pollfd ready{m_listener, POLLIN, 0}; !m_stop;) {
            if (::poll(&ready, 1, 20) > 0) {
                const int client = ::accept(m_listener, nullptr, nullptr);
                serve(client);
                ::close(client);
                return;
            }
        }
    });
}

ScriptedPop3Server::~ScriptedPop3Server()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
    ::close(m_listener);
}

QByteArray ScriptedPop3Server::commands()
{
    m_thread.join();
    return m_commands;
}

void ScriptedPop3Server::serve(int client)
{
    bool silent = false; // a stalled server still hears, but says nothing more
    for (QByteArray pending, command; !m_stop;) {
        const QByteArray answer = silent ? QByteArray() : reply(command); // the greeting first
        silent = silent || !send(client, answer);
        if (answer.endsWith("<cut>"))
            return;
        const bool ahead = pending.contains('\n');
        qsizetype end;
        while ((end = pending.indexOf('\n')) < 0) {
            pollfd ready{client, POLLIN, 0};
            char buffer[4096];
            if (m_stop)
                return;
            if (::poll(&ready, 1, 20) <= 0)
                continue;
            const ssize_t got = ::recv(client, buffer, sizeof buffer, 0);
            if (got <= 0)
                return;
            pending.append(buffer, got);
        }
        command = pending.left(end).chopped(end > 0 && pending[end - 1] == '\r' ? 1 : 0);
        pending.remove(0, end + 1);
        m_commands += (m_commands.isEmpty() ? "" : ahead ? "+" : "|") + command;
    }
}

bool ScriptedPop3Server::send(int client, QByteArray reply) const
{
    const bool trickle = reply.startsWith("<trickle>");
    const bool stall = reply.endsWith("<stall>");
    reply = reply.mid(trickle ? 9 : 0).chopped(stall ? 7 : reply.endsWith("<cut>") ? 5 : 0);
    for (qsizetype at = 0; at < reply.size(); std::this_thread::sleep_for(trickle ? 2ms : 0ms)) {
        const ssize_t sent = ::send(client, reply.constData() + at, trickle ? 1 : reply.size() - at, MSG_NOSIGNAL);
        if (sent <= 0)
            return false;
        at += sent;
    }
    return !stall;
}

QByteArray ScriptedPop3Server::reply(const QByteArray &command) const
{
    const QByteArrayList words = command.split(' ');
    const QByteArray message = m_messages.value(words.value(1).toInt() - 1);
    const QByteArray top = words.value(2) == "0" ? message.left(message.indexOf("\r\n\r\n") + 4) : message;
    const QByteArray ok = "+OK\r\n";
    QByteArray listing = ok;
    for (qsizetype n = 1; words.size() == 1 && n <= m_messages.size(); ++n)
        listing += QByteArray::number(n) + ' ' + QByteArray::number(m_messages[n - 1].size()) + "\r\n";
    const Script mailbox{
        {"", "+OK ready\r\n"},
        {"CAPA", "+OK\r\nTOP\r\nUSER\r\n.\r\n"},
        {"USER", ok},
        {"PASS", ok},
        {"APOP", ok},
        {"QUIT", ok + "<cut>"},
        {"STAT",
         "+OK " + QByteArray::number(m_messages.size()) + ' ' + QByteArray::number(m_messages.join().size()) + "\r\n"},
        {"LIST",
         words.size() == 1 ? listing + ".\r\n" : "+OK " + words[1] + ' ' + QByteArray::number(message.size()) + "\r\n"},
        {"TOP", ok + QByteArray("\r\n" + top).replace("\r\n.", "\r\n..").mid(2) + ".\r\n"}};
    const QByteArray verb =
        message.isEmpty() && words.size() > 1 && (words[0] == "LIST" || words[0] == "TOP") ? "-" : words[0];
    return m_script.value(command, m_script.value(words[0], mailbox.value(verb, "-ERR no such message\r\n")));
}
