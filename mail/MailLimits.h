#pragma once

#include <QtGlobal>

// Bounds that keep one mail check finite in time and memory whatever the server sends.

// Largest body buffer the check cycle makes for one message, whatever size the server reports.
inline constexpr qint64 MaxBodyBufferBytes = 64 * 1024 * 1024;

// Longest single response line (status line, capability line) accepted by default; longer ones
// break off the conversation. RFC 2449 allows 512 octets, real servers stay far below this.
inline constexpr int DefaultMaxLineBytes = 8192;
inline constexpr int MinMaxLineBytes = 512;
inline constexpr int MaxMaxLineBytes = 1024 * 1024;

// Most of a message header kept for the status texts; the rest of a huge header is skipped.
inline constexpr qsizetype MaxHeaderBytes = 256 * 1024;

// Timeouts, in milliseconds. Every library call blocks its caller, so each has a hard end:
// the connect timeout covers name lookup and the TCP connect, the reply timeout is the longest
// silence tolerated while a reply is due, and the call deadline bounds one call as a whole
// (a server trickling one byte just inside the reply timeout still ends there).
inline constexpr int ConnectTimeoutMs = 15'000;
inline constexpr int ReplyTimeoutMs = 30'000;
inline constexpr int CallDeadlineMs = 120'000;
// One check as a whole, from the connect to the close. Past it the connection is closed and every further
// call of the check ends at once, so a server that announces millions of messages and refuses each one
// cannot hold the window any longer. A mailbox of a million small messages on 127.0.0.1 is walked in about
// 7 s when the server allows pipelining; one command at a time, about 800,000 of them fit (bench/pop3).
inline constexpr int CheckDeadlineMs = 180'000;
// The longest a wait goes without looking whether the program is ending.
inline constexpr int StopPollMs = 100;
