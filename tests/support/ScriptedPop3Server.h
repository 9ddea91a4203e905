#pragma once

#include <QByteArrayList>
#include <QHash>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

// A POP3 server on 127.0.0.1 for one test, on a thread of its own (the library's calls block the test's).
// It records every command line and answers from a script, looked up by the whole line, then by its verb
// ("" is the greeting). A reply goes out as written, except that "<trickle>" before it sends it a byte at a
// time, and "<cut>" after it closes the connection, "<stall>" leaves the client waiting for good. What the
// script leaves out is answered as a small mailbox of the given messages (CR LF line ends) would.
class ScriptedPop3Server final {
public:
    using Script = QHash<QByteArray, QByteArray>;

    explicit ScriptedPop3Server(Script script = {}, QByteArrayList messages = {});
    ~ScriptedPop3Server();

    quint16 port() const { return m_port; }
    // Every command line received, once the client has gone (at most a few seconds later).
    QByteArrayList commands();

private:
    void serve(int client);
    QByteArray reply(const QByteArray &command) const;
    bool send(int client, QByteArray reply) const; // false: silent from now on
    void locked(const std::function<void()> &work)
    {
        const std::lock_guard lock(m_mutex);
        work();
    }

    const Script m_script;
    const QByteArrayList m_messages;
    int m_listener;
    quint16 m_port = 0;
    std::atomic_bool m_stop = false;
    std::mutex m_mutex;
    std::condition_variable m_gone;
    int m_open = 0;
    bool m_served = false;
    QByteArrayList m_commands;
    std::thread m_thread;
};
