#include "MultiLineDecoder.h"

#include <cstring>

qsizetype MultiLineDecoder::feed(const char *data, qsizetype size, const Sink &sink)
{
    qsizetype i = 0;
    while (i < size && m_state != State::Finished) {
        switch (m_state) {
        case State::LineStart:
            if (data[i] == '.') {
                m_state = State::Dot;
                ++i;
            } else {
                m_state = State::InLine;
            }
            break;
        case State::InLine: {
            const auto *newline = static_cast<const char *>(std::memchr(data + i, '\n', size_t(size - i)));
            const qsizetype end = newline ? qsizetype(newline - data) + 1 : size;
            sink(data + i, end - i);
            i = end;
            if (newline)
                m_state = State::LineStart;
            break;
        }
        case State::Dot:
            // A bare LF after the dot ends the reply too: some servers send LF line ends.
            if (data[i] == '\r') {
                m_state = State::DotCr;
                ++i;
            } else if (data[i] == '\n') {
                m_state = State::Finished;
                ++i;
            } else {
                m_state = State::InLine;
            }
            break;
        case State::DotCr:
            if (data[i] == '\n') {
                m_state = State::Finished;
                ++i;
            } else {
                sink("\r", 1);
                m_state = State::InLine;
            }
            break;
        case State::Finished:
            break;
        }
    }
    return i;
}
