#include "Pop3Pipeline.h"

#include "MailLimits.h"

#include <algorithm>

namespace {

// The window of a pipelined walk: commands whose replies are still owed, and the octets those replies may take.
// Wide enough to keep a link with 50 ms round trips busy with small messages. The replies wait in the sockets'
// buffers, not in ours; the bound keeps what the server holds for us, and what a walk cut short throws away,
// within a few megabytes.
constexpr qsizetype MaxAheadCommands = 256;
constexpr qint64 MaxAheadBytes = 4 * 1024 * 1024;
// A status line and the terminating line of a reply, with room to spare.
constexpr qint64 ReplyFrameBytes = 64;
// The sizes of more messages than this are asked for one by one: one LIST of the whole mailbox would take
// more memory than the check is worth (4 octets a message).
constexpr qint64 MaxListedMessages = 4 * 1024 * 1024;

} // namespace

bool Pop3Pipeline::wantsSizeList() const
{
    return m_pipelining && m_count > 0 && m_count <= MaxListedMessages;
}

qint64 Pop3Pipeline::sizeFromList(int number) const
{
    if (number >= 1 && size_t(number) <= m_sizes.size())
        return m_sizes[size_t(number) - 1];
    return -1;
}

void Pop3Pipeline::setListedSize(int number, qint64 size)
{
    m_listedNumber = number;
    m_listedSize = size;
}

qint64 Pop3Pipeline::knownSize(int number) const
{
    if (const qint64 size = sizeFromList(number); size >= 0)
        return size;
    return m_listedNumber == number ? m_listedSize : -1;
}

bool Pop3Pipeline::isPending(const Step &step) const
{
    return std::any_of(m_pending.begin(), m_pending.end(),
                       [&](const Pending &pending) { return pending.step == step; });
}

void Pop3Pipeline::popPending()
{
    m_pendingBytes -= m_pending.front().expected;
    m_pending.pop_front();
}

void Pop3Pipeline::dropPending()
{
    m_pending.clear();
    m_pendingBytes = 0;
}

// The walk in the order the check makes it: header, size (unless the LIST of the mailbox gave it), message.
Pop3Pipeline::Step Pop3Pipeline::following(const Step &step) const
{
    if (step.number < 1 || step.number > m_count)
        return {Step::None, 0};
    switch (step.what) {
    case Step::Header:
        return {size_t(step.number) <= m_sizes.size() ? Step::Message : Step::Size, step.number};
    case Step::Size:
        return {Step::Message, step.number};
    case Step::Message:
        return step.number < m_count ? Step{Step::Header, step.number + 1} : Step{Step::None, 0};
    case Step::None:
        break;
    }
    return {Step::None, 0};
}

QList<QByteArray> Pop3Pipeline::commandsFrom(const Step &wanted)
{
    m_ahead = wanted;
    return fill();
}

QList<QByteArray> Pop3Pipeline::commandsAhead()
{
    if (!m_pipelining || m_pending.size() > size_t(MaxAheadCommands / 2) || m_pendingBytes > MaxAheadBytes / 2)
        return {};
    return fill();
}

QList<QByteArray> Pop3Pipeline::fill()
{
    QList<QByteArray> lines;
    while (m_ahead.what != Step::None && (lines.isEmpty() || m_pipelining) &&
           m_pending.size() < size_t(MaxAheadCommands) && (m_pending.empty() || m_pendingBytes < MaxAheadBytes)) {
        const Step step = m_ahead;
        const QByteArray n = QByteArray::number(step.number);
        const qint64 size = knownSize(step.number);
        qint64 expected = ReplyFrameBytes;
        if (step.what == Step::Size) {
            lines << "LIST " + n;
        } else if (step.what == Step::Header) {
            lines << "TOP " + n + " 0";
            expected += size >= 0 ? size : MaxHeaderBytes; // the header is part of the message
        } else if (size >= 0) {
            // Every line takes at least one octet, so the size in octets is a line count that covers the whole
            // message. Kept within 32 bits for servers that parse it as an int.
            lines << "TOP " + n + ' ' + QByteArray::number(std::clamp<qint64>(size, 1, 0x7fffffff));
            expected += size;
        } else {
            break; // its line count comes with the reply to LIST n
        }
        m_pending.push_back({step, expected});
        m_pendingBytes += expected;
        m_ahead = following(step);
    }
    return lines;
}
