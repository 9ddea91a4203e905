#pragma once

#include <QtGlobal>

#include <functional>

// Turns the data of a POP3 multi-line reply (RFC 1939, 3) back into the bytes the server meant: drops
// the stuffed dot at the start of a line and stops at the terminating "." line. The state
// survives between calls, so the reply may arrive split at any byte, "CRLF.CRLF" included.
class MultiLineDecoder final {
public:
    using Sink = std::function<void(const char *data, qsizetype size)>;

    // Passes the decoded bytes of data to sink and returns how many input bytes were used:
    // all of them, or fewer when the terminating line ends inside data.
    qsizetype feed(const char *data, qsizetype size, const Sink &sink);

    bool isFinished() const { return m_state == State::Finished; }

private:
    enum class State { LineStart, InLine, Dot, DotCr, Finished };
    State m_state = State::LineStart;
};
