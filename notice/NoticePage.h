#pragma once

#include <QUrl>

// The address of the notice page in the picture folder under the program folder.
class NoticePage final {
public:
    static QUrl address(const QString &programFolder);
};
