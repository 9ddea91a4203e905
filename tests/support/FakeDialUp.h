#pragma once

#include "DialUp.h"

#include <QStringList>

// Records each enumeration as "HangUp" in the shared log; lists no connection.
class FakeDialUp final : public DialUp {
public:
    explicit FakeDialUp(QStringList &log) : m_log(log) {}

    bool enumerate(QList<DialUpConnection> &connections) override
    {
        m_log << QStringLiteral("HangUp");
        connections.clear();
        return true;
    }
    bool hangUp(const DialUpConnection &) override { return true; }

private:
    QStringList &m_log;
};
