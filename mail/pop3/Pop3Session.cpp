#include "Pop3Session.h"

#include "MailLimits.h"

#include <QCryptographicHash>

#include <algorithm>
#include <optional>

namespace {

// A capability list longer than this is not one.
constexpr qsizetype MaxCapabilityBytes = 64 * 1024;
// Longest piece of a server reply quoted in an error text.
constexpr qsizetype MaxQuotedReply = 300;
// Shortest run of the password's characters masked at either end of a quoted reply.
constexpr qsizetype MinSecretPiece = 3;

// Control characters (TAB, ESC) as blanks: the text goes into a message box.
QString cleanText(QString text)
{
    for (QChar &c : text) {
        if (c.category() == QChar::Other_Control)
            c = u' ';
    }
    return text;
}

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

Pop3Session::Pop3Session(const Pop3Settings &settings) : m_channel(settings)
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
    // The password goes first, from the reply as received: cutting or cleaning it up could split or
    // change the password and let the rest of it through.
    QByteArray raw = reply;
    if (!m_secret.isEmpty())
        raw.replace(m_secret.toUtf8(), "****");
    QString text = cleanText(QString::fromUtf8(raw.left(MaxQuotedReply * 4)).trimmed());
    const bool cut = text.size() > MaxQuotedReply;
    if (cut)
        text.truncate(MaxQuotedReply);
    // A server may echo only part of the password, cut short by itself or by the quote: neither end of the
    // quote keeps a run of it. Inside the text only the whole password is masked, as masking chance matches
    // in the server's own words would tell which pieces the password holds.
    if (!m_secret.isEmpty()) {
        const QString secret = cleanText(m_secret);
        for (qsizetype n = qMin(text.size(), secret.size()); n >= MinSecretPiece; --n) {
            if (text.endsWith(QStringView(secret).first(n))) {
                text = text.chopped(n) + QStringLiteral("****");
                break;
            }
        }
        for (qsizetype n = qMin(text.size(), secret.size()); n >= MinSecretPiece; --n) {
            if (text.startsWith(QStringView(secret).last(n))) {
                text = QStringLiteral("****") + text.sliced(n);
                break;
            }
        }
    }
    if (cut)
        text += u'…';
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
    m_pending.clear();
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
        text = line.mid(4); // blanks kept: they may belong to a password echoed at either end, still to be masked
        return Reply::Err;
    }
    // Whatever follows cannot be trusted to line up with our commands any more.
    m_channel.close();
    m_pending.clear();
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
    QStringList names;
    if (address.security() == ServerAddress::Security::StartTls ? !startTls(names) : !capabilities(names))
        return true;
    m_pipelining = names.contains(u"PIPELINING");
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

bool Pop3Session::startTls(QStringList &names)
{
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
    m_count = *count;
    return *count;
}

qint64 Pop3Session::loginRefused(const QByteArray &serverReply)
{
    // RFC 2449 and RFC 3206 response codes tell apart what the user can do about it.
    const QByteArray upper = serverReply.trimmed().toUpper();
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
    if (m_state == State::Failed) {
        // Out of step or closed: nothing more can be read on this connection.
        fail(Pop3Error::Closed, QStringLiteral("POP3サーバーとの接続は切れています"));
        return false;
    }
    if (m_state != State::Transaction) {
        fail(Pop3Error::BadState, QStringLiteral("ログインしていない接続ではメールを読めません"));
        return false;
    }
    if (number < 1) {
        fail(Pop3Error::BadArgument, QStringLiteral("メール番号が正しくありません: %1").arg(number));
        return false;
    }
    return true;
}

Pop3Session::Settled Pop3Session::settleBefore(const Pending &wanted)
{
    while (!m_pending.empty()) {
        const Pending due = m_pending.front();
        if (due == wanted)
            return Settled::Due;
        // A reply to a command sent ahead that the caller did not ask for after all: read it
        // and set it aside, so that the next reply read is the one that is wanted.
        m_pending.pop_front();
        QByteArray text;
        const Reply reply = readStatus(text);
        if (reply == Reply::Broken)
            return Settled::Failed;
        if (reply == Reply::Ok && due.what == Pending::Size) {
            readListReply(due.number, text);
        } else if (reply == Reply::Ok) {
            if (const Pop3Error error = m_channel.readMultiLine([](const char *, qsizetype) {});
                error != Pop3Error::None) {
                failFromChannel(error);
                return Settled::Failed;
            }
        }
    }
    return Settled::NotSent;
}

bool Pop3Session::send(const QList<QByteArray> &commands, const QList<Pending> &replies)
{
    if (const Pop3Error error = m_channel.sendLines(commands); error != Pop3Error::None) {
        failFromChannel(error);
        return false;
    }
    m_pending.insert(m_pending.end(), replies.begin(), replies.end());
    return true;
}

qint64 Pop3Session::readListReply(int number, const QByteArray &text)
{
    const QList<QByteArray> fields = text.simplified().split(' ');
    const auto size = parseCount(fields.value(1));
    if (parseCount(fields.value(0)) != number || !size)
        return fail(Pop3Error::Protocol, QStringLiteral("LISTの応答が正しくありません"), text);
    m_listedNumber = number;
    m_listedSize = *size;
    return *size;
}

bool Pop3Session::readHeader(int number, QByteArray &header)
{
    header.clear();
    if (!requireTransaction(number))
        return false;
    const Pending wanted{Pending::Header, number};
    const Settled settled = settleBefore(wanted);
    if (settled == Settled::Failed)
        return false;
    if (settled == Settled::NotSent) {
        const QByteArray n = QByteArray::number(number);
        // The size is asked for next; with PIPELINING it travels with this command.
        const bool ahead = m_pipelining;
        if (!send(ahead ? QList<QByteArray>{"TOP " + n + " 0", "LIST " + n} : QList<QByteArray>{"TOP " + n + " 0"},
                  ahead ? QList<Pending>{wanted, {Pending::Size, number}} : QList<Pending>{wanted}))
            return false;
    }
    m_pending.pop_front();
    QByteArray text;
    const Reply reply = readStatus(text);
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
    const Pending wanted{Pending::Size, number};
    const Settled settled = settleBefore(wanted);
    if (settled == Settled::Failed)
        return -1;
    if (settled == Settled::NotSent && !send({"LIST " + QByteArray::number(number)}, {wanted}))
        return -1;
    m_pending.pop_front();
    QByteArray text;
    const Reply reply = readStatus(text);
    if (reply == Reply::Err)
        return fail(Pop3Error::Refused, QStringLiteral("メール%1のサイズを取得できません").arg(number), text);
    if (reply == Reply::Broken)
        return -1;
    return readListReply(number, text);
}

qint64 Pop3Session::readMessage(int number, char *destination, qint64 capacity, QByteArray &header)
{
    header.clear();
    if (!requireTransaction(number))
        return -1;
    const bool sizeDue =
        std::find(m_pending.begin(), m_pending.end(), Pending{Pending::Size, number}) != m_pending.end();
    const qint64 size = !sizeDue && m_listedNumber == number ? m_listedSize : listSize(number);
    if (size < 0)
        return -1;
    const Pending wanted{Pending::Message, number};
    if (settleBefore(wanted) == Settled::Failed)
        return -1;

    // Every line takes at least one octet, so the size in octets is a line count that covers
    // the whole message. Kept within 32 bits for servers that parse it as an int.
    const qint64 lines = std::clamp<qint64>(size, 1, 0x7fffffff);
    QList<QByteArray> commands{"TOP " + QByteArray::number(number) + ' ' + QByteArray::number(lines)};
    QList<Pending> replies{wanted};
    if (m_pipelining && number < m_count) {
        // The check walks the mailbox in order: ask for the next header and size now, so that
        // they are under way while this message streams in.
        const QByteArray next = QByteArray::number(number + 1);
        commands << "TOP " + next + " 0"
                 << "LIST " + next;
        replies << Pending{Pending::Header, number + 1} << Pending{Pending::Size, number + 1};
    }
    if (!send(commands, replies))
        return -1;
    m_pending.pop_front();
    QByteArray text;
    const Reply reply = readStatus(text);
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
    if (m_channel.isInStep() && m_channel.isOpen() && settleBefore({Pending::None, 0}) == Settled::NotSent) {
        QByteArray text;
        command("QUIT", text);
    }
    m_channel.close();
    m_pending.clear();
    m_state = State::Closed;
}
