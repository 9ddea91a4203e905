#include "Pop3Session.h"

#include "MailLimits.h"

#include <QCryptographicHash>

#include <algorithm>

namespace {

// A capability list longer than this is not one.
constexpr qsizetype MaxCapabilityBytes = 64 * 1024;
// Longest piece of a server reply quoted in an error text.
constexpr qsizetype MaxQuotedReply = 300;

bool hasLineBreak(const QString &text)
{
    return text.contains(u'\r') || text.contains(u'\n') || text.contains(QChar(0));
}

// "+OK"/"-ERR" followed by the end of the line or a blank.
bool startsWithStatus(const QByteArray &line, QByteArrayView status)
{
    if (line.size() < status.size() ||
        QByteArrayView(line).first(status.size()).compare(status, Qt::CaseInsensitive) != 0)
        return false;
    return line.size() == status.size() || line[status.size()] == ' ' || line[status.size()] == '\t';
}

std::optional<qint64> parseCount(QByteArrayView token)
{
    if (token.isEmpty() || token.size() > 18)
        return std::nullopt;
    qint64 value = 0;
    for (const char c : token) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

} // namespace

Pop3Session::Pop3Session(const Pop3Settings &settings) : m_settings(settings), m_channel(settings)
{
}

Pop3Session::~Pop3Session()
{
    m_channel.close();
}

QByteArray Pop3Session::greetingTimestamp(const QByteArray &greeting)
{
    qsizetype from = 0;
    for (;;) {
        const qsizetype open = greeting.indexOf('<', from);
        if (open < 0)
            return {};
        const qsizetype close = greeting.indexOf('>', open);
        if (close < 0)
            return {};
        const QByteArray candidate = greeting.mid(open, close - open + 1);
        if (candidate.contains('@') && !candidate.contains(' ') && candidate.indexOf('<', 1) < 0)
            return candidate;
        from = open + 1;
    }
}

QByteArray Pop3Session::apopDigest(const QByteArray &timestamp, const QString &password)
{
    return QCryptographicHash::hash(timestamp + password.toUtf8(), QCryptographicHash::Md5).toHex();
}

QString Pop3Session::serverText(const QByteArray &reply) const
{
    QString text = QString::fromUtf8(reply.left(MaxQuotedReply * 4)).trimmed();
    for (QChar &c : text) {
        if (c.category() == QChar::Other_Control)
            c = u' ';
    }
    if (text.size() > MaxQuotedReply)
        text = text.left(MaxQuotedReply) + u'…';
    if (!m_secret.isEmpty())
        text.replace(m_secret, QStringLiteral("****"));
    return text;
}

qint64 Pop3Session::fail(Pop3Error error, const QString &text, const QByteArray &serverReply)
{
    m_error = error;
    m_errorText = text;
    const QString quoted = serverText(serverReply);
    if (!quoted.isEmpty())
        m_errorText += QStringLiteral(": ") + quoted;
    return -1;
}

qint64 Pop3Session::failFromChannel(Pop3Error error)
{
    m_state = State::Failed;
    return fail(error, m_channel.errorDetail());
}

Pop3Session::Reply Pop3Session::readStatus(QByteArray &text)
{
    QByteArray line;
    if (const Pop3Error error = m_channel.readLine(line); error != Pop3Error::None) {
        failFromChannel(error);
        return Reply::Broken;
    }
    if (startsWithStatus(line, "+OK")) {
        text = line.mid(3).trimmed();
        return Reply::Ok;
    }
    if (startsWithStatus(line, "-ERR")) {
        text = line.mid(4).trimmed();
        return Reply::Err;
    }
    // Whatever follows cannot be trusted to line up with our commands any more.
    m_channel.close();
    m_state = State::Failed;
    fail(Pop3Error::Protocol, QStringLiteral("POP3サーバーの応答が正しくありません"), line);
    return Reply::Broken;
}

Pop3Session::Reply Pop3Session::command(const QByteArray &line, QByteArray &text)
{
    if (const Pop3Error error = m_channel.sendLine(line); error != Pop3Error::None) {
        failFromChannel(error);
        return Reply::Broken;
    }
    return readStatus(text);
}

bool Pop3Session::open(const ServerAddress &address)
{
    m_channel.beginCall();
    m_state = State::Failed;
    m_timestamp.clear();
    m_listedNumber = 0;
    if (const Pop3Error error = m_channel.open(address); error != Pop3Error::None) {
        failFromChannel(error);
        return m_channel.hasTcpConnection();
    }
    QByteArray greeting;
    const Reply reply = readStatus(greeting);
    if (reply == Reply::Broken)
        return true;
    if (reply == Reply::Err) {
        fail(Pop3Error::Refused, QStringLiteral("POP3サーバーが接続を断りました"), greeting);
        return true;
    }
    m_timestamp = greetingTimestamp(greeting);
    if (address.security() == ServerAddress::Security::StartTls && !startTls())
        return true;
    m_state = State::Authorization;
    return true;
}

bool Pop3Session::capabilities(QStringList &names)
{
    names.clear();
    QByteArray text;
    const Reply reply = command("CAPA", text);
    if (reply != Reply::Ok)
        return reply == Reply::Err; // a server without CAPA simply has no capabilities to show
    QByteArray data;
    bool tooLong = false;
    const Pop3Error error = m_channel.readMultiLine([&](const char *bytes, qsizetype size) {
        if (data.size() + size > MaxCapabilityBytes)
            tooLong = true;
        else
            data.append(bytes, size);
    });
    if (error != Pop3Error::None) {
        failFromChannel(error);
        return false;
    }
    if (tooLong) {
        m_channel.close();
        fail(Pop3Error::Protocol, QStringLiteral("CAPAの応答が長すぎます"));
        return false;
    }
    for (const QByteArray &line : data.split('\n')) {
        const QByteArray name = line.trimmed().split(' ').value(0).toUpper();
        if (!name.isEmpty())
            names << QString::fromLatin1(name);
    }
    return true;
}

bool Pop3Session::startTls()
{
    QStringList names;
    if (!capabilities(names))
        return false;
    if (!names.contains(u"STLS")) {
        fail(Pop3Error::Tls,
             QStringLiteral("POP3サーバーがSTLSに対応していないため、暗号化されない接続でのログインを中止しました"));
        return false;
    }
    QByteArray text;
    const Reply reply = command("STLS", text);
    if (reply == Reply::Err) {
        fail(Pop3Error::Tls,
             QStringLiteral("POP3サーバーがSTLSを断ったため、暗号化されない接続でのログインを中止しました"), text);
        return false;
    }
    if (reply == Reply::Broken)
        return false;
    if (const Pop3Error error = m_channel.startTls(); error != Pop3Error::None) {
        failFromChannel(error);
        return false;
    }
    // What was learnt before TLS may have been forged; RFC 2595 asks for a fresh list.
    return capabilities(names);
}

qint64 Pop3Session::login(const QString &user, const QString &password, bool apop)
{
    m_channel.beginCall();
    if (m_state == State::Failed || m_state == State::Closed)
        return -1; // the reason is what open() found
    if (m_state != State::Authorization)
        return fail(Pop3Error::BadState, QStringLiteral("既にログインしています"));
    if (user.isEmpty() || hasLineBreak(user) || hasLineBreak(password) || user.contains(u' '))
        return fail(Pop3Error::BadArgument, QStringLiteral("ユーザーIDまたはパスワードに使えない文字があります"));

    m_secret = password;
    struct Forget {
        QString &secret;
        ~Forget() { secret.clear(); }
    } forget{m_secret};

    QByteArray text;
    Reply reply;
    if (apop) {
        if (m_timestamp.isEmpty())
            return fail(Pop3Error::Auth,
                        QStringLiteral("POP3サーバーがAPOPに対応していません (挨拶にタイムスタンプがありません)"));
        reply = command("APOP " + user.toUtf8() + ' ' + apopDigest(m_timestamp, password), text);
    } else {
        reply = command("USER " + user.toUtf8(), text);
        if (reply == Reply::Ok)
            reply = command("PASS " + password.toUtf8(), text);
    }
    if (reply == Reply::Err)
        return loginRefused(text);
    if (reply == Reply::Broken)
        return -1;

    m_state = State::Transaction;
    reply = command("STAT", text);
    if (reply == Reply::Err)
        return fail(Pop3Error::Refused, QStringLiteral("メールボックスの状態を取得できません"), text);
    if (reply == Reply::Broken)
        return -1;
    const auto count = parseCount(text.split(' ').value(0));
    if (!count) {
        m_channel.close();
        m_state = State::Failed;
        return fail(Pop3Error::Protocol, QStringLiteral("STATの応答が正しくありません"), text);
    }
    return *count;
}

qint64 Pop3Session::loginRefused(const QByteArray &serverReply)
{
    // RFC 2449 and RFC 3206 response codes tell apart what the user can do about it.
    const QByteArray upper = serverReply.toUpper();
    if (upper.startsWith("[IN-USE]"))
        return fail(Pop3Error::MailboxBusy, QStringLiteral("メールボックスは別の接続で使用中です"), serverReply);
    if (upper.startsWith("[LOGIN-DELAY]"))
        return fail(Pop3Error::MailboxBusy,
                    QStringLiteral("前回のログインから間がないため、POP3サーバーがログインを断りました"), serverReply);
    if (upper.startsWith("[SYS/"))
        return fail(Pop3Error::Refused, QStringLiteral("POP3サーバーで障害が起きているため、ログインできません"),
                    serverReply);
    return fail(Pop3Error::Auth, QStringLiteral("認証に失敗しました"), serverReply);
}

bool Pop3Session::requireTransaction(int number)
{
    m_channel.beginCall();
    if (m_state != State::Transaction) {
        fail(m_state == State::Failed ? Pop3Error::Closed : Pop3Error::BadState,
             QStringLiteral("ログインしていない接続ではメールを読めません"));
        return false;
    }
    if (number < 1) {
        fail(Pop3Error::BadArgument, QStringLiteral("メール番号が正しくありません: %1").arg(number));
        return false;
    }
    return true;
}

bool Pop3Session::readHeader(int number, QByteArray &header)
{
    header.clear();
    if (!requireTransaction(number))
        return false;
    QByteArray text;
    const Reply reply = command("TOP " + QByteArray::number(number) + " 0", text);
    if (reply == Reply::Err) {
        fail(Pop3Error::Refused, QStringLiteral("メール%1のヘッダーを取得できません").arg(number), text);
        return false;
    }
    if (reply == Reply::Broken)
        return false;
    const Pop3Error error = m_channel.readMultiLine(
        [&](const char *bytes, qsizetype size) { header.append(bytes, qMin(size, MaxHeaderBytes - header.size())); });
    if (error != Pop3Error::None) {
        failFromChannel(error);
        return false;
    }
    return true;
}

qint64 Pop3Session::messageSize(int number)
{
    if (!requireTransaction(number))
        return -1;
    return listSize(number);
}

qint64 Pop3Session::listSize(int number)
{
    QByteArray text;
    const Reply reply = command("LIST " + QByteArray::number(number), text);
    if (reply == Reply::Err)
        return fail(Pop3Error::Refused, QStringLiteral("メール%1のサイズを取得できません").arg(number), text);
    if (reply == Reply::Broken)
        return -1;
    const QList<QByteArray> fields = text.simplified().split(' ');
    const auto size = parseCount(fields.value(1));
    if (parseCount(fields.value(0)) != number || !size)
        return fail(Pop3Error::Protocol, QStringLiteral("LISTの応答が正しくありません"), text);
    m_listedNumber = number;
    m_listedSize = *size;
    return *size;
}

qint64 Pop3Session::readMessage(int number, char *destination, qint64 capacity, QByteArray &header)
{
    header.clear();
    if (!requireTransaction(number))
        return -1;
    const qint64 size = m_listedNumber == number ? m_listedSize : listSize(number);
    if (size < 0)
        return -1;
    // Every line takes at least one octet, so the size in octets is a line count that covers
    // the whole message. Kept within 32 bits for servers that parse it as an int.
    const qint64 lines = std::clamp<qint64>(size, 1, 0x7fffffff);
    QByteArray text;
    const Reply reply = command("TOP " + QByteArray::number(number) + ' ' + QByteArray::number(lines), text);
    if (reply == Reply::Err)
        return fail(Pop3Error::Refused, QStringLiteral("メール%1を取得できません").arg(number), text);
    if (reply == Reply::Broken)
        return -1;

    qint64 total = 0;
    bool headerDone = false;
    const Pop3Error error = m_channel.readMultiLine([&](const char *bytes, qsizetype count) {
        if (total < capacity)
            std::copy_n(bytes, qMin<qint64>(count, capacity - total), destination + total);
        total += count;
        if (headerDone)
            return;
        const qsizetype before = header.size();
        header.append(bytes, qMin(count, MaxHeaderBytes - before));
        const qsizetype blank = header.indexOf("\n\r\n", qMax<qsizetype>(0, before - 2));
        const qsizetype bareBlank = header.indexOf("\n\n", qMax<qsizetype>(0, before - 1));
        if (blank >= 0 || bareBlank >= 0) {
            header.truncate(blank >= 0 ? blank + 1 : bareBlank + 1);
            headerDone = true;
        } else if (header.size() >= MaxHeaderBytes) {
            headerDone = true;
        }
    });
    if (error != Pop3Error::None)
        return failFromChannel(error);
    return total;
}

void Pop3Session::close()
{
    m_channel.beginCall();
    if (m_channel.isInStep() && m_channel.isOpen()) {
        QByteArray text;
        command("QUIT", text);
    }
    m_channel.close();
    m_state = State::Closed;
}
