#pragma once

#include "ChildProcess.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QStringList>
#include <QTemporaryDir>

// python-dbusmock's NetworkManager template, run on a private bus, with helpers to give it active connections of
// any type and to read back which ones were deactivated.
class NetworkManagerMock final {
public:
    // Debian's own interpreter: that is where the python3-dbusmock package installs the module.
    static QString python();
    // Empty when the mock can be run here, otherwise what is missing.
    static QString unavailableReason();

    NetworkManagerMock(const QString &busAddress, const QDBusConnection &bus);

    // Empty once the mock answers on the bus, otherwise why it does not.
    QString start();
    void stop();
    void suspend() { m_process.suspend(); }

    // Object path of the new active connection, or empty on failure.
    QString addActiveConnection(const QString &type, const QString &name);
    // DeactivateConnection then fails for this active connection (the call is still logged).
    bool refuseDeactivation(const QString &activePath);
    // The active connections passed to DeactivateConnection, in the order of the calls.
    QStringList deactivated(bool *ok) const;

private:
    QDBusMessage call(const QString &path, const QString &interface, const QString &method,
                      const QVariantList &arguments) const;
    QString log() const;

    QString m_busAddress;
    QDBusConnection m_bus;
    QTemporaryDir m_dir;
    ChildProcess m_process;
    QStringList m_refused;
    int m_added = 0;
};
