#pragma once

#include "MultiLineDecoder.h"
#include "Pop3Error.h"
#include "Pop3Settings.h"
#include "ServerAddress.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QString>

#include <functional>
#include <memory>

class QTcpSocket;
class QSslSocket;

// The byte stream under a POP3 session: connect (plain or TLS), send command lines, read
// response lines and multi-line data, every wait bounded by the reply timeout and the deadline
// of the current call and given up within StopPollMs once the program is ending. Memory stays bounded: one input
// buffer, lines capped, data streamed.
//
// TLS settings are taken from QSslConfiguration::defaultConfiguration() at each handshake and
// the peer is always verified. The program leaves that configuration alone, so the system trust
// store applies; a test trusts its own certificate by adding it there.
class Pop3Channel final {
public:
    explicit Pop3Channel(const Pop3Settings &settings);
    ~Pop3Channel();

    Pop3Channel(const Pop3Channel &) = delete;
    Pop3Channel &operator=(const Pop3Channel &) = delete;

    // Starts the deadline of one library call; every wait until the next call counts against it. The
    // check deadline, counted from this channel's creation, cuts it short; past that deadline the
    // connection is closed, here or in the wait that reaches it, and stays closed.
    void beginCall();

    // Resolves and connects (with the connect timeout), then for implicit TLS does the handshake.
    Pop3Error open(const ServerAddress &address);
    // Upgrades the open plain connection to TLS, as STLS asks.
    Pop3Error startTls();

    Pop3Error sendLine(const QByteArray &line);
    // Several command lines in one write, for pipelining.
    Pop3Error sendLines(const QList<QByteArray> &lines);
    // One response line without its line end.
    Pop3Error readLine(QByteArray &line);
    // The data of a multi-line reply up to its terminating line, decoded, handed to sink.
    Pop3Error readMultiLine(const MultiLineDecoder::Sink &sink);

    void close();

    bool isOpen() const;
    // False once a wait timed out, the peer closed, or the stream stopped making sense: what
    // follows cannot be matched to the commands any more.
    bool isInStep() const { return m_inStep; }
    bool hasTcpConnection() const { return m_tcpConnected; }
    // Readable text of the last failure.
    const QString &errorDetail() const { return m_errorDetail; }

private:
    Pop3Error fill();
    Pop3Error handshake();
    Pop3Error fail(Pop3Error error, const QString &detail);
    Pop3Error closed();
    Pop3Error timedOut(const QString &detail);
    int waitBudget() const;
    bool stopping() const;
    Pop3Error stopped();
    bool waitInSlices(int budgetMs, const std::function<bool(int)> &wait);
    bool waitForConnected(qint64 budgetMs);

    Pop3Settings m_settings;
    std::unique_ptr<QTcpSocket> m_socket;
    QSslSocket *m_tls = nullptr; // m_socket when TLS is possible on it
    QString m_peerName;
    QByteArray m_buffer;
    qsizetype m_begin = 0;
    qsizetype m_end = 0;
    QDeadlineTimer m_callDeadline;
    QDeadlineTimer m_checkDeadline;
    bool m_checkOver = false; // closed at the check deadline
    bool m_inStep = false;
    bool m_tcpConnected = false;
    QString m_errorDetail;
};
