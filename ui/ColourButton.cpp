#include "ColourButton.h"

#include <QEvent>
#include <QPainter>
#include <QStyleOptionButton>
#include <QStylePainter>

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

    painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
    const QRect area = rect().adjusted(1, 2, -1, -2).translated(isDown() ? QPoint(1, 1) : QPoint());
    if (height() <= width()) {
        painter.drawText(area, Qt::AlignCenter, text());
        return;
    }
    // One character a line. Lines are as tall as the font's, closer when the column would not fit: the
    // glyphs' ink is smaller than their line, so six lines of a 9 pt font still fit 84 pixels.
    const QString caption = text();
    const qsizetype count = caption.size();
    const qreal line = qMin<qreal>(fontMetrics().height(), qreal(area.height()) / qMax<qsizetype>(count, 1));
    QRectF cell(area.left(), area.top() + (area.height() - line * count) / 2, area.width(), line);
    for (const QChar character : caption) {
        painter.drawText(cell, Qt::AlignCenter, QString(character));
        cell.translate(0, line);
    }
}
