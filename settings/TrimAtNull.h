#pragma once

#include <QString>

// The part of a text before its first NUL character; the whole text when it holds none. Buffers filled
// by the mail library are NUL-terminated and padded, so their text ends at the first NUL.
QString TrimAtNull(const QString &text);
