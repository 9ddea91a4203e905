#pragma once

#include <QByteArrayView>

// One line of a file's bytes, seen in place: the file is never split into a list of lines, so a read costs
// little more memory than the file itself, however many lines it holds. A line ends at "\r\n", "\n" or "\r".
struct FileLine {
    qsizetype begin = 0;
    QByteArrayView text; // without its line end
    qsizetype end = 0;   // after its line end; none on a last line without one

    bool hasEnding() const { return end > begin + text.size(); }

    // The line that starts at start, which is inside data.
    static FileLine at(QByteArrayView data, qsizetype start);
};
