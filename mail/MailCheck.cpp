#include "MailCheck.h"

#include "CheckHost.h"
#include "MailLibrary.h"
#include "MailLimits.h"
#include "ProfileFile.h"
#include "ProgramPaths.h"
#include "SettingsKeys.h"
#include "TrimAtNull.h"

#include <QByteArray>
#include <QFileInfo>
#include <QProcess>
#include <QString>

namespace {

// Only blanks are removed around the path; other white space belongs to it.
QString withoutSurroundingSpaces(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == u' ')
        ++begin;
    while (end > begin && text[end - 1] == u' ')
        --end;
    return text.mid(begin, end - begin);
}

} // namespace

QStringList MailCheck::mailProgramCommand(const QString &text)
{
    if (QFileInfo(text).isFile())
        return {text};
    return QProcess::splitCommand(text);
}

qsizetype MailCheck::bodyBufferLength(int reportedSize)
{
    return static_cast<qsizetype>(qBound<qint64>(0, qint64(reportedSize) + 1, MaxBodyBufferBytes));
}

void MailCheck::walk(MailLibrary &library, int handle, int count, QString &buffer1, QString &buffer2, QString &buffer3,
                     QString &buffer4)
{
    // What the calls return is of no interest, except that a connection found gone ends the walk: every
    // further call would fail too, and the server may have announced any number of messages.
    constexpr int gone = MailLibrary::ConnectionGone;
    for (int number = 1; number <= count; ++number) {
        if (library.NMailPop3GetMailStatus(handle, number, buffer1, buffer2, buffer3, buffer4, 0) == gone)
            return;
        const int size = library.NMailPop3GetMailSize(handle, number);
        if (size == gone)
            return;
        QByteArray body(bodyBufferLength(size), ' ');
        if (library.NMailPop3GetMail(handle, number, buffer1, buffer2, buffer3, buffer4, body, 0, 0) == gone)
            return;
    }
}

void MailCheck::run(MailLibrary &library, CheckHost &host)
{
    // Allocated once per check and reused for every message.
    QString buffer1(TextBufferLength, QChar(u'\0'));
    QString buffer2(TextBufferLength, QChar(u'\0'));
    QString buffer3(TextBufferLength, QChar(u'\0'));
    QString buffer4(TextBufferLength, QChar(u'\0'));
    int count = 0;

    // What waits on the server runs off the window's thread; what the user sees, between those parts.
    const QString server = host.serverSettings().pop3;
    if (!server.isEmpty()) {
        int handle = -1;
        if (!host.offThread([&] { handle = library.NMailPop3Connect(server); }))
            return;
        if (handle != -1) {
            // The account is read only once the server has answered, so a check without a server reads no file.
            const ProfileFile accountFile(ProgramPaths::accountFile());
            const QString id = accountFile.readString(SettingsKeys::UserId);
            const QString password = accountFile.readString(SettingsKeys::Password);
            host.setAccount(id, password);

            if (id.isEmpty() || password.isEmpty()) {
                host.showAccountDialog();
            } else {
                const int apop = host.serverSettings().apop != 0 ? -1 : 0;
                const bool done = host.offThread([&] {
                    count = library.NMailPop3Authenticate(handle, id, password, apop);
                    walk(library, handle, count, buffer1, buffer2, buffer3, buffer4);
                    if (count < 0) {
                        int length = TextBufferLength;
                        library.NMailGetMessage(0, buffer1, length);
                    }
                });
                if (!done)
                    return;
                if (count < 0)
                    host.showLoginError(TrimAtNull(buffer1));
            }
            if (!host.offThread([&] { library.NMailPop3Close(handle); }))
                return;
        }
    }

    if (count > 0) {
        if (host.startsMailProgram()) {
            const QString path = host.mailProgramPath();
            if (path != SettingsKeys::NotSet)
                host.startMailProgram(withoutSurroundingSpaces(path));
        } else {
            host.showNewMail(count);
        }
    }

    if (host.hangUpChoice() == 1)
        host.hangUp();
}
