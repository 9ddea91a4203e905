#include "ScrollBanner.h"

#include <QEvent>
#include <QLabel>
#include <QPaintEvent>
#include <QPainter>

ScrollBanner::ScrollBanner(const QPixmap &picture, QWidget *parent) : QWidget(parent), m_picture(picture)
{
    // paintEvent fills every pixel it is asked for.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void ScrollBanner::setCaption(QLabel *caption)
{
    if (m_caption)
        m_caption->removeEventFilter(this);
    m_caption = caption;
    m_captionPicture = QPixmap();
    if (caption) {
        caption->hide();
        caption->installEventFilter(this);
    }
    update();
}

bool ScrollBanner::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_caption) {
        switch (event->type()) {
        case QEvent::FontChange:
        case QEvent::PaletteChange:
            m_captionPicture = QPixmap();
            update(m_caption->geometry());
            break;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

// Paints at once: an update would post an event and cost the event loop one more pass, 50 times a second.
void ScrollBanner::moveCaption(QPoint position)
{
    if (!m_caption)
        return;
    const QRect before = m_caption->geometry();
    m_caption->move(position);
    repaint(before.united(m_caption->geometry()));
}

void ScrollBanner::refreshCaptionPicture()
{
    const qreal ratio = devicePixelRatioF();
    const QSize size = m_caption->size() * ratio;
    if (!m_captionPicture.isNull() && m_captionPicture.size() == size && m_captionPicture.devicePixelRatio() == ratio &&
        m_caption->text() == m_captionText)
        return;
    m_captionText = m_caption->text();
    m_captionPicture = QPixmap(size);
    m_captionPicture.setDevicePixelRatio(ratio);
    m_captionPicture.fill(Qt::transparent);
    m_caption->render(&m_captionPicture, QPoint(), QRegion(), QWidget::RenderFlags());
}

void ScrollBanner::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    const QRect area = event->rect();
    if (!QRectF(QPointF(), m_picture.deviceIndependentSize()).contains(area))
        painter.fillRect(area, palette().window());
    painter.drawPixmap(
        area.topLeft(), m_picture,
        QRectF(area.topLeft() * m_picture.devicePixelRatio(), QSizeF(area.size()) * m_picture.devicePixelRatio()));
    if (m_caption && area.intersects(m_caption->geometry())) {
        refreshCaptionPicture();
        painter.drawPixmap(m_caption->pos(), m_captionPicture);
    }
}
