#pragma once

#include "DialUp.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDeadlineTimer>

#include <chrono>

// Dial-up links as NetworkManager manages them: mobile broadband, PPPoE and Bluetooth. Every other kind of active
// connection (wired, Wi-Fi, VPN, ...) is left alone.
class NetworkManagerDialUp final : public DialUp {
public:
    // Long enough for a busy NetworkManager, short enough that a hung one does not freeze the window for long.
    static constexpr std::chrono::milliseconds DefaultTimeout{2000};

    explicit NetworkManagerDialUp(const QDBusConnection &bus = QDBusConnection::systemBus(),
                                  std::chrono::milliseconds timeout = DefaultTimeout);

    bool enumerate(QList<DialUpConnection> &connections) override;
    bool hangUp(const DialUpConnection &connection) override;

private:
    bool serviceHasOwner(const QDeadlineTimer &deadline) const;
    QDBusMessage callWithin(const QDBusMessage &message, const QDeadlineTimer &deadline) const;

    QDBusConnection m_bus;
    std::chrono::milliseconds m_timeout;
    bool m_unresponsive = false;
};
