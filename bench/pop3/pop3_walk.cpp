// One mail check through the library's entry points, the way the check cycle makes it:
// connect, log in, then for every message status, size and the whole message into a buffer of
// size + 1 bytes, then close. Prints one line of figures for the benchmark driver.
//
//   pop3_walk <server> <user> <password>

#include "MailLimits.h"
#include "NMailLibrary.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>

#include <cstdio>

namespace {

// A line such as "VmRSS:    12345 kB" from /proc/self/status, in kB.
qint64 statusKb(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 4) {
        std::fprintf(stderr, "usage: pop3_walk <server> <user> <password>\n");
        return 2;
    }

    NMailLibrary library;
    library.NMailInitializeWinSock();
    library.NMailSetOption(1, 8192);
    QString buffer1(8192, u' '), buffer2(8192, u' '), buffer3(8192, u' '), buffer4(8192, u' ');
    const qint64 idleKb = statusKb("VmRSS:");

    QElapsedTimer timer;
    timer.start();
    const int handle = library.NMailPop3Connect(args[1]);
    if (handle < 0) {
        std::fprintf(stderr, "connect failed\n");
        return 1;
    }
    const int count = library.NMailPop3Authenticate(handle, args[2], args[3], 0);
    qint64 bytes = 0;
    int failures = count < 0 ? 1 : 0;
    for (int number = 1; number <= count; ++number) {
        failures += library.NMailPop3GetMailStatus(handle, number, buffer1, buffer2, buffer3, buffer4, 0) < 0;
        const int size = library.NMailPop3GetMailSize(handle, number);
        QByteArray body(qBound<qint64>(0, qint64(size), MaxBodyBufferBytes) + 1, ' ');
        const int length = library.NMailPop3GetMail(handle, number, buffer1, buffer2, buffer3, buffer4, body, 0, 0);
        failures += length < 0;
        bytes += qMax(length, 0);
    }
    library.NMailPop3Close(handle);
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    library.NMailEndWinSock();

    std::printf("seconds=%.6f messages=%d bytes=%lld failures=%d idle_rss_kb=%lld peak_rss_kb=%lld\n", seconds, count,
                bytes, failures, idleKb, statusKb("VmHWM:"));
    return failures == 0 ? 0 : 1;
}
