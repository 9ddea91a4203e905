#include "TestFolder.h"

#include <sys/stat.h>
#include <unistd.h>

TestFolder::TestFolder()
{
    QDir(m_program.path()).mkdir(ProgramPaths::DataFolderName);
    ProgramPaths::setFolder(m_program.path());
    QDir::setCurrent(m_current.path());
}

TestFolder::~TestFolder()
{
    QDir::setCurrent(m_previousCurrent);
    ProgramPaths::setFolder(QString());
}

void TestFolder::write(const QString &path, const QByteArray &bytes) const
{
    QFile file(this->path(path));
    const bool done = bytes.isNull() ? !file.exists() || file.remove()
                                     : file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    if (!done)
        qWarning("TestFolder: cannot write %s", qPrintable(file.fileName()));
}

QByteArray TestFolder::read(const QString &path) const
{
    QFile file(this->path(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

int TestFolder::mode(const QString &path)
{
    struct stat status {};
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 ? int(status.st_mode & 07777) : -1;
}

bool TestFolder::asNobody(const std::function<void()> &work)
{
    // Both the real and the effective ids change, since access() goes by the real one; the saved id is the way back.
    const bool root = geteuid() == 0;
    if (root && (setresgid(65534, 65534, 0) != 0 || setresuid(65534, 65534, 0) != 0))
        return false;
    work();
    if (root && (setresuid(0, 0, 0) != 0 || setresgid(0, 0, 0) != 0))
        qFatal("TestFolder: cannot switch back from nobody"); // every later test would mean something else
    return true;
}
