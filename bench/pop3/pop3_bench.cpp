// The POP3 benchmark driver. Times, in alternating rounds, our full walk (pop3_walk: connect, login, status,
// size and fetch of every message, close) beside other clients reading the same messages from the same server:
//
//   (a) 1,000 messages of 10 KB and (b) 20 messages of 5 MB from Dovecot on 127.0.0.1: beside curl fetching
//       the messages over one connection (RETR) and Python's poplib sending the walk's commands one by one;
//   (c) 200 messages of 10 KB from Dovecot through a link that holds every byte back 25 ms each way (a 50 ms
//       round trip): beside curl through the same link and the all-at-once floor, a client that writes every
//       command as soon as it has connected and reads until the server hangs up;
//   (d) 1,000,000 small messages from a server inside this program on 127.0.0.1, beside the floor. Only with
//       --only d: a round takes minutes.
//
// --baseline adds the pop3_walk of another build (for example the last release) to the same rounds. Prints
// medians, ratios and the walk's peak RSS. Wall times are of whole processes, except for the floor, which runs
// inside this program.
//
//   pop3_bench --walker <pop3_walk> --poplib <poplib_walk.py> [--baseline <pop3_walk>] [--rounds N]
//              [--only a|b|c|d] [--delay-ms <one way>]

#include "DelayLink.h"
#include "DovecotServer.h"
#include "MailboxServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <functional>
#include <memory>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

struct DataSet {
    const char *key;
    const char *label;
    QString user;
    int count;
    qsizetype size;
    bool linked;    // through the link with delay
    bool synthetic; // from MailboxServer instead of Dovecot
    double curlGoal;
    double poplibGoal;  // 0: none
    double secondsGoal; // for the whole walk; 0: none
    double floorGoal;   // 0: none
};

struct Sample {
    double seconds = 0;
    QByteArray output;
    bool ok = false;
};

// One client in the rounds of a data set.
struct Contender {
    const char *name;
    std::function<Sample()> run;
    bool walker;
    double goal; // at most this many times our median, or 0
    QList<double> times;
    QList<double> inside; // walkers: the walk alone, as the walker measured it
    qint64 idleKb = 0;
    qint64 peakKb = 0;
};

const QString Password = QStringLiteral("bench-pw");

QByteArray makeMessage(int number, qsizetype size)
{
    QByteArray text = "From: bench@example.jp\r\nTo: you@example.jp\r\nSubject: bench message " +
                      QByteArray::number(number) + "\r\nDate: Sat, 7 Dec 2024 10:00:00 +0900\r\nMessage-ID: <bench" +
                      QByteArray::number(number) + "@example.jp>\r\n\r\n";
    for (int line = 1; text.size() < size; ++line) {
        // Now and then a line that starts with a dot, which travels dot-stuffed.
        QByteArray row = (line % 50 == 0 ? "." : "") + QByteArray("line ") + QByteArray::number(line) + ' ';
        row += QByteArray(76 - row.size(), char('a' + line % 26)) + "\r\n";
        text += row;
    }
    text.truncate(size - 2);
    return text + "\r\n";
}

Sample run(const QString &program, const QStringList &arguments, bool keepOutput)
{
    QProcess process;
    if (!keepOutput)
        process.setStandardOutputFile(QProcess::nullDevice());
    process.setProcessChannelMode(keepOutput ? QProcess::SeparateChannels : QProcess::ForwardedErrorChannel);
    QElapsedTimer timer;
    timer.start();
    process.start(program, arguments);
    Sample sample;
    sample.ok =
        process.waitForFinished(300'000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    sample.seconds = double(timer.nsecsElapsed()) / 1e9;
    if (keepOutput)
        sample.output = process.readAllStandardOutput().trimmed();
    return sample;
}

// The floor: writes every command as soon as the connection stands, reads what comes back until the server
// hangs up after QUIT, and keeps none of it. ok when at least leastBytes came back.
Sample floor(quint16 port, const QByteArray &commands, qint64 leastBytes)
{
    QElapsedTimer timer;
    timer.start();
    const int client = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    const sockaddr_in address{AF_INET, htons(port), {htonl(INADDR_LOOPBACK)}, {}};
    ::connect(client, reinterpret_cast<const sockaddr *>(&address), sizeof address);
    QByteArray buffer(256 * 1024, Qt::Uninitialized);
    qint64 sent = 0, received = 0;
    bool ended = false;
    while (!ended && timer.elapsed() < 300'000) {
        pollfd ready{client, short(POLLIN | (sent < commands.size() ? POLLOUT : 0)), 0};
        if (::poll(&ready, 1, 1000) < 0)
            break;
        if (ready.revents & POLLOUT) {
            const ssize_t wrote =
                ::send(client, commands.constData() + sent, size_t(commands.size() - sent), MSG_NOSIGNAL);
            sent += qMax<ssize_t>(wrote, 0);
        }
        if (ready.revents & (POLLIN | POLLHUP | POLLERR)) {
            const ssize_t got = ::recv(client, buffer.data(), size_t(buffer.size()), 0);
            if (got < 0 && errno != EAGAIN)
                break;
            ended = got == 0;
            received += qMax<ssize_t>(got, 0);
        }
    }
    ::close(client);
    Sample sample;
    sample.seconds = double(timer.nsecsElapsed()) / 1e9;
    sample.ok = ended && received >= leastBytes;
    sample.output = "bytes=" + QByteArray::number(received);
    return sample;
}

// The commands of our walk with the sizes known: login, STAT, LIST, then the header and the whole of each
// message, QUIT.
QByteArray floorCommands(const DataSet &set, qsizetype size)
{
    QByteArray commands = "USER " + set.user.toUtf8() + "\r\nPASS " + Password.toUtf8() + "\r\nSTAT\r\nLIST\r\n";
    for (int n = 1; n <= set.count; ++n) {
        const QByteArray number = QByteArray::number(n);
        commands += "TOP " + number + " 0\r\nTOP " + number + ' ' + QByteArray::number(size) + "\r\n";
    }
    return commands + "QUIT\r\n";
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    if (values.isEmpty())
        return 0;
    const qsizetype middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

qint64 field(const QByteArray &line, const QByteArray &name)
{
    for (const QByteArray &part : line.split(' ')) {
        if (part.startsWith(name + '='))
            return qint64(part.mid(name.size() + 1).toDouble() * (name == "seconds" ? 1e6 : 1));
    }
    return -1;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QString walker, baseline, poplib, only;
    QString python = QStringLiteral("/usr/bin/python3");
    int rounds = 7;
    int delayMs = 25;
    const QStringList args = app.arguments();
    for (qsizetype i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == u"--walker")
            walker = args[i + 1];
        else if (args[i] == u"--baseline")
            baseline = args[i + 1];
        else if (args[i] == u"--poplib")
            poplib = args[i + 1];
        else if (args[i] == u"--rounds")
            rounds = qMax(1, args[i + 1].toInt());
        else if (args[i] == u"--only")
            only = args[i + 1];
        else if (args[i] == u"--python")
            python = args[i + 1];
        else if (args[i] == u"--delay-ms")
            delayMs = qMax(0, args[i + 1].toInt());
    }
    if (walker.isEmpty() || poplib.isEmpty()) {
        std::fprintf(stderr, "usage: pop3_bench --walker <pop3_walk> --poplib <poplib_walk.py> [--baseline "
                             "<pop3_walk>] [--rounds N] [--only a|b|c|d] [--delay-ms <one way>]\n");
        return 2;
    }

    const QByteArray linkLabel =
        QStringLiteral("(c) 200 messages of 10 KB through a link of %1 ms each way").arg(delayMs).toUtf8();
    const QList<DataSet> sets = {
        {"a", "(a) 1,000 messages of 10 KB", QStringLiteral("small"), 1000, 10 * 1024, false, false, 1.5, 0.5, 0, 0},
        {"b", "(b) 20 messages of 5 MB", QStringLiteral("large"), 20, 5 * 1024 * 1024, false, false, 1.1, 0, 0, 0},
        {"c", linkLabel.constData(), QStringLiteral("linked"), 200, 10 * 1024, true, false, 0.1, 0, 1, 5},
        {"d", "(d) 1,000,000 messages of 300 bytes", QStringLiteral("many"), 1'000'000, 300, false, true, 0, 0, 180, 0},
    };
    const auto wanted = [&](const DataSet &set) {
        return only.isEmpty() ? !set.synthetic : only.split(u',').contains(QLatin1String(set.key));
    };

    DovecotServer dovecot;
    bool needDovecot = false;
    for (const DataSet &set : sets) {
        if (!wanted(set) || set.synthetic)
            continue;
        needDovecot = true;
        dovecot.addUser(set.user, Password);
        for (int n = 1; n <= set.count; ++n)
            dovecot.addMessage(set.user, makeMessage(n, set.size));
    }
    if (needDovecot && !DovecotServer::isInstalled()) {
        std::fprintf(stderr, "Dovecot is not installed (%s)\n", qPrintable(DovecotServer::executable()));
        return 2;
    }
    QString why;
    if (needDovecot && !dovecot.start(&why)) {
        std::fprintf(stderr, "cannot start Dovecot: %s\n", qPrintable(why));
        return 1;
    }

    int status = 0;
    for (const DataSet &set : sets) {
        if (!wanted(set))
            continue;
        // A message without dot lines for the synthetic server, which does not stuff them.
        std::unique_ptr<MailboxServer> synthetic;
        if (set.synthetic) {
            QByteArray message = makeMessage(1, 400);
            message.truncate(message.indexOf("\r\n\r\n") + 4);
            message += QByteArray(set.size - message.size() - 2, 'x') + "\r\n";
            synthetic = std::make_unique<MailboxServer>(set.count, message);
        }
        const quint16 serverPort = set.synthetic ? synthetic->port() : dovecot.plainPort();
        std::unique_ptr<DelayLink> link;
        if (set.linked)
            link = std::make_unique<DelayLink>(serverPort, std::chrono::milliseconds(delayMs));
        const QString host = QStringLiteral("127.0.0.1");
        const quint16 portNumber = link ? link->port() : serverPort;
        const QString port = QString::number(portNumber);
        const QString range = QStringLiteral("pop3://%1:%2/[1-%3]").arg(host, port).arg(set.count);
        const QByteArray floorScript = floorCommands(set, set.size);

        QList<Contender> contenders;
        const auto walk = [&](const QString &program) {
            return [&, program] { return run(program, {host + u':' + port, set.user, Password}, true); };
        };
        contenders.append({"ours", walk(walker), true, 0, {}, {}, 0, 0});
        if (!baseline.isEmpty())
            contenders.append({"before", walk(baseline), true, 0, {}, {}, 0, 0});
        if (!set.synthetic) {
            contenders.append({"curl",
                               [&] {
                                   return run(
                                       QStringLiteral("curl"),
                                       {QStringLiteral("-sS"), QStringLiteral("-u"), set.user + u':' + Password, range},
                                       false);
                               },
                               false,
                               set.curlGoal,
                               {},
                               {},
                               0,
                               0});
        }
        if (!set.linked && !set.synthetic) {
            contenders.append({"poplib",
                               [&] {
                                   return run(python, {poplib, host, port, set.user, Password}, true);
                               },
                               false,
                               set.poplibGoal,
                               {},
                               {},
                               0,
                               0});
        }
        if (set.linked || set.synthetic) {
            contenders.append({"floor",
                               [&] { return floor(portNumber, floorScript, qint64(set.count) * set.size); },
                               false,
                               set.floorGoal,
                               {},
                               {},
                               0,
                               0});
        }

        // A first round lets Dovecot move the mail to cur/ and build its index; it also checks that every
        // client reads every message.
        bool allRead = true;
        for (const Contender &contender : contenders) {
            const qsizetype retrievedBefore = dovecot.log().count(QStringLiteral("retr=%1/").arg(set.count));
            const Sample first = contender.run();
            bool read = first.ok;
            if (contender.walker)
                read = read && field(first.output, "messages") == set.count &&
                       field(first.output, "bytes") == qint64(set.count) * set.size &&
                       field(first.output, "failures") == 0;
            else if (contender.name == QByteArrayView("curl"))
                read = read && dovecot.log().count(QStringLiteral("retr=%1/").arg(set.count)) == retrievedBefore + 1;
            else if (contender.name == QByteArrayView("poplib"))
                read = read && first.output.startsWith("messages=" + QByteArray::number(set.count) + ' ');
            if (!read) {
                std::fprintf(stderr, "%s: %s did not read every message: %s\n", set.label, contender.name,
                             first.output.constData());
                allRead = false;
            }
        }
        if (!allRead) {
            status = 1;
            continue;
        }

        for (int round = 0; round < rounds; ++round) {
            for (qsizetype turn = 0; turn < contenders.size(); ++turn) {
                Contender &contender = contenders[(round + turn) % contenders.size()];
                const Sample sample = contender.run();
                contender.times << sample.seconds;
                if (contender.walker) {
                    contender.inside << double(field(sample.output, "seconds")) / 1e6;
                    contender.idleKb = qMax(contender.idleKb, field(sample.output, "idle_rss_kb"));
                    contender.peakKb = qMax(contender.peakKb, field(sample.output, "peak_rss_kb"));
                }
            }
        }

        const double ours = median(contenders[0].times);
        std::printf("%s, %d rounds\n", set.label, rounds);
        for (const Contender &contender : contenders) {
            const double seconds = median(contender.times);
            std::printf("  %-7s median %8.3f s", contender.name, seconds);
            if (contender.walker)
                std::printf(" (walk alone %.3f s, peak RSS %.1f MB, growth %.1f MB)", median(contender.inside),
                            contender.peakKb / 1024.0, (contender.peakKb - contender.idleKb) / 1024.0);
            if (&contender == &contenders[0] && set.secondsGoal > 0)
                std::printf(" (goal <= %.0f s)", set.secondsGoal);
            if (&contender != &contenders[0])
                std::printf("   ours/%s %.3f", contender.name, ours / seconds);
            if (contender.goal > 0)
                std::printf(" (goal <= %.2f)", contender.goal);
            std::printf("\n");
        }
        std::fflush(stdout);
    }
    dovecot.stop();
    return status;
}
