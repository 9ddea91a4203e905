#include "Pop3Channel.h"

#include "HostResolver.h"

#include <QEventLoop>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QStringList>
#include <QTimer>

#include <cstring>

namespace {

// Input is read in chunks of this size: large enough for a few network reads per call,
// small enough to keep memory flat whatever the size of a message.
constexpr qsizetype ChunkBytes = 64 * 1024;

QString seconds(int ms)
{
    return QString::number((ms + 999) / 1000);
}

} // namespace

Pop3Channel::Pop3Channel(const Pop3Settings &settings)
    : m_settings(settings), m_buffer(qMax(ChunkBytes, qsizetype(settings.maxLineBytes) + 2), Qt::Uninitialized),
      m_checkDeadline(qMax(settings.checkDeadlineMs, 1))
{
    beginCall();
}

Pop3Channel::~Pop3Channel() = default;

void Pop3Channel::beginCall()
{
    m_callDeadline = qMin(QDeadlineTimer(qMax(m_settings.callDeadlineMs, 1)), m_checkDeadline);
    if (m_checkDeadline.hasExpired() && m_socket) {
        close();
        m_checkOver = true;
    }
    if (stopping() && m_socket)
        stopped();
}

bool Pop3Channel::stopping() const
{
    return m_settings.stop && m_settings.stop->load(std::memory_order_relaxed);
}

Pop3Error Pop3Channel::stopped()
{
    close();
    return fail(Pop3Error::Closed, QStringLiteral("プログラムの終了のため、接続を切りました"));
}

// Socket waits give up after StopPollMs at most, so that the program's end is noticed in time; a slice
// that times out is followed by the next until the budget is spent. False when the budget ran out, the
// socket failed or closed, or the program is ending.
bool Pop3Channel::waitInSlices(int budgetMs, const std::function<bool(int)> &wait)
{
    const QDeadlineTimer until(qMax(budgetMs, 0));
    for (;;) {
        const qint64 left = until.remainingTime();
        if (wait(int(qMin<qint64>(left, StopPollMs))))
            return true;
        if (stopping() || left <= StopPollMs || m_socket->state() != QAbstractSocket::ConnectedState ||
            m_socket->error() != QAbstractSocket::SocketTimeoutError)
            return false;
    }
}

// waitForConnected() drops the attempt when it times out, so a connect cannot be waited for in slices;
// a small event loop of this thread watches it instead.
bool Pop3Channel::waitForConnected(qint64 budgetMs)
{
    QEventLoop loop;
    QObject::connect(m_socket.get(), &QAbstractSocket::connected, &loop, &QEventLoop::quit);
    QObject::connect(m_socket.get(), &QAbstractSocket::errorOccurred, &loop, &QEventLoop::quit);
    QTimer timeout;
    timeout.setSingleShot(true);
    QObject::connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [this, &loop] {
        if (stopping())
            loop.quit();
    });
    timeout.start(int(qMax<qint64>(budgetMs, 0)));
    poll.start(StopPollMs);
    if (m_socket->state() != QAbstractSocket::ConnectedState && !stopping())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    return m_socket->state() == QAbstractSocket::ConnectedState;
}

int Pop3Channel::waitBudget() const
{
    const qint64 left = m_callDeadline.remainingTime();
    return int(qMin<qint64>(left, m_settings.replyTimeoutMs));
}

Pop3Error Pop3Channel::fail(Pop3Error error, const QString &detail)
{
    m_inStep = false;
    m_errorDetail = detail;
    return error;
}

Pop3Error Pop3Channel::closed()
{
    if (m_checkOver)
        return fail(Pop3Error::Closed, QStringLiteral("メールチェックが%1秒以内に終わらないため、接続を切りました")
                                           .arg(seconds(m_settings.checkDeadlineMs)));
    return fail(Pop3Error::Closed, QStringLiteral("POP3サーバーとの接続は切れています"));
}

// A wait that ran out: past the check deadline the connection goes, otherwise only this call fails.
Pop3Error Pop3Channel::timedOut(const QString &detail)
{
    if (!m_checkDeadline.hasExpired())
        return fail(Pop3Error::Timeout, detail);
    close();
    m_checkOver = true;
    return closed();
}

Pop3Error Pop3Channel::open(const ServerAddress &address)
{
    close();
    m_peerName = address.host();
    const QDeadlineTimer connectDeadline(qMin<qint64>(m_settings.connectTimeoutMs, m_callDeadline.remainingTime()));
    const QString where = address.host() + u':' + QString::number(address.port());

    QString why;
    const QList<QHostAddress> addresses =
        HostResolver::resolve(address.host(), int(connectDeadline.remainingTime()), &why, m_settings.stop);
    if (stopping())
        return stopped();
    if (addresses.isEmpty())
        return fail(Pop3Error::Unreachable,
                    QStringLiteral("POP3サーバーの名前を解決できません: %1 (%2)").arg(address.host(), why));

    // Only TLS connections load the TLS library.
    if (address.security() == ServerAddress::Security::Plain) {
        m_socket = std::make_unique<QTcpSocket>();
        m_tls = nullptr;
    } else {
        auto tls = std::make_unique<QSslSocket>();
        m_tls = tls.get();
        m_socket = std::move(tls);
    }

    for (const QHostAddress &candidate : addresses) {
        const qint64 left = connectDeadline.remainingTime();
        if (left <= 0) {
            why = QStringLiteral("%1秒以内に接続できません").arg(seconds(m_settings.connectTimeoutMs));
            break;
        }
        m_socket->connectToHost(candidate, address.port());
        if (waitForConnected(left)) {
            m_tcpConnected = true;
            break;
        }
        why = m_socket->error() == QAbstractSocket::UnknownSocketError
                  ? QStringLiteral("%1秒以内に接続できません").arg(seconds(m_settings.connectTimeoutMs))
                  : m_socket->errorString();
        m_socket->abort();
        if (stopping())
            return stopped();
    }
    if (!m_tcpConnected)
        return fail(Pop3Error::Unreachable, QStringLiteral("POP3サーバーに接続できません: %1 (%2)").arg(where, why));

    // Commands are small and each waits for its reply: without this, Nagle's algorithm and the
    // peer's delayed ACK would add a pause to many of them.
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    m_socket->setReadBufferSize(ChunkBytes);
    m_begin = m_end = 0;
    m_inStep = true;
    if (address.security() == ServerAddress::Security::ImplicitTls)
        return handshake();
    return Pop3Error::None;
}

Pop3Error Pop3Channel::startTls()
{
    if (!m_tls || !isOpen())
        return fail(Pop3Error::Tls, QStringLiteral("TLS接続を開始できません"));
    // Bytes that arrived before the handshake were not protected by it; refuse them rather
    // than let them pass for replies from inside TLS.
    if (m_begin != m_end || m_socket->bytesAvailable() > 0)
        return fail(Pop3Error::Protocol, QStringLiteral("STLSの応答の後に余分なデータが届きました"));
    return handshake();
}

Pop3Error Pop3Channel::handshake()
{
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setPeerVerifyMode(QSslSocket::VerifyPeer);
    m_tls->setSslConfiguration(configuration);
    m_tls->setPeerVerifyName(m_peerName);
    m_tls->startClientEncryption();
    const int budget = waitBudget();
    if (budget > 0 && waitInSlices(budget, [this](int ms) { return m_tls->waitForEncrypted(ms); }))
        return Pop3Error::None;
    if (stopping())
        return stopped();

    const QList<QSslError> errors = m_tls->sslHandshakeErrors();
    if (!errors.isEmpty()) {
        QStringList texts;
        for (const QSslError &error : errors)
            texts << error.errorString();
        texts.removeDuplicates();
        return fail(Pop3Error::Certificate,
                    QStringLiteral("サーバー証明書を確認できません: %1").arg(texts.join(u"; ")));
    }
    if (m_tls->state() == QAbstractSocket::ConnectedState &&
        (budget <= 0 || m_tls->error() == QAbstractSocket::SocketTimeoutError))
        return timedOut(QStringLiteral("TLS接続の確立が時間内に終わりません"));
    return fail(Pop3Error::Tls, QStringLiteral("TLS接続を確立できません: %1").arg(m_tls->errorString()));
}

Pop3Error Pop3Channel::sendLine(const QByteArray &line)
{
    return sendLines({line});
}

Pop3Error Pop3Channel::sendLines(const QList<QByteArray> &lines)
{
    if (stopping())
        return stopped();
    if (!m_inStep || !isOpen())
        return closed();
    QByteArray wire;
    for (const QByteArray &line : lines)
        wire.append(line).append("\r\n");
    if (m_socket->write(wire) != wire.size())
        return fail(Pop3Error::Closed, QStringLiteral("POP3サーバーに送信できません: %1").arg(m_socket->errorString()));
    m_socket->flush();
    return Pop3Error::None;
}

Pop3Error Pop3Channel::fill()
{
    if (stopping())
        return stopped();
    if (m_begin == m_end) {
        m_begin = m_end = 0;
    } else if (m_end == m_buffer.size() && m_begin > 0) {
        std::memmove(m_buffer.data(), m_buffer.constData() + m_begin, size_t(m_end - m_begin));
        m_end -= m_begin;
        m_begin = 0;
    }
    if (m_end == m_buffer.size())
        return fail(Pop3Error::Protocol, QStringLiteral("POP3サーバーの応答行が長すぎます"));

    for (;;) {
        if (m_socket->bytesAvailable() > 0) {
            const qint64 got = m_socket->read(m_buffer.data() + m_end, m_buffer.size() - m_end);
            if (got > 0) {
                m_end += got;
                return Pop3Error::None;
            }
        }
        if (m_socket->state() != QAbstractSocket::ConnectedState)
            return fail(Pop3Error::Closed, QStringLiteral("POP3サーバーが接続を切断しました"));
        const auto overdue = [this] {
            return timedOut(
                QStringLiteral("POP3サーバーの処理が%1秒以内に終わりません").arg(seconds(m_settings.callDeadlineMs)));
        };
        const int budget = waitBudget();
        if (budget <= 0)
            return overdue();
        if (!waitInSlices(budget, [this](int ms) { return m_socket->waitForReadyRead(ms); }) &&
            m_socket->bytesAvailable() == 0) {
            if (stopping())
                return stopped();
            if (m_socket->state() != QAbstractSocket::ConnectedState ||
                m_socket->error() == QAbstractSocket::RemoteHostClosedError)
                return fail(Pop3Error::Closed, QStringLiteral("POP3サーバーが接続を切断しました"));
            if (m_socket->error() != QAbstractSocket::SocketTimeoutError)
                return fail(Pop3Error::Closed,
                            QStringLiteral("POP3サーバーとの通信に失敗しました: %1").arg(m_socket->errorString()));
            if (m_callDeadline.hasExpired())
                return overdue();
            return fail(
                Pop3Error::Timeout,
                QStringLiteral("POP3サーバーからの応答がありません (%1秒)").arg(seconds(m_settings.replyTimeoutMs)));
        }
    }
}

Pop3Error Pop3Channel::readLine(QByteArray &line)
{
    if (!m_inStep || !isOpen())
        return closed();
    qsizetype scanned = 0; // bytes after m_begin known to hold no line end
    for (;;) {
        const char *start = m_buffer.constData() + m_begin;
        const auto *newline =
            static_cast<const char *>(std::memchr(start + scanned, '\n', size_t(m_end - m_begin - scanned)));
        if (newline) {
            qsizetype length = newline - start;
            m_begin += length + 1;
            if (length > 0 && start[length - 1] == '\r')
                --length;
            if (length > m_settings.maxLineBytes)
                break;
            line = QByteArray(start, length);
            return Pop3Error::None;
        }
        scanned = m_end - m_begin;
        if (scanned > m_settings.maxLineBytes + 1)
            break;
        if (const Pop3Error error = fill(); error != Pop3Error::None)
            return error;
    }
    return fail(
        Pop3Error::Protocol,
        QStringLiteral("POP3サーバーの応答行が長すぎます (%1バイトを超えています)").arg(m_settings.maxLineBytes));
}

Pop3Error Pop3Channel::readMultiLine(const MultiLineDecoder::Sink &sink)
{
    if (!m_inStep || !isOpen())
        return closed();
    MultiLineDecoder decoder;
    for (;;) {
        if (m_begin < m_end) {
            m_begin += decoder.feed(m_buffer.constData() + m_begin, m_end - m_begin, sink);
            if (decoder.isFinished())
                return Pop3Error::None;
        }
        if (const Pop3Error error = fill(); error != Pop3Error::None)
            return error;
    }
}

void Pop3Channel::close()
{
    if (m_socket) {
        m_socket->abort();
        m_socket.reset();
    }
    m_tls = nullptr;
    m_inStep = false;
    m_tcpConnected = false;
    m_begin = m_end = 0;
}

bool Pop3Channel::isOpen() const
{
    return m_socket && m_socket->state() == QAbstractSocket::ConnectedState;
}
