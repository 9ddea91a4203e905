#pragma once

#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

// A real Dovecot POP3 server on 127.0.0.1, run by dovecot.sh in a temporary folder: plain POP3 and implicit TLS
// on ports of their own, APOP, a certificate for 127.0.0.1, a maildir per user and a log.
class DovecotServer final {
public:
    static QString executable() { return QStringLiteral("/usr/sbin/dovecot"); }
    static bool isInstalled() { return QFile::exists(executable()); }

    DovecotServer();
    ~DovecotServer() { stop(); }

    void addUser(const QString &user, const QString &password) { m_users << user + u':' + password; } // before start()
    void addMessage(const QString &user, const QByteArray &message); // POP3 numbers follow the order of the calls
    bool start(QString *why = nullptr);                              // and wait for the greeting
    void stop();

    quint16 plainPort() const { return m_plainPort; }
    quint16 tlsPort() const { return m_tlsPort; }
    QString certificatePath() const { return m_dir.filePath(QStringLiteral("cert.pem")); }
    QString log() const;
    // The log lines that hold text, once there are count of them or ten seconds have passed: Dovecot writes some
    // lines, such as a session's "Logged out", only after the client has gone.
    QStringList waitForLog(const QString &text, int count) const;

private:
    QTemporaryDir m_dir{QStringLiteral("/tmp/dovecot-XXXXXX")}; // short: Dovecot's sockets live under it
    QProcess m_process;
    QStringList m_users;
    quint16 m_plainPort = 0;
    quint16 m_tlsPort = 0;
    int m_delivered = 0;
};
