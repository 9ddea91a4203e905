#pragma once

// What the scripted-server tests of the mail library share: sample mail, the buffers the
// program passes, and the walk over a mailbox that the check cycle makes.

#include "MailLimits.h"
#include "NMailLibrary.h"
#include "ScriptedPop3Server.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

using Reply = ScriptedPop3Server::Reply;
using Commands = QList<QByteArray>;

// One library for the whole test program, as the program has one.
inline NMailLibrary &mail()
{
    static NMailLibrary library;
    return library;
}
Q_DECLARE_METATYPE(ScriptedPop3Server::Reply)

inline QByteArray sampleMessage(int number)
{
    return "Subject: message " + QByteArray::number(number) +
           "\r\nFrom: sender@example.jp\r\n"
           "Date: Sat, 7 Dec 2024 10:00:00 +0900\r\n\r\nline one\r\n.starts with a dot\r\n.\r\nlast\r\n";
}

inline QString upToNul(const QString &buffer)
{
    return buffer.left(buffer.indexOf(QChar(0)));
}

inline QString lastError()
{
    QString buffer(8192, u' ');
    int length = 8192;
    mail().NMailGetMessage(0, buffer, length);
    return buffer.left(length);
}

struct Texts {
    QString subject = QString(8192, u' ');
    QString from = QString(8192, u' ');
    QString date = QString(8192, u' ');
    QString header = QString(8192, u' ');
};

// What the check cycle does with every message: status, size, then the whole message.
inline QList<QByteArray> walk(int handle, int count, QStringList *subjects = nullptr)
{
    QList<QByteArray> bodies;
    Texts texts;
    for (int number = 1; number <= count; ++number) {
        mail().NMailPop3GetMailStatus(handle, number, texts.subject, texts.from, texts.date, texts.header, 0);
        if (subjects)
            *subjects << upToNul(texts.subject);
        const int size = mail().NMailPop3GetMailSize(handle, number);
        QByteArray body(qBound<qint64>(0, qint64(size), MaxBodyBufferBytes) + 1, ' ');
        const int length =
            mail().NMailPop3GetMail(handle, number, texts.subject, texts.from, texts.date, texts.header, body, 0, 0);
        bodies << body.left(qMax(length, 0));
    }
    return bodies;
}

inline Commands walkCommands(const QList<QByteArray> &messages)
{
    Commands commands;
    for (int n = 1; n <= messages.size(); ++n) {
        const QByteArray number = QByteArray::number(n);
        commands << "TOP " + number + " 0"
                 << "LIST " + number << "TOP " + number + ' ' + QByteArray::number(messages[n - 1].size());
    }
    return commands;
}
