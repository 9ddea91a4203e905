#pragma once

#include "Pop3Error.h"
#include "Pop3Settings.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <vector>

class Pop3Session;

// The state behind the NMail entry points: open sessions by handle, the options for new ones
// and the text of the last failure.
class NMailLibrary final {
public:
    static NMailLibrary &instance();

    NMailLibrary();
    ~NMailLibrary();

    int setOption(int option, int value);
    int connect(const QString &server);
    int authenticate(int handle, const QString &id, const QString &password, bool apop);
    int mailStatus(int handle, int number, QString &subject, QString &from, QString &date, QString &header);
    int mailSize(int handle, int number);
    int mail(int handle, int number, QString &subject, QString &from, QString &date, QString &header, QByteArray &body);
    int close(int handle);
    void closeAll();
    QString message(int code) const;

private:
    Pop3Session *session(int handle);
    int fail(Pop3Error error, const QString &text);
    int fail(const Pop3Session &session);
    static void fillTexts(const QByteArray &rawHeader, QString &subject, QString &from, QString &date, QString &header);

    Pop3Settings m_settings;
    std::vector<std::unique_ptr<Pop3Session>> m_sessions; // index = handle
    QString m_lastError;
};
