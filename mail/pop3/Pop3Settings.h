#pragma once

#include "MailLimits.h"

// Tunables of one POP3 session; the defaults are what the program runs with.
struct Pop3Settings final {
    int connectTimeoutMs = ConnectTimeoutMs;
    int replyTimeoutMs = ReplyTimeoutMs;
    int callDeadlineMs = CallDeadlineMs;
    int checkDeadlineMs = CheckDeadlineMs;
    int maxLineBytes = DefaultMaxLineBytes;
};
