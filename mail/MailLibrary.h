#pragma once

// The mail library's entry points (RFC 1939 POP3 and APOP, RFC 2449 CAPA, RFC 2595 STLS, RFC 8314
// implicit TLS). The mail check is written against this interface alone; the program runs it over
// NMailLibrary, and tests replace it to record the exact order of calls.
//
// Every call blocks until done, never longer than the timeouts in MailLimits.h; past the check deadline
// there, counted from the connect, the handle's connection is closed. Call them from one thread, the one
// that opened the handle; only abort() may come from any thread. Handles are small non-negative integers; several may
// be open at once. A call with a handle that is not open fails with a negative result. Failures return a negative
// value, the negated Pop3Error; the readable text of the most recent failure is kept for NMailGetMessage. Once the
// connection is gone (closed or reset by the server, closed at the check deadline, or out of step after a
// missing or garbled reply), every call on its handle but NMailPop3Close fails at once with ConnectionGone.
//
// Text buffers are QStrings whose current length is their capacity: the text is written from index
// 0, cut to capacity - 1 characters and followed by a NUL; the length never changes. The status and
// fetch calls fill the four buffers with the message's
//   buffer1  Subject   (MIME encoded-words decoded)
//   buffer2  From      (MIME encoded-words decoded)
//   buffer3  Date
//   buffer4  the whole header as received, lines ending in CR LF
// On failure they receive an empty text.

#include <QByteArray>
#include <QString>

class MailLibrary {
public:
    // The result of a call that finds its connection gone; nothing more can be read on that handle.
    static constexpr int ConnectionGone = -3;

    virtual ~MailLibrary() = default;

    // Nothing to set up on this platform; kept for the program's start-up order. Returns 0.
    virtual int NMailInitializeWinSock() = 0;
    // Sets one of the NMailOption values for connections opened afterwards; option 1 is the longest
    // response line accepted (the program passes 8192). Returns 0, or a negative value for an unknown
    // option, which is otherwise ignored.
    virtual int NMailSetOption(int option, int value) = 0;
    // Closes every connection still open. Returns 0.
    virtual int NMailEndWinSock() = 0;

    // Server name forms: host, host:port, [v6]:port, pop3://, pop3s:// (TLS, port 995),
    // pop3+starttls:// (STLS required). Returns a handle, or -1 when the server cannot be reached.
    // A failure after the TCP connect (certificate, TLS, greeting, STLS) still returns a handle: the
    // login then fails with that reason, so that the user gets to see it.
    virtual int NMailPop3Connect(const QString &server) = 0;
    // apop: -1 (any non-zero) logs in with APOP, 0 with USER and PASS. Returns the message count from
    // STAT (at most INT_MAX), or a negative value.
    virtual int NMailPop3Authenticate(int handle, const QString &id, const QString &password, int apop) = 0;
    // Reads the header of message number (TOP n 0) into the four buffers; flag is unused. Returns 0, or
    // a negative value.
    virtual int NMailPop3GetMailStatus(int handle, int number, QString &buffer1, QString &buffer2, QString &buffer3,
                                       QString &buffer4, int flag) = 0;
    // LIST n: the message's size in octets, or a negative value (also for sizes beyond INT_MAX).
    virtual int NMailPop3GetMailSize(int handle, int number) = 0;
    // Reads the whole message without marking it read (TOP n <size>, never RETR): the four buffers as
    // above; body, whose size is its capacity, receives the message bytes from index 0 up to that
    // capacity and a NUL after them when there is room; the rest of the message is read and dropped.
    // body is never resized. flag1 and flag2 are unused. Returns the length of the whole message in
    // octets (which may exceed what fitted in body, at most INT_MAX), or a negative value.
    virtual int NMailPop3GetMail(int handle, int number, QString &buffer1, QString &buffer2, QString &buffer3,
                                 QString &buffer4, QByteArray &body, int flag1, int flag2) = 0;
    // code 0: the text of the most recent failure, in Japanese, with the server's own reply where there
    // was one (never the password). Another code (a negative result) gives the general text for that
    // kind of failure. length holds the buffer's capacity on entry and the number of characters written
    // on return. Returns that number, or a negative value.
    virtual int NMailGetMessage(int code, QString &buffer, int &length) = 0;
    // QUIT (while the conversation is still in step, also after a failed login), then closes the socket
    // and frees the handle. Returns 0, or a negative value for an unknown handle.
    virtual int NMailPop3Close(int handle) = 0;

    // The program is ending. Safe from any thread, at any time: a call waiting on the network gives up
    // within StopPollMs, failing as if the connection were gone, and closes its connection without QUIT;
    // every later call on the network fails at once the same way.
    virtual void abort() = 0;
};
