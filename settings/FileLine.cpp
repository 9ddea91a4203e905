#include "FileLine.h"

FileLine FileLine::at(QByteArrayView data, qsizetype start)
{
    qsizetype end = start;
    while (end < data.size() && data[end] != '\r' && data[end] != '\n')
        ++end;
    FileLine line{start, data.sliced(start, end - start), end};
    if (end < data.size())
        line.end += (data[end] == '\r' && end + 1 < data.size() && data[end + 1] == '\n') ? 2 : 1;
    return line;
}
