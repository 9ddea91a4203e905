#include "ProgramPaths.h"

#include <QCoreApplication>
#include <QDir>

namespace {

QString &folderOverride()
{
    static QString folder;
    return folder;
}

QString under(const QString &relative)
{
    return ProgramPaths::folder() + QDir::separator() + relative;
}

} // namespace

QString ProgramPaths::folder()
{
    if (!folderOverride().isEmpty())
        return folderOverride();
    const QString named = qEnvironmentVariable(FolderVariable);
    if (!named.isEmpty())
        return QDir::toNativeSeparators(QDir::cleanPath(QDir::current().absoluteFilePath(named)));
    return QDir::toNativeSeparators(QCoreApplication::applicationDirPath());
}

void ProgramPaths::setFolder(const QString &folder)
{
    folderOverride() = folder;
}

QString ProgramPaths::checkSettingsFile()
{
    return under(DataFolderName + QDir::separator() + QStringLiteral("ini.ini"));
}

QString ProgramPaths::accountFile()
{
    return under(DataFolderName + QDir::separator() + QStringLiteral("iniIdPass.ini"));
}

QString ProgramPaths::folderSettingsFile()
{
    QString path = folder();
    if (!path.endsWith(QDir::separator()))
        path += QDir::separator();
    return path + QStringLiteral("ini.ini");
}

QString ProgramPaths::pictureFile(const QString &name)
{
    return under(PictureFolderName + QDir::separator() + name);
}
