#include "ScrollBanner.h"

#include <QEvent>
#include <QImage>
#include <QPaintEvent>
#include <QPainter>

namespace {

bool paintsItsWholeRect(const QWidget *widget)
{
    if (widget->testAttribute(Qt::WA_OpaquePaintEvent))
        return true;
    return widget->autoFillBackground() && widget->palette().brush(widget->backgroundRole()).isOpaque();
}

// What can change which part of the banner other widgets cover.
bool changesCover(QEvent::Type type)
{
    switch (type) {
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::Show:
    case QEvent::Hide:
    case QEvent::ParentChange:
    case QEvent::ZOrderChange:
    case QEvent::PaletteChange:
    case QEvent::ChildAdded:
    case QEvent::ChildRemoved:
        return true;
    default:
        return false;
    }
}

// The bounding rectangle of the pixels that are not fully transparent, in device-independent pixels.
QRect inkBounds(const QPixmap &rendering)
{
    const QImage image = rendering.toImage().convertToFormat(QImage::Format_ARGB32);
    int left = image.width();
    int right = -1;
    int top = image.height();
    int bottom = -1;
    for (int y = 0; y < image.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(line[x]) != 0) {
                left = qMin(left, x);
                right = qMax(right, x);
                top = qMin(top, y);
                bottom = qMax(bottom, y);
            }
        }
    }
    if (right < 0)
        return QRect();
    const qreal ratio = rendering.devicePixelRatio();
    return QRectF(QPointF(left, top) / ratio, QPointF(right + 1, bottom + 1) / ratio).toAlignedRect();
}

} // namespace

ScrollBanner::ScrollBanner(QWidget *parent) : ServerDrawnLabel(parent), m_holder(new QWidget(this))
{
    m_holder->setObjectName(QStringLiteral("CaptionHolder"));
    m_holder->setGeometry(0, 0, 0, 0);
    m_holder->hide();
}

void ScrollBanner::setPicture(const QPixmap &picture)
{
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setPixmap(picture);
    forgetBackground();
    updateOpacity();
}

void ScrollBanner::updateOpacity()
{
    m_pictureCovers = pictureCoversBanner();
    setAttribute(Qt::WA_OpaquePaintEvent, m_pictureCovers);
    updateServerDrawing();
}

bool ScrollBanner::showsOnlyPictures() const
{
    return m_pictureCovers;
}

QImage ScrollBanner::background() const
{
    const qreal ratio = devicePixelRatioF();
    QImage picture(QRectF(QPointF(), QSizeF(size()) * ratio).toAlignedRect().size(), QImage::Format_RGB32);
    picture.setDevicePixelRatio(ratio);
    QPainter painter(&picture);
    painter.drawPixmap(0, 0, pixmap());
    return picture;
}

void ScrollBanner::prepareToDraw()
{
    if (showsCaption())
        refreshRendering();
}

ScrollBanner::Overlay ScrollBanner::overlay() const
{
    if (!showsCaption())
        return {};
    return {m_renderings, m_caption->pos()};
}

QImage ScrollBanner::overlayImage(qint64) const
{
    return m_rendering.toImage();
}

bool ScrollBanner::showsCaption() const
{
    return m_caption && !m_caption->isHidden() && !m_caption->size().isEmpty();
}

bool ScrollBanner::pictureCoversBanner() const
{
    const QPixmap picture = pixmap();
    return !picture.isNull() && !picture.hasAlphaChannel() && text().isEmpty() && !movie() && !hasScaledContents() &&
           alignment() == (Qt::AlignLeft | Qt::AlignTop) && contentsRect() == rect() &&
           QRectF(QPointF(), picture.deviceIndependentSize()).contains(rect());
}

void ScrollBanner::resizeEvent(QResizeEvent *event)
{
    updateOpacity();
    ServerDrawnLabel::resizeEvent(event);
}

void ScrollBanner::setCaption(QLabel *caption)
{
    if (m_caption)
        m_caption->removeEventFilter(this);
    m_caption = caption;
    m_renderingStale = true;
    if (caption)
        caption->installEventFilter(this);
    update();
}

bool ScrollBanner::event(QEvent *event)
{
    if (changesCover(event->type()))
        m_uncoveredStale = true;
    if (event->type() == QEvent::ContentsRectChange)
        updateOpacity();
    return ServerDrawnLabel::event(event);
}

bool ScrollBanner::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_caption) {
        switch (event->type()) {
        case QEvent::Resize:
        case QEvent::FontChange:
        case QEvent::PaletteChange:
        case QEvent::StyleChange:
        case QEvent::EnabledChange:
        case QEvent::LayoutDirectionChange:
        case QEvent::Show:
        case QEvent::Hide:
            m_renderingStale = true;
            update();
            break;
        default:
            break;
        }
    } else if (changesCover(event->type())) {
        // An ancestor, or a widget that covers part of the banner.
        m_uncoveredStale = true;
    }
    return ServerDrawnLabel::eventFilter(watched, event);
}

void ScrollBanner::moveCaption(QPoint position)
{
    if (!m_caption)
        return;
    const QRect oldInk = showsCaption() ? m_ink.translated(m_caption->pos()) : QRect();
    m_caption->move(position);
    repaintCaption(oldInk);
}

// Paints the caption's pixels where they were and where they are now, at once: the caption moves every 20 ms,
// and waiting for the next pass of the event loop would cost a wake-up of its own.
void ScrollBanner::repaintCaption(const QRect &oldInk)
{
    if (!isVisible() || !m_caption)
        return;
    refreshRendering();
    const QRect newInk = showsCaption() ? m_ink.translated(m_caption->pos()) : QRect();
    if (drawnOnServer()) {
        // The banner is a window of its own: the X server clips it to what shows.
        drawOnServer(QRegion(oldInk).united(newInk).intersected(rect()));
        return;
    }
    const QRegion region = uncoveredRegion().intersected(QRegion(oldInk).united(newInk));
    if (!region.isEmpty())
        repaint(region);
}

void ScrollBanner::refreshRendering()
{
    const qreal ratio = devicePixelRatioF();
    if (!m_renderingStale && m_caption->text() == m_renderedText && m_caption->size() == m_renderedSize &&
        ratio == m_renderedRatio)
        return;
    m_renderedText = m_caption->text();
    m_renderedSize = m_caption->size();
    m_renderedRatio = ratio;
    m_renderingStale = false;
    forgetOverlays();
    ++m_renderings;
    m_rendering = QPixmap(m_renderedSize * ratio);
    m_rendering.setDevicePixelRatio(ratio);
    m_rendering.fill(Qt::transparent);
    m_caption->render(&m_rendering, QPoint(), QRegion(), QWidget::RenderFlags());
    m_ink = inkBounds(m_rendering);
}

const QRegion &ScrollBanner::uncoveredRegion()
{
    if (!m_uncoveredStale)
        return m_uncovered;
    // Opaque widgets above the banner or above one of its ancestors hide part of it. The ancestors and those
    // widgets are watched, so that the region is worked out again when any of them changes.
    m_uncovered = QRegion(rect());
    QWidget *widget = this;
    QPoint offset; // of the parent of widget, in the banner's coordinates
    while (!widget->isWindow() && widget->parentWidget()) {
        QWidget *parent = widget->parentWidget();
        parent->installEventFilter(this);
        offset -= widget->pos();
        const QObjectList &siblings = parent->children();
        for (qsizetype i = siblings.indexOf(widget) + 1; i < siblings.size(); ++i) {
            auto *sibling = qobject_cast<QWidget *>(siblings.at(i));
            if (sibling && !sibling->isWindow() && sibling->isVisible() && paintsItsWholeRect(sibling)) {
                const QRect covered = sibling->geometry().translated(offset);
                if (m_uncovered.intersects(covered)) {
                    m_uncovered -= covered;
                    sibling->installEventFilter(this);
                }
            }
        }
        widget = parent;
    }
    m_uncoveredStale = false;
    return m_uncovered;
}

void ScrollBanner::paintEvent(QPaintEvent *event)
{
    const bool captionShown = showsCaption();
    if (captionShown)
        refreshRendering();
    if (paintedOnServer(event))
        return;
    const bool paintsCaption = captionShown && event->region().intersects(m_ink.translated(m_caption->pos()));

    if (m_pictureCovers) {
        // One painter for the picture and the caption; QLabel would open one more and ask the style.
        QPainter painter(this);
        const QRect area = event->rect();
        const QPixmap picture = pixmap();
        const qreal ratio = picture.devicePixelRatio();
        painter.drawPixmap(QRectF(area), picture, QRectF(QPointF(area.topLeft()) * ratio, QSizeF(area.size()) * ratio));
        if (paintsCaption)
            painter.drawPixmap(m_caption->pos(), m_rendering);
        return;
    }

    // With neither picture nor text nor frame, QLabel would open a painter only to draw nothing.
    if (!pixmap().isNull() || !text().isEmpty() || movie() || frameShape() != QFrame::NoFrame)
        QLabel::paintEvent(event);
    if (!paintsCaption)
        return;
    QPainter painter(this);
    painter.drawPixmap(m_caption->pos(), m_rendering);
}
