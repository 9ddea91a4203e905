#pragma once

#include <QList>
#include <QString>

#include <memory>

// One active dial-up connection as the system reports it.
struct DialUpConnection {
    QString id;   // the backend's handle for hanging up (the D-Bus object path on Linux)
    QString name; // what the user calls it
    QString type; // the backend's kind of link, e.g. "gsm" or "pppoe"
};

// The system's dial-up connections: listing the active ones and hanging one up. One backend per platform.
class DialUp {
public:
    virtual ~DialUp() = default;

    static constexpr int MaxConnections = 256;

    // The active dial-up connections, in the order the system lists them, at most MaxConnections; replaces the
    // contents of connections. Returns false when the enumeration itself failed (the caller then hangs up nothing).
    virtual bool enumerate(QList<DialUpConnection> &connections) = 0;
    virtual bool hangUp(const DialUpConnection &connection) = 0;
};

// The backend this build was made for.
std::unique_ptr<DialUp> createPlatformDialUp();

// Enumerates, stops at once if that fails, hangs each connection up in the listed order, goes on past a failed
// hang-up, reports nothing. Returns how many hang-ups were attempted.
int hangUpAll(DialUp &dialUp);
