#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// One run of the real program: a fresh copy of the built program folder (its ★MailData emptied) and
// a separate empty current directory, both temporary. The program is stopped when this is destroyed.
class ProgramRun final {
public:
    // The built program folder, handed over by CMake in PORONICA_PROGRAM_DIR.
    static QString builtFolder();

    ProgramRun() = default;
    ~ProgramRun();

    ProgramRun(const ProgramRun &) = delete;
    ProgramRun &operator=(const ProgramRun &) = delete;

    bool prepare(QString *why);
    QString programFolder() const;
    QString currentFolder() const;

    // Byte for byte; a relative path is taken from the program folder, "./x" from the current one.
    bool write(const QString &path, const QByteArray &bytes) const;
    QByteArray read(const QString &path) const;
    bool exists(const QString &path) const;

    bool start(const QString &display, QString *why);
    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }
    qint64 pid() const { return m_process.processId(); }
    bool waitForExit(int timeoutMs);
    bool exitedNormally() const;
    int exitCode() const { return m_process.exitCode(); }
    // Everything it printed so far.
    QByteArray output();
    // Lines of the output that tell of a crash, an abort or a sanitizer report.
    QStringList crashSigns();
    void stop();

private:
    QString absolute(const QString &path) const;

    QTemporaryDir m_dir;
    QProcess m_process;
    QByteArray m_output;
};
