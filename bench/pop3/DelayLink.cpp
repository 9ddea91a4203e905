#include "DelayLink.h"

#include <QByteArray>

#include <deque>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

using Clock = std::chrono::steady_clock;

namespace {

sockaddr_in loopback(quint16 port)
{
    return {AF_INET, htons(port), {htonl(INADDR_LOOPBACK)}, {}};
}

void lowDelay(int socket)
{
    const int on = 1;
    ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

} // namespace

DelayLink::DelayLink(quint16 targetPort, std::chrono::microseconds oneWay)
    : m_targetPort(targetPort), m_oneWay(oneWay), m_listener(::socket(AF_INET, SOCK_STREAM, 0))
{
    sockaddr_in address = loopback(0);
    socklen_t length = sizeof address;
    if (::bind(m_listener, reinterpret_cast<sockaddr *>(&address), length) != 0 || ::listen(m_listener, 16) != 0 ||
        ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &length) != 0)
        qFatal("DelayLink: cannot listen on 127.0.0.1");
    m_port = ntohs(address.sin_port);
    m_acceptor = std::thread([this] { accept(); });
}

DelayLink::~DelayLink()
{
    m_stop = true;
    m_acceptor.join();
    for (std::thread &connection : m_connections)
        connection.join();
    ::close(m_listener);
}

void DelayLink::accept()
{
    while (!m_stop) {
        pollfd ready{m_listener, POLLIN, 0};
        if (::poll(&ready, 1, 20) <= 0)
            continue;
        const int client = ::accept(m_listener, nullptr, nullptr);
        const int server = ::socket(AF_INET, SOCK_STREAM, 0);
        const sockaddr_in target = loopback(m_targetPort);
        if (client < 0 || ::connect(server, reinterpret_cast<const sockaddr *>(&target), sizeof target) != 0) {
            ::close(client);
            ::close(server);
            continue;
        }
        lowDelay(client);
        lowDelay(server);
        const std::lock_guard lock(m_mutex);
        m_connections.emplace_back([this, client, server] {
            std::thread back([this, client, server] { carry(server, client); });
            carry(client, server);
            back.join();
            ::close(client);
            ::close(server);
        });
    }
}

// One direction: every chunk read is written once its delay has passed; the end of the stream is passed on
// the same way, as a half close.
void DelayLink::carry(int from, int to) const
{
    struct Chunk {
        Clock::time_point due;
        QByteArray bytes; // empty: the end
    };
    std::deque<Chunk> queue;
    bool ended = false;
    QByteArray buffer(256 * 1024, Qt::Uninitialized);
    for (;;) {
        const Clock::time_point now = Clock::now();
        while (!queue.empty() && queue.front().due <= now) {
            const QByteArray &bytes = queue.front().bytes;
            if (bytes.isEmpty()) {
                ::shutdown(to, SHUT_WR);
                return;
            }
            for (qsizetype at = 0; at < bytes.size();) {
                const ssize_t sent = ::send(to, bytes.constData() + at, size_t(bytes.size() - at), MSG_NOSIGNAL);
                if (sent <= 0)
                    return; // the other side has gone; its own direction ends too
                at += sent;
            }
            queue.pop_front();
        }
        // Wait for more bytes, or for the next chunk to fall due; a stopped benchmark ends within 20 ms.
        auto wait = std::chrono::microseconds(20'000);
        if (!queue.empty())
            wait = std::min(wait, std::chrono::duration_cast<std::chrono::microseconds>(queue.front().due - now));
        const timespec timeout{0, long(std::max<qint64>(wait.count(), 0) * 1000)};
        pollfd ready{ended ? -1 : from, POLLIN, 0};
        if (::ppoll(&ready, 1, &timeout, nullptr) > 0) {
            const ssize_t got = ::recv(from, buffer.data(), size_t(buffer.size()), 0);
            ended = got <= 0;
            queue.push_back({Clock::now() + m_oneWay, got > 0 ? buffer.left(got) : QByteArray()});
        }
        if (m_stop && queue.empty())
            return;
    }
}
