#pragma once

#include "MailLibrary.h"

#include <QStringList>

// A mail library that answers from a few settings and records every call, in order, into a log a test can share
// with other fakes. Messages are walked as "Status h n", "Size h n" and "Mail h n <body capacity>".
class FakeMailLibrary final : public MailLibrary {
public:
    explicit FakeMailLibrary(QStringList &log) : m_log(log) {}

    int connectResult = 1;
    int authenticateResult = 0;
    QList<int> sizes;  // what LIST gives for message 1, 2, ...; 100 beyond them
    QString errorText; // what NMailGetMessage hands out
    int goneFrom = 0;  // from this status, size or fetch call on (counted from 1), the connection is gone

    int NMailInitializeWinSock() override { return record(QStringLiteral("InitializeWinSock")); }
    int NMailSetOption(int option, int value) override
    {
        return record(QStringLiteral("SetOption %1 %2").arg(option).arg(value));
    }
    int NMailEndWinSock() override { return record(QStringLiteral("EndWinSock")); }
    int NMailPop3Connect(const QString &server) override
    {
        record("Connect " + server);
        return connectResult;
    }
    int NMailPop3Authenticate(int handle, const QString &id, const QString &password, int apop) override
    {
        record(QStringLiteral("Authenticate %1 %2 %3 %4").arg(handle).arg(id, password).arg(apop));
        return authenticateResult;
    }
    int NMailPop3GetMailStatus(int handle, int number, QString &, QString &, QString &, QString &, int) override
    {
        return record(QStringLiteral("Status %1 %2").arg(handle).arg(number), true);
    }
    int NMailPop3GetMailSize(int handle, int number) override
    {
        const int gone = record(QStringLiteral("Size %1 %2").arg(handle).arg(number), true);
        return gone ? gone : sizes.value(number - 1, 100);
    }
    int NMailPop3GetMail(int h, int n, QString &, QString &, QString &, QString &, QByteArray &body, int, int) override
    {
        return record(QStringLiteral("Mail %1 %2 %3").arg(h).arg(n).arg(body.size()), true);
    }
    // Writes like the real library: the text, a NUL, the rest of the buffer untouched.
    int NMailGetMessage(int code, QString &buffer, int &length) override
    {
        record(QStringLiteral("GetMessage %1 %2").arg(code).arg(length));
        buffer.replace(0, errorText.size() + 1, errorText + QChar(u'\0'));
        return length = int(errorText.size());
    }
    int NMailPop3Close(int handle) override { return record(QStringLiteral("Close %1").arg(handle)); }
    void abort() override {} // its calls never wait

private:
    int record(const QString &call, bool onMessage = false)
    {
        m_log << call;
        return onMessage && goneFrom > 0 && ++m_messageCalls >= goneFrom ? ConnectionGone : 0;
    }

    QStringList &m_log;
    int m_messageCalls = 0;
};
