#include "DialUp.h"

#include <QTest>

// Built here on every platform so the fallback backend keeps compiling where it is not the one in use.
class NullDialUpTest final : public QObject {
    Q_OBJECT

private slots:
    void listsNothingWithoutFailing();
};

void NullDialUpTest::listsNothingWithoutFailing()
{
    const std::unique_ptr<DialUp> dialUp = createPlatformDialUp();
    QVERIFY(dialUp);

    // A stale list from the caller must not survive: those links would then be "hung up".
    QList<DialUpConnection> connections{{QStringLiteral("stale"), QStringLiteral("stale"), QStringLiteral("gsm")}};
    QVERIFY(dialUp->enumerate(connections));
    QVERIFY(connections.isEmpty());
    QCOMPARE(hangUpAll(*dialUp), 0);
}

QTEST_GUILESS_MAIN(NullDialUpTest)
#include "NullDialUpTest.moc"
