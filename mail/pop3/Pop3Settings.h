#pragma once

#include "MailLimits.h"

#include <atomic>

// Tunables of one POP3 session; the defaults are what the program runs with.
struct Pop3Settings final {
    int connectTimeoutMs = ConnectTimeoutMs;
    int replyTimeoutMs = ReplyTimeoutMs;
    int callDeadlineMs = CallDeadlineMs;
    int checkDeadlineMs = CheckDeadlineMs;
    int maxLineBytes = DefaultMaxLineBytes;
    // Raised from another thread when the program ends: every wait notices it within StopPollMs, and the
    // connection is closed at once.
    const std::atomic_bool *stop = nullptr;
};
