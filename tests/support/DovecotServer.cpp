#include "DovecotServer.h"

#include <QDeadlineTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <csignal>
#include <sys/prctl.h>

DovecotServer::DovecotServer()
{
    QTcpServer plain, tls; // both held at once, so that the two ports differ
    plain.listen(QHostAddress::LocalHost);
    tls.listen(QHostAddress::LocalHost);
    m_plainPort = plain.serverPort();
    m_tlsPort = tls.serverPort();
    // A test that crashes must not leave its Dovecot behind.
    m_process.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
    m_process.setProcessChannelMode(QProcess::ForwardedChannels);
}

void DovecotServer::addMessage(const QString &user, const QByteArray &message)
{
    QProcess deliver;
    const QString name = QStringLiteral("%1.M.poronica").arg(1'600'000'000 + ++m_delivered);
    deliver.start(QStringLiteral(PORONICA_DOVECOT_SCRIPT), {QStringLiteral("deliver"), m_dir.path(), user, name});
    deliver.write(message);
    deliver.closeWriteChannel();
    if (!deliver.waitForFinished(10'000) || deliver.exitCode() != 0)
        qWarning("DovecotServer: cannot deliver to %s", qPrintable(user));
}

bool DovecotServer::start(QString *why)
{
    m_process.start(QStringLiteral(PORONICA_DOVECOT_SCRIPT),
                    QStringList{m_dir.path(), QString::number(m_plainPort), QString::number(m_tlsPort)} + m_users);
    // The port accepts a little before the greeting is sent: wait for "+OK" itself.
    for (const QDeadlineTimer deadline(20'000); !deadline.hasExpired() && m_process.state() != QProcess::NotRunning;
         QThread::msleep(50)) {
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, m_plainPort);
        if (probe.waitForConnected(500) && probe.waitForReadyRead(2000) && probe.readLine().startsWith("+OK"))
            return true;
    }
    if (why)
        *why = QStringLiteral("Dovecot did not greet: ") + log();
    stop();
    return false;
}

void DovecotServer::stop()
{
    m_process.terminate();
    m_process.waitForFinished(10'000);
}

QString DovecotServer::log() const
{
    QFile file(m_dir.filePath(QStringLiteral("dovecot.log")));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QStringList DovecotServer::waitForLog(const QString &text, int count) const
{
    QStringList lines;
    for (const QDeadlineTimer deadline(10'000); !deadline.hasExpired(); QThread::msleep(20)) {
        lines = log().split(u'\n').filter(text);
        if (lines.size() >= count)
            break;
    }
    return lines;
}
