#pragma once

#include <QString>

// Where the program's files lie: the program folder is the folder of the executable, or the folder
// named by PORONICA_PROGRAM_FOLDER, which the installed launcher sets to the user's own folder because
// the installed one is not writable. Paths under it are that folder, the separator and the relative
// path, so at the root folder the separator is doubled, which the file system accepts.
class ProgramPaths final {
public:
    static QString folder();
    static void setFolder(const QString &folder); // tests run the forms against a folder of their own

    static QString checkSettingsFile();              // ★MailData/ini.ini
    static QString accountFile();                    // ★MailData/iniIdPass.ini
    static QString folderSettingsFile();             // ini.ini in the program folder itself
    static QString pictureFile(const QString &name); // 画像データ/<name>

    static inline const char FolderVariable[] = "PORONICA_PROGRAM_FOLDER";
    static inline const QString DataFolderName = QStringLiteral("★MailData");
    static inline const QString PictureFolderName = QStringLiteral("画像データ");
};
