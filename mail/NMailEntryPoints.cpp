#include "NMailEntryPoints.h"

#include "NMail.h"

int NMailEntryPoints::NMailInitializeWinSock()
{
    return ::NMailInitializeWinSock();
}

int NMailEntryPoints::NMailSetOption(int option, int value)
{
    return ::NMailSetOption(option, value);
}

int NMailEntryPoints::NMailEndWinSock()
{
    return ::NMailEndWinSock();
}

int NMailEntryPoints::NMailPop3Connect(const QString &server)
{
    return ::NMailPop3Connect(server);
}

int NMailEntryPoints::NMailPop3Authenticate(int handle, const QString &id, const QString &password, int apop)
{
    return ::NMailPop3Authenticate(handle, id, password, apop);
}

int NMailEntryPoints::NMailPop3GetMailStatus(int handle, int number, QString &buffer1, QString &buffer2,
                                             QString &buffer3, QString &buffer4, int flag)
{
    return ::NMailPop3GetMailStatus(handle, number, buffer1, buffer2, buffer3, buffer4, flag);
}

int NMailEntryPoints::NMailPop3GetMailSize(int handle, int number)
{
    return ::NMailPop3GetMailSize(handle, number);
}

int NMailEntryPoints::NMailPop3GetMail(int handle, int number, QString &buffer1, QString &buffer2, QString &buffer3,
                                       QString &buffer4, QByteArray &body, int flag1, int flag2)
{
    return ::NMailPop3GetMail(handle, number, buffer1, buffer2, buffer3, buffer4, body, flag1, flag2);
}

int NMailEntryPoints::NMailGetMessage(int code, QString &buffer, int &length)
{
    return ::NMailGetMessage(code, buffer, length);
}

int NMailEntryPoints::NMailPop3Close(int handle)
{
    return ::NMailPop3Close(handle);
}
