#include "ColourButton.h"

#include <QEvent>
#include <QPainter>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <QTextOption>

ColourButton::ColourButton(const QString &caption, const QColor &background, QWidget *parent)
    : QPushButton(caption, parent), m_background(background)
{
    setAutoDefault(false);
}

bool ColourButton::event(QEvent *event)
{
    const bool handled = QPushButton::event(event);
    // The face fills the whole button, so nothing under it need be painted first, and a caption scrolling
    // under its edge need not repaint it. Polishing clears the attribute, so it is set afterwards.
    if (event->type() == QEvent::Polish || event->type() == QEvent::StyleChange)
        setAttribute(Qt::WA_OpaquePaintEvent, m_background.alpha() == 255);
    return handled;
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
