#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

// A fresh program folder (with its empty ★MailData) and a separate current directory for one test;
// ProgramPaths and the current directory point at them while the object lives.
class TestFolder final {
public:
    TestFolder();
    ~TestFolder();

    QString programFolder() const { return m_program.path(); }
    QString currentFolder() const { return m_current.path(); }
    QString dataFile(const QString &name) const;

    // Writes a file byte for byte; the path is relative to the program folder unless absolute.
    void write(const QString &path, const QByteArray &bytes) const;
    QByteArray read(const QString &path) const;
    bool exists(const QString &path) const;

private:
    QString absolute(const QString &path) const;

    QTemporaryDir m_program;
    QTemporaryDir m_current;
    QString m_previousCurrent;
};
