#include "NMailLibrary.h"

#include "CallerBuffer.h"
#include "MailHeader.h"
#include "NMailOption.h"
#include "Pop3Session.h"
#include "ServerAddress.h"

#include <algorithm>
#include <climits>

namespace {

// More open connections than this means handles are leaking; refuse rather than grow.
constexpr int MaxHandles = 256;

static_assert(MailLibrary::ConnectionGone == -static_cast<int>(Pop3Error::Closed));

int result(Pop3Error error)
{
    return -static_cast<int>(error);
}

} // namespace

NMailLibrary::NMailLibrary()
{
    m_settings.stop = &m_stop;
}

NMailLibrary::~NMailLibrary()
{
    NMailEndWinSock();
}

int NMailLibrary::NMailInitializeWinSock()
{
    return 0;
}

int NMailLibrary::NMailSetOption(int option, int value)
{
    const Pop3Settings defaults;
    const bool reset = value <= 0;
    switch (option) {
    case NMailOptionMaxLineBytes:
        m_settings.maxLineBytes = reset ? defaults.maxLineBytes : qBound(MinMaxLineBytes, value, MaxMaxLineBytes);
        return 0;
    case NMailOptionConnectTimeoutMs:
        m_settings.connectTimeoutMs = reset ? defaults.connectTimeoutMs : value;
        return 0;
    case NMailOptionReplyTimeoutMs:
        m_settings.replyTimeoutMs = reset ? defaults.replyTimeoutMs : value;
        return 0;
    case NMailOptionCallDeadlineMs:
        m_settings.callDeadlineMs = reset ? defaults.callDeadlineMs : value;
        return 0;
    case NMailOptionCheckDeadlineMs:
        m_settings.checkDeadlineMs = reset ? defaults.checkDeadlineMs : value;
        return 0;
    default:
        return result(Pop3Error::BadArgument);
    }
}

Pop3Session *NMailLibrary::session(int handle)
{
    if (handle < 0 || handle >= int(m_sessions.size()) || !m_sessions[size_t(handle)]) {
        fail(Pop3Error::BadHandle, QStringLiteral("接続ハンドルが正しくありません: %1").arg(handle));
        return nullptr;
    }
    return m_sessions[size_t(handle)].get();
}

int NMailLibrary::fail(Pop3Error error, const QString &text)
{
    m_lastError = text;
    return result(error);
}

int NMailLibrary::fail(const Pop3Session &session)
{
    const Pop3Error error = session.error() == Pop3Error::None ? Pop3Error::Protocol : session.error();
    return fail(error, session.errorText().isEmpty() ? pop3ErrorText(error) : session.errorText());
}

int NMailLibrary::NMailPop3Connect(const QString &server)
{
    const auto address = ServerAddress::parse(server);
    if (!address) {
        fail(Pop3Error::BadArgument, QStringLiteral("POP3サーバー名が正しくありません: %1").arg(server));
        return -1;
    }
    auto free = std::find(m_sessions.begin(), m_sessions.end(), nullptr);
    if (free == m_sessions.end() && m_sessions.size() >= MaxHandles) {
        fail(Pop3Error::BadState, QStringLiteral("開いている接続が多すぎます"));
        return -1;
    }
    auto session = std::make_unique<Pop3Session>(m_settings);
    if (!session->open(*address)) {
        fail(*session);
        return -1;
    }
    if (free == m_sessions.end()) {
        m_sessions.push_back(std::move(session));
        return int(m_sessions.size()) - 1;
    }
    *free = std::move(session);
    return int(free - m_sessions.begin());
}

int NMailLibrary::NMailPop3Authenticate(int handle, const QString &id, const QString &password, int apop)
{
    Pop3Session *pop3 = session(handle);
    if (!pop3)
        return result(Pop3Error::BadHandle);
    const qint64 count = pop3->login(id, password, apop != 0);
    if (count < 0)
        return fail(*pop3);
    return int(qMin<qint64>(count, INT_MAX));
}

void NMailLibrary::fillTexts(const QByteArray &rawHeader, QString &subject, QString &from, QString &date,
                             QString &header)
{
    const MailHeader parsed = MailHeader::parse(rawHeader);
    CallerBuffer::writeText(subject, parsed.field("Subject"));
    CallerBuffer::writeText(from, parsed.field("From"));
    CallerBuffer::writeText(date, parsed.field("Date"));
    // TOP n 0 sends the blank line that ends the header; the header text stops before it.
    QByteArrayView lines(rawHeader);
    if (lines.endsWith("\r\n\r\n"))
        lines.chop(2);
    else if (lines.endsWith("\n\n"))
        lines.chop(1);
    CallerBuffer::writeText(header, MailHeader::rawText(lines.toByteArray()));
}

int NMailLibrary::NMailPop3GetMailStatus(int handle, int number, QString &subject, QString &from, QString &date,
                                         QString &header, int /*flag*/)
{
    QByteArray raw;
    Pop3Session *pop3 = session(handle);
    if (!pop3 || !pop3->readHeader(number, raw)) {
        fillTexts({}, subject, from, date, header);
        return pop3 ? fail(*pop3) : result(Pop3Error::BadHandle);
    }
    fillTexts(raw, subject, from, date, header);
    return 0;
}

int NMailLibrary::NMailPop3GetMailSize(int handle, int number)
{
    Pop3Session *pop3 = session(handle);
    if (!pop3)
        return result(Pop3Error::BadHandle);
    const qint64 size = pop3->messageSize(number);
    if (size < 0)
        return fail(*pop3);
    if (size > INT_MAX)
        return fail(Pop3Error::Protocol, QStringLiteral("メール%1のサイズが大きすぎます: %2").arg(number).arg(size));
    return int(size);
}

int NMailLibrary::NMailPop3GetMail(int handle, int number, QString &subject, QString &from, QString &date,
                                   QString &header, QByteArray &body, int /*flag1*/, int /*flag2*/)
{
    QByteArray raw;
    Pop3Session *pop3 = session(handle);
    const qint64 capacity = body.size();
    const qint64 length = pop3 ? pop3->readMessage(number, capacity > 0 ? body.data() : nullptr, capacity, raw) : -1;
    if (length < 0) {
        fillTexts({}, subject, from, date, header);
        CallerBuffer::terminate(body, 0);
        return pop3 ? fail(*pop3) : result(Pop3Error::BadHandle);
    }
    fillTexts(raw, subject, from, date, header);
    CallerBuffer::terminate(body, length);
    return int(qMin<qint64>(length, INT_MAX));
}

int NMailLibrary::NMailPop3Close(int handle)
{
    if (!session(handle))
        return result(Pop3Error::BadHandle);
    auto &slot = m_sessions[size_t(handle)];
    slot->close();
    slot.reset();
    return 0;
}

void NMailLibrary::abort()
{
    m_stop = true;
}

int NMailLibrary::NMailEndWinSock()
{
    for (auto &slot : m_sessions) {
        if (slot)
            slot->close();
    }
    m_sessions.clear();
    return 0;
}

int NMailLibrary::NMailGetMessage(int code, QString &buffer, int &length)
{
    if (length <= 0 || buffer.isEmpty())
        return result(Pop3Error::BadArgument);
    length = int(CallerBuffer::writeText(buffer, message(code), length));
    return length;
}

QString NMailLibrary::message(int code) const
{
    if (code == 0)
        return m_lastError.isEmpty() ? pop3ErrorText(Pop3Error::None) : m_lastError;
    return pop3ErrorText(static_cast<Pop3Error>(code < 0 ? -code : code));
}
