#pragma once

// Options understood by NMailSetOption. Unknown numbers are ignored; a value of 0 or below
// restores the default.
enum NMailOption : int {
    // Longest response line accepted, in bytes (clamped to 512..1 MiB, default 8192). The
    // program passes the size of its text buffers, 8192, since nothing longer could be shown.
    NMailOptionMaxLineBytes = 1,
    NMailOptionConnectTimeoutMs = 2,
    NMailOptionReplyTimeoutMs = 3,
    NMailOptionCallDeadlineMs = 4,
    // From the connect to the close of one connection.
    NMailOptionCheckDeadlineMs = 5,
};
