#pragma once

#include "MailLibrary.h"
#include "Pop3Error.h"
#include "Pop3Settings.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <memory>
#include <vector>

class Pop3Session;

// The mail library over our POP3 session: open sessions by handle, the options for new ones and the
// text of the last failure. The contract of each entry point is in MailLibrary.h.
class NMailLibrary final : public MailLibrary {
public:
    NMailLibrary();
    ~NMailLibrary() override;

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
    void abort() override;

private:
    Pop3Session *session(int handle);
    int fail(Pop3Error error, const QString &text);
    int fail(const Pop3Session &session);
    QString message(int code) const;
    static void fillTexts(const QByteArray &rawHeader, QString &subject, QString &from, QString &date, QString &header);

    std::atomic_bool m_stop = false;
    Pop3Settings m_settings;
    std::vector<std::unique_ptr<Pop3Session>> m_sessions; // index = handle
    QString m_lastError;
};
