#pragma once

#include <QByteArrayList>
#include <QHash>

#include <atomic>
#include <thread>

// A POP3 server on 127.0.0.1 for one connection of one test, on a thread of its own (the library's calls block the
// test's). It records every command line and answers from a script, by the whole line, then by its verb ("": the
// greeting). A reply goes out as written, but "<trickle>" before it sends it a byte at a time, and "<cut>" after it
// closes the connection, "<stall>" leaves the client waiting. The rest is answered as a mailbox of the messages.
class ScriptedPop3Server final {
public:
    using Script = QHash<QByteArray, QByteArray>;

    explicit ScriptedPop3Server(Script script = {}, QByteArrayList messages = {});
    ~ScriptedPop3Server();

    quint16 port() const { return m_port; }
    // Every command line received, once the client has gone, joined by "|", or by "+" where the command had come
    // before the reply to the one before it went out: the client sent it without waiting (RFC 2449 PIPELINING).
    QByteArray commands();

private:
    void serve(int client);
    QByteArray reply(const QByteArray &command) const;
    bool send(int client, QByteArray reply) const; // false: silent from now on

    const Script m_script;
    const QByteArrayList m_messages;
    int m_listener;
    quint16 m_port = 0;
    std::atomic_bool m_stop = false;
    QByteArray m_commands;
    std::thread m_thread;
};
