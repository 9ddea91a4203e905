#include "ProgramFont.h"

#include <QApplication>

QFont ProgramFont::font(qreal pointSize, bool bold)
{
    QFont font = QApplication::font();
    font.setFamilies(
        {QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("IPAPGothic"), QStringLiteral("Noto Sans CJK JP")});
    font.setPointSizeF(pointSize);
    font.setBold(bold);
    return font;
}

void ProgramFont::apply()
{
    QApplication::setFont(font(9));
}
