#pragma once

// The bookkeeping of a POP3 session's walk through the mailbox, in the order a check makes it: header, size,
// message, then the next one. It decides which commands go out next and remembers, in the order they went out,
// the replies still owed. It reads and writes nothing: the session sends what it is given and keeps the
// conversation and its errors in one place.
//
// With PIPELINING (RFC 2449) the coming messages' commands go out ahead of need, as many as the window allows (by
// count, and by the octets their replies may take), so that a check costs its transfer time and a few round trips;
// without it, one command at a time. The caller may rely on: the lines of one call are meant for one write, in
// order; their replies arrive in the order firstPending() names them, and the caller pops each one it reads. A
// whole message is asked for with its size as the line count: until knownSize(n) has it, the walk stops there.

#include <QByteArray>
#include <QList>
#include <QtGlobal>

#include <deque>
#include <utility>
#include <vector>

class Pop3Pipeline final {
public:
    // One command of the walk: TOP n 0, LIST n or TOP n <lines>.
    struct Step {
        enum What { None, Header, Size, Message } what;
        int number;
        bool operator==(const Step &) const = default;
    };

    // Whether the server announced PIPELINING: without it, no command goes out before the reply to the one before.
    void setPipelining(bool pipelining) { m_pipelining = pipelining; }
    bool isPipelining() const { return m_pipelining; }
    // The number of messages STAT reported; the walk ends after the last of them.
    void setCount(qint64 count) { m_count = count; }
    qint64 count() const { return m_count; }

    // Whether the sizes are worth one LIST of the whole mailbox: only for a pipelined walk, and only while the
    // list stays within a few megabytes (4 octets a message).
    bool wantsSizeList() const;
    // The sizes of messages 1 to count(), in order, each from that one LIST.
    void setSizeList(std::vector<quint32> sizes) { m_sizes = std::move(sizes); }
    // What the LIST of the whole mailbox said of message n, or -1.
    qint64 sizeFromList(int number) const;
    // The answer to LIST n, the last one asked for.
    void setListedSize(int number, qint64 size);
    // The size of message n from either LIST, or -1 when neither has given it yet.
    qint64 knownSize(int number) const;

    // The command lines for wanted, whose reply is not owed yet, followed by the walk's commands after it while the
    // window has room (without PIPELINING, wanted alone). Each is owed from now on.
    QList<QByteArray> commandsFrom(const Step &wanted);
    // The walk's next commands, but only once the window has drained to half or less, so that commands go out in
    // batches rather than one write for each reply. Each is owed from now on; empty without PIPELINING.
    QList<QByteArray> commandsAhead();

    bool hasPending() const { return !m_pending.empty(); }
    // The command whose reply is the next to arrive; only while hasPending().
    Step firstPending() const { return m_pending.front().step; }
    bool isPending(const Step &step) const;
    // The octets the owed replies may take, at most.
    qint64 pendingBytes() const { return m_pendingBytes; }
    // The reply to firstPending() has been read, or is about to be.
    void popPending();
    // Nothing more is owed: the connection is gone or out of step.
    void dropPending();

private:
    // A reply still to be read, for a command already sent.
    struct Pending {
        Step step;
        qint64 expected; // octets of the reply, at most (a dot-stuffed line may add one)
    };

    QList<QByteArray> fill();
    Step following(const Step &step) const;

    bool m_pipelining = false;
    qint64 m_count = 0;
    std::vector<quint32> m_sizes; // of every message from one LIST, when the walk is pipelined
    int m_listedNumber = 0;
    qint64 m_listedSize = -1;
    std::deque<Pending> m_pending; // in the order the commands went out
    qint64 m_pendingBytes = 0;     // the sum of their expected replies
    Step m_ahead{Step::None, 0};   // the walk's next command not yet sent
};
