#pragma once

#include "ProgramPaths.h"

#include <QDir>
#include <QTemporaryDir>

#include <functional>

// A fresh program folder (with its empty ★MailData) and a separate current directory for one test;
// ProgramPaths and the current directory point at them while the object lives. Also the tests' file helpers.
class TestFolder final {
public:
    TestFolder();
    ~TestFolder();

    QString programFolder() const { return m_program.path(); }
    QString currentFolder() const { return m_current.path(); }
    QString dataFile(const QString &name) const { return path(ProgramPaths::DataFolderName + u'/' + name); }

    // A path is relative to the program folder unless absolute. Null bytes remove the file.
    void write(const QString &path, const QByteArray &bytes) const;
    QByteArray read(const QString &path) const; // null when there is no file
    bool exists(const QString &name) const { return QFile::exists(path(name)); }

    static int mode(const QString &path); // the permission bits, -1 when there is no file
    // Runs work as the user nobody when running as root, whom no file mode stops, then back as root.
    static bool asNobody(const std::function<void()> &work);

private:
    QString path(const QString &name) const { return QDir(m_program.path()).filePath(name); }

    QTemporaryDir m_program;
    QTemporaryDir m_current;
    QString m_previousCurrent = QDir::currentPath();
};
