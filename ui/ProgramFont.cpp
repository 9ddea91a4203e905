#include "ProgramFont.h"

#include <QApplication>
#include <QFont>

void ProgramFont::apply()
{
    QFont font = QApplication::font();
    font.setFamilies(
        {QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("IPAPGothic"), QStringLiteral("Noto Sans CJK JP")});
    font.setPointSizeF(9);
    QApplication::setFont(font);
}
