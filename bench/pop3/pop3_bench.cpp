// The POP3 benchmark driver. Starts Dovecot on 127.0.0.1 with two mailboxes, (a) 1,000
// messages of 10 KB and (b) 20 messages of 5 MB, and times in alternating rounds: our full walk
// (pop3_walk: connect, login, status, size and fetch of every message, close), curl fetching the
// same messages over one connection (RETR), and Python's poplib sending our exact commands.
// Prints medians, ratios and the walk's peak RSS. Wall times are of whole processes for all three.
//
//   pop3_bench --walker <pop3_walk> --poplib <poplib_walk.py> [--rounds N] [--only a|b]

#include "DovecotServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>

#include <algorithm>
#include <cstdio>

namespace {

struct DataSet {
    const char *key;
    const char *label;
    QString user;
    int count;
    qsizetype size;
    double curlGoal;
    double poplibGoal; // 0: none
};

struct Sample {
    double seconds = 0;
    QByteArray output;
    bool ok = false;
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
    QString walker, poplib, only;
    QString python = QStringLiteral("/usr/bin/python3");
    int rounds = 7;
    const QStringList args = app.arguments();
    for (qsizetype i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == u"--walker")
            walker = args[i + 1];
        else if (args[i] == u"--poplib")
            poplib = args[i + 1];
        else if (args[i] == u"--rounds")
            rounds = qMax(1, args[i + 1].toInt());
        else if (args[i] == u"--only")
            only = args[i + 1];
        else if (args[i] == u"--python")
            python = args[i + 1];
    }
    if (walker.isEmpty() || poplib.isEmpty()) {
        std::fprintf(stderr, "usage: pop3_bench --walker <pop3_walk> --poplib <poplib_walk.py> [--rounds N] "
                             "[--only a|b]\n");
        return 2;
    }
    if (!DovecotServer::isInstalled()) {
        std::fprintf(stderr, "Dovecot is not installed (%s)\n", qPrintable(DovecotServer::executable()));
        return 2;
    }

    const QList<DataSet> sets = {
        {"a", "(a) 1,000 messages of 10 KB", QStringLiteral("small"), 1000, 10 * 1024, 1.5, 0.5},
        {"b", "(b) 20 messages of 5 MB", QStringLiteral("large"), 20, 5 * 1024 * 1024, 1.1, 0},
    };
    DovecotServer dovecot;
    for (const DataSet &set : sets) {
        if (!only.isEmpty() && only != QLatin1String(set.key))
            continue;
        dovecot.addUser(set.user, Password);
        for (int n = 1; n <= set.count; ++n)
            dovecot.addMessage(set.user, makeMessage(n, set.size));
    }
    QString why;
    if (!dovecot.start(&why)) {
        std::fprintf(stderr, "cannot start Dovecot: %s\n", qPrintable(why));
        return 1;
    }
    const QString host = QStringLiteral("127.0.0.1");
    const QString port = QString::number(dovecot.plainPort());

    int status = 0;
    for (const DataSet &set : sets) {
        if (!only.isEmpty() && only != QLatin1String(set.key))
            continue;
        const QString range = QStringLiteral("pop3://%1:%2/[1-%3]").arg(host, port).arg(set.count);
        const auto ours = [&] { return run(walker, {host + u':' + port, set.user, Password}, true); };
        const auto curl = [&] {
            return run(QStringLiteral("curl"),
                       {QStringLiteral("-sS"), QStringLiteral("-u"), set.user + u':' + Password, range}, false);
        };
        const auto popl = [&] { return run(python, {poplib, host, port, set.user, Password}, true); };

        // A first round lets Dovecot move the mail to cur/ and build its index; it also checks
        // that every tool reads every message.
        const qsizetype retrievedBefore = dovecot.log().count(QStringLiteral("retr=%1/").arg(set.count));
        const Sample first = ours(), firstCurl = curl(), firstPoplib = popl();
        const bool allRead =
            first.ok && field(first.output, "messages") == set.count &&
            field(first.output, "bytes") == qint64(set.count) * set.size && field(first.output, "failures") == 0 &&
            firstCurl.ok && dovecot.log().count(QStringLiteral("retr=%1/").arg(set.count)) == retrievedBefore + 1 &&
            firstPoplib.ok && firstPoplib.output.startsWith("messages=" + QByteArray::number(set.count) + ' ');
        if (!allRead) {
            std::fprintf(stderr, "%s: a tool did not read every message\n  ours: %s\n  poplib: %s\n", set.label,
                         first.output.constData(), firstPoplib.output.constData());
            status = 1;
            continue;
        }

        QList<double> oursTimes, oursInside, curlTimes, poplibTimes;
        qint64 idleKb = 0, peakKb = 0;
        for (int round = 0; round < rounds; ++round) {
            for (int turn = 0; turn < 3; ++turn) {
                switch ((round + turn) % 3) {
                case 0: {
                    const Sample sample = ours();
                    oursTimes << sample.seconds;
                    oursInside << double(field(sample.output, "seconds")) / 1e6;
                    idleKb = qMax(idleKb, field(sample.output, "idle_rss_kb"));
                    peakKb = qMax(peakKb, field(sample.output, "peak_rss_kb"));
                    break;
                }
                case 1:
                    curlTimes << curl().seconds;
                    break;
                default:
                    poplibTimes << popl().seconds;
                    break;
                }
            }
        }
        const double ourMedian = median(oursTimes), curlMedian = median(curlTimes), poplibMedian = median(poplibTimes);
        std::printf("%s, %d rounds\n", set.label, rounds);
        std::printf("  ours    median %.3f s (walk alone %.3f s)\n", ourMedian, median(oursInside));
        std::printf("  curl    median %.3f s   ours/curl   %.2f (goal <= %.1f)\n", curlMedian, ourMedian / curlMedian,
                    set.curlGoal);
        std::printf("  poplib  median %.3f s   ours/poplib %.2f", poplibMedian, ourMedian / poplibMedian);
        if (set.poplibGoal > 0)
            std::printf(" (goal <= %.1f)", set.poplibGoal);
        std::printf("\n  ours    peak RSS %.1f MB, idle %.1f MB, growth %.1f MB\n", peakKb / 1024.0, idleKb / 1024.0,
                    (peakKb - idleKb) / 1024.0);
        std::fflush(stdout);
    }
    dovecot.stop();
    return status;
}
