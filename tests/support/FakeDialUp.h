#pragma once

#include "DialUp.h"

#include <QStringList>

// Lists the connections it is given and records each listing as "HangUp" and each hang-up as "HangUp <id>"
// in the shared log. A listing can fail, and so can the hang-up of the ids in refusing.
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
        m_log << QStringLiteral("HangUp ") + connection.id;
        return !refusing.contains(connection.id);
    }

private:
    QStringList &m_log;
};
