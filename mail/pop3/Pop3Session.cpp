#include "Pop3Session.h"

#include "MailLimits.h"

#include <QCryptographicHash>

#include <algorithm>
#include <limits>
#include <optional>

namespace {

// A capability list longer than this is not one.
constexpr qsizetype MaxCapabilityBytes = 64 * 1024;
// Longest piece of a server reply quoted in an error text.
constexpr qsizetype MaxQuotedReply = 300;
// Shortest run of the password's characters masked at either end of a quoted reply.
constexpr qsizetype MinSecretPiece = 3;

// Replies still owed at the close are read before QUIT only up to this much; past it, hanging up is faster.
// Nothing is lost: the walk changes nothing, and without QUIT the server changes nothing either (RFC 1939, 6).
constexpr qint64 MaxDrainBytes = 64 * 1024;
// Longest line of a LIST reply: "number size".
constexpr qsizetype MaxListLine = 64;

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
    m_pipeline.dropPending();
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
    m_pipeline.dropPending();
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
    m_pipeline = {};
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
    m_pipeline.setPipelining(names.contains(u"PIPELINING"));
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

    QByteArrayList lines;
    if (apop) {
        if (m_timestamp.isEmpty())
            return fail(Pop3Error::Auth,
                        QStringLiteral("POP3サーバーがAPOPに対応していません (挨拶にタイムスタンプがありません)"));
        lines << "APOP " + user.toUtf8() + ' ' + apopDigest(m_timestamp, password);
    } else {
        lines << "USER " + user.toUtf8() << "PASS " + password.toUtf8();
    }
    lines << "STAT";
    // With PIPELINING the login and STAT go out together; otherwise each waits for the reply to the one before.
    const bool pipelining = m_pipeline.isPipelining();
    if (pipelining) {
        if (const Pop3Error error = m_channel.sendLines(lines); error != Pop3Error::None)
            return failFromChannel(error);
    }
    QByteArray text;
    Reply reply = Reply::Ok;
    qsizetype answered = 0;
    while (reply == Reply::Ok && answered < lines.size()) {
        reply = pipelining ? readStatus(text) : command(lines[answered], text);
        ++answered;
    }
    if (reply == Reply::Broken)
        return -1;
    if (reply == Reply::Err && answered < lines.size()) {
        // With PIPELINING the commands after a refused login went out too: their -ERR replies are set aside. A
        // server that hangs up instead leaves the refusal as the reason all the same.
        QByteArray ignored;
        while (pipelining && answered < lines.size() && readStatus(ignored) != Reply::Broken)
            ++answered;
        return loginRefused(text);
    }
    m_state = State::Transaction;
    if (reply == Reply::Err)
        return fail(Pop3Error::Refused, QStringLiteral("メールボックスの状態を取得できません"), text);
    const auto count = parseCount(text.split(' ').value(0));
    if (!count) {
        m_channel.close();
        m_state = State::Failed;
        return fail(Pop3Error::Protocol, QStringLiteral("STATの応答が正しくありません"), text);
    }
    m_pipeline.setCount(*count);
    if (m_pipeline.wantsSizeList() && !listAll())
        return -1;
    return *count;
}

// LIST of the whole mailbox, for the sizes that the pipelined walk needs before it asks for each message. Kept
// only when it lists every message in order, each below 4 GB; otherwise each size is asked for on its own. False
// when the conversation broke.
bool Pop3Session::listAll()
{
    QByteArray text;
    const Reply reply = command("LIST", text);
    if (reply != Reply::Ok)
        return reply == Reply::Err;
    const qint64 count = m_pipeline.count();
    std::vector<quint32> sizes;
    sizes.reserve(size_t(count));
    QByteArray line;
    bool valid = true;
    const Pop3Error error = m_channel.readMultiLine([&](const char *bytes, qsizetype size) {
        if (!valid)
            return;
        line.append(bytes, size);
        if (line.size() > MaxListLine) {
            valid = false;
        } else if (line.endsWith('\n')) {
            const QList<QByteArray> fields = line.simplified().split(' ');
            const auto number = parseCount(fields.value(0));
            const auto octets = parseCount(fields.value(1));
            valid = number == qint64(sizes.size()) + 1 && number <= count && octets &&
                    *octets <= std::numeric_limits<quint32>::max();
            if (valid)
                sizes.push_back(quint32(*octets));
            line.clear();
        }
    });
    if (error != Pop3Error::None) {
        failFromChannel(error);
        return false;
    }
    if (valid && qint64(sizes.size()) == count)
        m_pipeline.setSizeList(std::move(sizes));
    return true;
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

// Sends the commands the walk has for wanted, or, when wanted is already on its way, those it has after it.
bool Pop3Session::sendAhead(const Step *wanted)
{
    const QList<QByteArray> lines = wanted ? m_pipeline.commandsFrom(*wanted) : m_pipeline.commandsAhead();
    if (lines.isEmpty())
        return true;
    if (const Pop3Error error = m_channel.sendLines(lines); error != Pop3Error::None) {
        failFromChannel(error);
        return false;
    }
    return true;
}

Pop3Session::Settled Pop3Session::settleBefore(const Step &wanted)
{
    while (m_pipeline.hasPending()) {
        const Step due = m_pipeline.firstPending();
        if (due == wanted)
            return Settled::Due;
        // A reply to a command sent ahead that the caller did not ask for after all: read it
        // and set it aside, so that the next reply read is the one that is wanted.
        m_pipeline.popPending();
        QByteArray text;
        const Reply reply = readStatus(text);
        if (reply == Reply::Broken)
            return Settled::Failed;
        if (reply == Reply::Ok && due.what != Step::Size) {
            if (const Pop3Error error = m_channel.readMultiLine([](const char *, qsizetype) {});
                error != Pop3Error::None) {
                failFromChannel(error);
                return Settled::Failed;
            }
        }
    }
    return Settled::NotSent;
}

// The status line of the reply to wanted, its command sent now unless it is already on its way. True on +OK;
// a refusal fails with the given text, a broken conversation with what broke it.
bool Pop3Session::request(const Step &wanted, const QString &refusal, QByteArray &text)
{
    const Settled settled = settleBefore(wanted);
    if (settled == Settled::Failed || !sendAhead(settled == Settled::NotSent ? &wanted : nullptr))
        return false;
    m_pipeline.popPending();
    const Reply reply = readStatus(text);
    if (reply == Reply::Err)
        fail(Pop3Error::Refused, refusal, text);
    return reply == Reply::Ok;
}

qint64 Pop3Session::readListReply(int number, const QByteArray &text)
{
    const QList<QByteArray> fields = text.simplified().split(' ');
    const auto size = parseCount(fields.value(1));
    if (parseCount(fields.value(0)) != number || !size)
        return fail(Pop3Error::Protocol, QStringLiteral("LISTの応答が正しくありません"), text);
    m_pipeline.setListedSize(number, *size);
    return *size;
}

bool Pop3Session::readHeader(int number, QByteArray &header)
{
    header.clear();
    QByteArray text;
    if (!requireTransaction(number) ||
        !request({Step::Header, number}, QStringLiteral("メール%1のヘッダーを取得できません").arg(number), text))
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
    if (const qint64 size = m_pipeline.sizeFromList(number); size >= 0)
        return size;
    return listSize(number);
}

qint64 Pop3Session::listSize(int number)
{
    QByteArray text;
    if (!request({Step::Size, number}, QStringLiteral("メール%1のサイズを取得できません").arg(number), text))
        return -1;
    return readListReply(number, text);
}

qint64 Pop3Session::readMessage(int number, char *destination, qint64 capacity, QByteArray &header)
{
    header.clear();
    if (!requireTransaction(number))
        return -1;
    const bool sizeDue = m_pipeline.isPending({Step::Size, number});
    if ((sizeDue || m_pipeline.knownSize(number) < 0) && listSize(number) < 0)
        return -1;
    QByteArray text;
    if (!request({Step::Message, number}, QStringLiteral("メール%1を取得できません").arg(number), text))
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
    if (m_channel.isInStep() && m_channel.isOpen() && m_pipeline.pendingBytes() <= MaxDrainBytes &&
        settleBefore({Step::None, 0}) == Settled::NotSent) {
        QByteArray text;
        command("QUIT", text);
    }
    m_channel.close();
    m_pipeline.dropPending();
    m_state = State::Closed;
}
