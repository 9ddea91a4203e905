#pragma once

#include <QtGlobal>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

// A link with delay for the benchmark: listens on 127.0.0.1 and forwards every connection to a port there,
// holding each chunk of bytes back for the same time in either direction, so that a round trip takes twice
// that. Bandwidth is not limited. A connection's end travels with the same delay as its bytes.
class DelayLink final {
public:
    DelayLink(quint16 targetPort, std::chrono::microseconds oneWay);
    ~DelayLink();

    DelayLink(const DelayLink &) = delete;
    DelayLink &operator=(const DelayLink &) = delete;

    quint16 port() const { return m_port; }

private:
    void accept();
    void carry(int from, int to) const;

    const quint16 m_targetPort;
    const std::chrono::microseconds m_oneWay;
    int m_listener;
    quint16 m_port = 0;
    std::atomic_bool m_stop = false;
    std::mutex m_mutex;
    std::vector<std::thread> m_connections; // each carries both directions of one connection, then closes it
    std::thread m_acceptor;
};
