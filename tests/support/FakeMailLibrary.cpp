#include "FakeMailLibrary.h"

int FakeMailLibrary::NMailInitializeWinSock()
{
    m_log << QStringLiteral("InitializeWinSock");
    return 0;
}

int FakeMailLibrary::NMailSetOption(int option, int value)
{
    m_log << QStringLiteral("SetOption %1 %2").arg(option).arg(value);
    return 0;
}

int FakeMailLibrary::NMailEndWinSock()
{
    m_log << QStringLiteral("EndWinSock");
    return 0;
}

int FakeMailLibrary::NMailPop3Connect(const QString &server)
{
    m_log << QStringLiteral("Connect %1").arg(server);
    return connectResult;
}

int FakeMailLibrary::NMailPop3Authenticate(int handle, const QString &id, const QString &password, int apop)
{
    m_log << QStringLiteral("Authenticate %1 %2 %3 %4").arg(handle).arg(id, password).arg(apop);
    if (duringAuthenticate)
        duringAuthenticate();
    return authenticateResult;
}

int FakeMailLibrary::NMailPop3GetMailStatus(int handle, int number, QString &buffer1, QString &buffer2,
                                            QString &buffer3, QString &buffer4, int flag)
{
    m_log << QStringLiteral("GetMailStatus %1 %2 %3").arg(handle).arg(number).arg(flag);
    Q_UNUSED(buffer1);
    Q_UNUSED(buffer2);
    Q_UNUSED(buffer3);
    Q_UNUSED(buffer4);
    return gone() ? ConnectionGone : 0;
}

int FakeMailLibrary::NMailPop3GetMailSize(int handle, int number)
{
    m_log << QStringLiteral("GetMailSize %1 %2").arg(handle).arg(number);
    if (gone())
        return ConnectionGone;
    return number - 1 < sizes.size() ? sizes[number - 1] : 100;
}

int FakeMailLibrary::NMailPop3GetMail(int handle, int number, QString &buffer1, QString &buffer2, QString &buffer3,
                                      QString &buffer4, QByteArray &body, int flag1, int flag2)
{
    m_log << QStringLiteral("GetMail %1 %2 %3 %4").arg(handle).arg(number).arg(flag1).arg(flag2);
    bodyCapacities << body.size();
    Q_UNUSED(buffer1);
    Q_UNUSED(buffer2);
    Q_UNUSED(buffer3);
    Q_UNUSED(buffer4);
    return gone() ? ConnectionGone : 0;
}

int FakeMailLibrary::NMailGetMessage(int code, QString &buffer, int &length)
{
    m_log << QStringLiteral("GetMessage %1 %2").arg(code).arg(length);
    // Write like the real library: text, a NUL, the rest of the buffer untouched.
    const QString text = errorText.left(buffer.size() - 1);
    buffer.replace(0, text.size(), text);
    buffer[text.size()] = QChar(u'\0');
    length = int(text.size());
    return length;
}

int FakeMailLibrary::NMailPop3Close(int handle)
{
    m_log << QStringLiteral("Close %1").arg(handle);
    return 0;
}
