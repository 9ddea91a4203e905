#pragma once

#include <QByteArray>
#include <QString>

// The mail library's entry points, one virtual each, so that tests can replace the library and record
// the exact order of calls. NMailEntryPoints forwards to the real ones.
class MailLibrary {
public:
    virtual ~MailLibrary() = default;

    virtual int NMailInitializeWinSock() = 0;
    virtual int NMailSetOption(int option, int value) = 0;
    virtual int NMailEndWinSock() = 0;

    virtual int NMailPop3Connect(const QString &server) = 0;
    virtual int NMailPop3Authenticate(int handle, const QString &id, const QString &password, int apop) = 0;
    virtual int NMailPop3GetMailStatus(int handle, int number, QString &buffer1, QString &buffer2, QString &buffer3,
                                       QString &buffer4, int flag) = 0;
    virtual int NMailPop3GetMailSize(int handle, int number) = 0;
    virtual int NMailPop3GetMail(int handle, int number, QString &buffer1, QString &buffer2, QString &buffer3,
                                 QString &buffer4, QByteArray &body, int flag1, int flag2) = 0;
    virtual int NMailGetMessage(int code, QString &buffer, int &length) = 0;
    virtual int NMailPop3Close(int handle) = 0;
};
