#include "ColourButton.h"

#include <QPainter>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <QTextOption>

ColourButton::ColourButton(const QString &caption, const QColor &background, QWidget *parent)
    : QPushButton(caption, parent), m_background(background)
{
    setAutoDefault(false);
}

void ColourButton::paintEvent(QPaintEvent *)
{
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    option.text.clear();
    option.palette.setColor(QPalette::Button, m_background);
    painter.fillRect(rect(), m_background);
    painter.drawControl(QStyle::CE_PushButtonBevel, option);

    QTextOption textOption(Qt::AlignCenter);
    textOption.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
    const QRect area = rect().adjusted(1, 2, -1, -2).translated(isDown() ? QPoint(1, 1) : QPoint());
    painter.drawText(area, text(), textOption);
}
