#pragma once

#include "DialUp.h"

#include <QStringList>

// Lists what it is given (or fails to), refuses to hang up the ids in refusing, and logs each listing as "HangUp"
// and each hang-up as "HangUp <id>" into the shared log.
class FakeDialUp final : public DialUp {
public:
    explicit FakeDialUp(QStringList &log) : m_log(log) {}

    bool enumerates = true;
    QList<DialUpConnection> listed;
    QStringList refusing;

    bool enumerate(QList<DialUpConnection> &connections) override
    {
        m_log << QStringLiteral("HangUp");
        connections = listed; // even on failure: the caller must go by the result
        return enumerates;
    }
    bool hangUp(const DialUpConnection &connection) override
    {
        m_log << "HangUp " + connection.id;
        return !refusing.contains(connection.id);
    }

private:
    QStringList &m_log;
};
