#include "NullDialUp.h"

bool NullDialUp::enumerate(QList<DialUpConnection> &connections)
{
    connections.clear();
    return true;
}

bool NullDialUp::hangUp(const DialUpConnection &connection)
{
    static_cast<void>(connection);
    return false;
}

std::unique_ptr<DialUp> createPlatformDialUp()
{
    return std::make_unique<NullDialUp>();
}
