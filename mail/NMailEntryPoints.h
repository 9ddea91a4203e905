#pragma once

#include "MailLibrary.h"

// The real mail library behind the check's interface.
class NMailEntryPoints final : public MailLibrary {
public:
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
};
