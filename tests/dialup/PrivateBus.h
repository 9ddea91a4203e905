#pragma once

#include "ChildProcess.h"

#include <QString>
#include <QTemporaryDir>

// A D-Bus daemon of the test's own, so nothing the tests do reaches the machine's real buses.
class PrivateBus final {
public:
    static QString daemonProgram();

    // Empty on success, otherwise why the daemon could not be had.
    QString start();
    void stop();
    QString address() const { return m_address; }

private:
    QTemporaryDir m_dir;
    ChildProcess m_daemon;
    QString m_address;
};
