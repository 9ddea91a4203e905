#include "TestFolder.h"

#include "ProgramPaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

TestFolder::TestFolder() : m_previousCurrent(QDir::currentPath())
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

QString TestFolder::dataFile(const QString &name) const
{
    return m_program.path() + u'/' + ProgramPaths::DataFolderName + u'/' + name;
}

QString TestFolder::absolute(const QString &path) const
{
    return QFileInfo(path).isAbsolute() ? path : m_program.path() + u'/' + path;
}

void TestFolder::write(const QString &path, const QByteArray &bytes) const
{
    QFile file(absolute(path));
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes);
}

QByteArray TestFolder::read(const QString &path) const
{
    QFile file(absolute(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool TestFolder::exists(const QString &path) const
{
    return QFileInfo::exists(absolute(path));
}
