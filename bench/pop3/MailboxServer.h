#pragma once

#include <QByteArray>

#include <atomic>
#include <thread>

// A POP3 server on 127.0.0.1 for the benchmark's very large mailbox: one connection at a time, count copies of
// one message, USER/PASS, CAPA with PIPELINING, STAT, LIST, TOP, RETR and QUIT. It answers every command that
// has arrived in one write, so that the client, not the server, sets the pace.
class MailboxServer final {
public:
    MailboxServer(qint64 count, QByteArray message);
    ~MailboxServer();

    MailboxServer(const MailboxServer &) = delete;
    MailboxServer &operator=(const MailboxServer &) = delete;

    quint16 port() const { return m_port; }

private:
    void serve(int client) const;
    // Appends the reply to one command; false after QUIT.
    bool answer(const QByteArray &command, QByteArray &out) const;

    const qint64 m_count;
    const QByteArray m_message;
    const QByteArray m_header; // what TOP n 0 sends
    int m_listener;
    quint16 m_port = 0;
    std::atomic_bool m_stop = false;
    std::thread m_thread;
};
