#include "DialUp.h"

#include <algorithm>

int hangUpAll(DialUp &dialUp)
{
    QList<DialUpConnection> connections;
    if (!dialUp.enumerate(connections))
        return 0;

    // A backend that lists more than it may must not make the button hang up an unbounded number of links.
    const qsizetype count = std::min<qsizetype>(connections.size(), DialUp::MaxConnections);
    int attempted = 0;
    for (qsizetype i = 0; i < count; ++i) {
        // A link that refuses to drop must not keep the others up, and the button reports nothing either way.
        static_cast<void>(dialUp.hangUp(connections.at(i)));
        ++attempted;
    }
    return attempted;
}
