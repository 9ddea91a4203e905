#pragma once

#include "MailLibrary.h"

#include <QList>
#include <QStringList>

#include <functional>

// A mail library that answers from a script and records every call, in order, into a log that a test
// can share with other fakes to see the order across them.
class FakeMailLibrary final : public MailLibrary {
public:
    explicit FakeMailLibrary(QStringList &log) : m_log(log) {}

    int connectResult = 1;
    int authenticateResult = 0;
    QList<int> sizes;                         // LIST size per message, 1-based by position
    QString errorText;                        // what NMailGetMessage hands out
    std::function<void()> duringAuthenticate; // runs inside the login call
    int goneFrom = 0; // from this status, size or fetch call on (counted from 1), the connection is gone
    QList<qsizetype> bodyCapacities;

    int NMailInitializeWinSock() override;
    int NMailSetOption(int option, int value) override;
    int NMailEndWinSock() override;
    int NMailPop3Connect(const QString &server) override;
    int NMailPop3Authenticate(int handle, const QString &id, const QString &password, int apop) override;
    int NMailPop3GetMailStatus(int handle, int number, QString &buffer1, QString &buffer2, QString &buffer3,
                               QString &buffer4, int flag) override;
    int NMailPop3GetMailSize(int handle, int number) override;
    int NMailPop3GetMail(int handle, int number, QString &buffer1, QString &buffer2, QString &buffer3, QString &buffer4,
                         QByteArray &body, int flag1, int flag2) override;
    int NMailGetMessage(int code, QString &buffer, int &length) override;
    int NMailPop3Close(int handle) override;

private:
    bool gone() { return goneFrom > 0 && ++m_messageCalls >= goneFrom; }

    QStringList &m_log;
    int m_messageCalls = 0;
};
