#pragma once

#include <QStringList>

class CheckHost;
class MailLibrary;

// One mail check: connect, read the account from the account file, log in, walk every message, close,
// then tell the user about new mail and, when asked for, hang up the dial-up connections. Nothing is
// kept from one check to the next. The library calls and the hang-up go through the host's offThread, the
// rest happens where run is called; when the program ends meanwhile, the check stops where it is.
class MailCheck final {
public:
    static constexpr int TextBufferLength = 8192;

    static void run(MailLibrary &library, CheckHost &host);

    // The body buffer for a message of the reported size: one byte more than the size, never negative
    // and never above the library's cap, whatever a server claims.
    static qsizetype bodyBufferLength(int reportedSize);

    // The program and arguments to start for the stored mail program, a path or a command line: a text
    // that names an existing file is that file, spaces and all; any other is split as a command line,
    // honouring double quotes. Empty when there is nothing to start.
    static QStringList mailProgramCommand(const QString &text);

private:
    // Status, size and the whole message of every message in turn, up to the first call that finds the
    // connection gone.
    static void walk(MailLibrary &library, int handle, int count, QString &buffer1, QString &buffer2, QString &buffer3,
                     QString &buffer4);
};
