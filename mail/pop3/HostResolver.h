#pragma once

#include <QHostAddress>
#include <QList>
#include <QString>

#include <atomic>

// Name lookup with a hard time limit. The system resolver can hang far longer than a blocking
// mail check may, so the lookup runs on a helper thread that is abandoned when time runs out.
class HostResolver final {
public:
    // The addresses of host (IPv6 and IPv4, in the resolver's order); an address literal is
    // returned as it is. Empty on failure or timeout, with the reason in *error. A raised stop ends the
    // wait early, empty.
    static QList<QHostAddress> resolve(const QString &host, int timeoutMs, QString *error,
                                       const std::atomic_bool *stop = nullptr);
};
