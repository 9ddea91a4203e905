#include "NMail.h"

#include "CallerBuffer.h"
#include "NMailLibrary.h"

int NMailInitializeWinSock()
{
    NMailLibrary::instance();
    return 0;
}

int NMailSetOption(int option, int value)
{
    return NMailLibrary::instance().setOption(option, value);
}

int NMailPop3Connect(const QString &server)
{
    return NMailLibrary::instance().connect(server);
}

int NMailPop3Authenticate(int handle, const QString &id, const QString &password, int apop)
{
    return NMailLibrary::instance().authenticate(handle, id, password, apop != 0);
}

int NMailPop3GetMailStatus(int handle, int number, QString &buffer1, QString &buffer2, QString &buffer3,
                           QString &buffer4, int /*flag*/)
{
    return NMailLibrary::instance().mailStatus(handle, number, buffer1, buffer2, buffer3, buffer4);
}

int NMailPop3GetMailSize(int handle, int number)
{
    return NMailLibrary::instance().mailSize(handle, number);
}

int NMailPop3GetMail(int handle, int number, QString &buffer1, QString &buffer2, QString &buffer3, QString &buffer4,
                     QByteArray &body, int /*flag1*/, int /*flag2*/)
{
    return NMailLibrary::instance().mail(handle, number, buffer1, buffer2, buffer3, buffer4, body);
}

int NMailGetMessage(int code, QString &buffer, int &length)
{
    if (length <= 0 || buffer.isEmpty())
        return -static_cast<int>(Pop3Error::BadArgument);
    length = int(CallerBuffer::writeText(buffer, NMailLibrary::instance().message(code), length));
    return length;
}

int NMailPop3Close(int handle)
{
    return NMailLibrary::instance().close(handle);
}

int NMailEndWinSock()
{
    NMailLibrary::instance().closeAll();
    return 0;
}
