#pragma once

// A POP3 client session: RFC 1939 (POP3, APOP), RFC 2449 (CAPA, response codes), RFC 2595
// (STLS), RFC 8314 (implicit TLS). Blocking calls, each bounded in time; knows nothing of
// windows. Messages are read with TOP only, never RETR, so that a check changes nothing in the
// mailbox: servers such as Dovecot mark a message seen once RETR and QUIT have passed.
//
// The caller is expected to walk the mailbox in order: header, size, message, then the next one. A server that
// announces PIPELINING gets the coming messages' commands ahead of need, as many as the window allows (by
// count and by the octets their replies may take), so that a check costs its transfer time and a few round
// trips. Sizes then come from one LIST of the whole mailbox. Any other order still works: replies to commands
// sent ahead and not asked for are read and dropped. Without PIPELINING, one command at a time (RFC 2449).
// Which commands go out when is Pop3Pipeline's to decide; this class holds the conversation.

#include "Pop3Channel.h"
#include "Pop3Error.h"
#include "Pop3Pipeline.h"
#include "Pop3Settings.h"
#include "ServerAddress.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

class Pop3Session final {
public:
    explicit Pop3Session(const Pop3Settings &settings = {});
    ~Pop3Session();

    Pop3Session(const Pop3Session &) = delete;
    Pop3Session &operator=(const Pop3Session &) = delete;

    // Connects and reads the greeting; with STLS, upgrades before anything else is said.
    // Returns false only when the server could not be reached. A failure after that (TLS,
    // certificate, greeting, STLS) is kept and returned by login(), where the user sees it.
    bool open(const ServerAddress &address);

    // APOP, or USER and PASS, then STAT. The message count, or -1.
    qint64 login(const QString &user, const QString &password, bool apop);

    // TOP n 0: the header of message n (at most MaxHeaderBytes of it).
    bool readHeader(int number, QByteArray &header);
    // LIST n, or what the LIST of the whole mailbox said: the size of message n in octets, or -1.
    qint64 messageSize(int number);
    // The whole of message n through TOP n <lines>, the line count being its size in octets,
    // which covers every line. Writes the first capacity bytes to destination, drops the rest,
    // and collects the header. Returns the length of the whole message, or -1.
    qint64 readMessage(int number, char *destination, qint64 capacity, QByteArray &header);

    // QUIT while the conversation is in step (also after a failed login), then disconnects. Replies still
    // owed are read first, unless more is on its way than is worth waiting for: then no QUIT.
    void close();

    Pop3Error error() const { return m_error; }
    const QString &errorText() const { return m_errorText; }

    // The <...@...> timestamp of an APOP-capable greeting, or empty.
    static QByteArray greetingTimestamp(const QByteArray &greeting);
    // Lower-case hex MD5 of timestamp and password (UTF-8), as APOP sends it.
    static QByteArray apopDigest(const QByteArray &timestamp, const QString &password);

private:
    enum class State { Closed, Authorization, Transaction, Failed };
    enum class Reply { Ok, Err, Broken };
    enum class Settled { Due, NotSent, Failed };
    using Step = Pop3Pipeline::Step;

    Reply readStatus(QByteArray &text);
    Reply command(const QByteArray &line, QByteArray &text);
    bool startTls(QStringList &names);
    bool capabilities(QStringList &names);
    bool listAll();
    bool requireTransaction(int number);
    bool request(const Step &wanted, const QString &refusal, QByteArray &text);
    Settled settleBefore(const Step &wanted);
    bool sendAhead(const Step *wanted);
    qint64 listSize(int number);
    qint64 readListReply(int number, const QByteArray &text);
    qint64 fail(Pop3Error error, const QString &text, const QByteArray &serverReply = {});
    qint64 failFromChannel(Pop3Error error);
    qint64 loginRefused(const QByteArray &serverReply);
    QString serverText(const QByteArray &reply) const;

    Pop3Channel m_channel;
    State m_state = State::Closed;
    QByteArray m_timestamp;
    Pop3Pipeline m_pipeline; // the walk: what goes out next, and the replies still owed
    QString m_secret;        // the password, only while login() runs, kept out of every error text
    Pop3Error m_error = Pop3Error::None;
    QString m_errorText;
};
