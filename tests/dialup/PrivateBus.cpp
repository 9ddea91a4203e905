#include "PrivateBus.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QStandardPaths>

QString PrivateBus::daemonProgram()
{
    return QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
}

QString PrivateBus::start()
{
    if (!m_dir.isValid())
        return QStringLiteral("no temporary folder: %1").arg(m_dir.errorString());

    // No service directories: nothing may be started on demand, so "no NetworkManager" stays that way.
    const QString config = m_dir.filePath(QStringLiteral("bus.conf"));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly))
        return QStringLiteral("cannot write %1").arg(config);
    file.write(QStringLiteral(R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:path=%1</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)")
                   .arg(m_dir.filePath(QStringLiteral("bus")).toHtmlEscaped())
                   .toUtf8());
    file.close();

    m_daemon.setStandardErrorFile(m_dir.filePath(QStringLiteral("daemon.log")));
    m_daemon.start(daemonProgram(), {QStringLiteral("--nofork"), QStringLiteral("--print-address"),
                                     QStringLiteral("--config-file=") + config});
    if (!m_daemon.waitForStarted(5000))
        return QStringLiteral("dbus-daemon did not start: %1").arg(m_daemon.errorString());

    const QDeadlineTimer deadline(5000);
    while (!m_daemon.canReadLine() && !deadline.hasExpired() && m_daemon.state() == QProcess::Running)
        m_daemon.waitForReadyRead(static_cast<int>(deadline.remainingTime()));
    m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
    if (m_address.isEmpty()) {
        stop();
        QFile log(m_dir.filePath(QStringLiteral("daemon.log")));
        log.open(QIODevice::ReadOnly);
        return QStringLiteral("dbus-daemon printed no address: %1").arg(QString::fromUtf8(log.readAll()));
    }
    return {};
}

void PrivateBus::stop()
{
    m_daemon.stop();
    m_address.clear();
}
