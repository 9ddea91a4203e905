#pragma once

#include "DialUp.h"

// For platforms with no dial-up service to ask: there is never anything to hang up.
class NullDialUp final : public DialUp {
public:
    bool enumerate(QList<DialUpConnection> &connections) override;
    bool hangUp(const DialUpConnection &connection) override;
};
