#include "NoticePage.h"

#include "ProgramPaths.h"

#include <QDir>

QUrl NoticePage::address(const QString &programFolder)
{
    // The folder and the file name are joined with the platform's separator; at the root folder the
    // separator comes twice, which the file system accepts but a file URL would read as a host name.
    const QString path = programFolder + QDir::separator() + ProgramPaths::PictureFolderName + QDir::separator() +
                         QStringLiteral("tokonoma.html");
    return QUrl::fromLocalFile(QDir::cleanPath(QDir::fromNativeSeparators(path)));
}
