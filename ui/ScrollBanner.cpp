#include "ScrollBanner.h"

#include "XRenderSurface.h"

#include <QEvent>
#include <QGuiApplication>
#include <QImage>
#include <QMoveEvent>
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

ScrollBanner::ScrollBanner(QWidget *parent) : QLabel(parent), m_holder(new QWidget(this))
{
    m_holder->setObjectName(QStringLiteral("CaptionHolder"));
    m_holder->setGeometry(0, 0, 0, 0);
    m_holder->installEventFilter(this);
    if (QGuiApplication::platformName() == u"xcb") {
        setAttribute(Qt::WA_NativeWindow);
        setAttribute(Qt::WA_DontCreateNativeAncestors);
    }
}

ScrollBanner::~ScrollBanner() = default;

void ScrollBanner::setPicture(const QPixmap &picture)
{
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setPixmap(picture);
    forgetPictureOnServer();
    updateOpacity();
}

void ScrollBanner::updateOpacity()
{
    m_pictureCovers = pictureCoversBanner();
    setAttribute(Qt::WA_OpaquePaintEvent, m_pictureCovers);
    // The server draws what the banner shows only when that is the picture and the caption.
    setAttribute(Qt::WA_PaintOnScreen, m_pictureCovers && m_surface);
}

QPaintEngine *ScrollBanner::paintEngine() const
{
    return testAttribute(Qt::WA_PaintOnScreen) ? nullptr : QLabel::paintEngine();
}

void ScrollBanner::setUpServerDrawing()
{
    m_surface.reset();
    m_pictureOnServer = 0;
    m_captionOnServer = 0;
    if (testAttribute(Qt::WA_NativeWindow) && internalWinId())
        m_surface = XRenderSurface::create(this);
    updateOpacity();
}

void ScrollBanner::forgetPictureOnServer()
{
    if (m_surface)
        m_surface->release(m_pictureOnServer);
    m_pictureOnServer = 0;
}

void ScrollBanner::forgetCaptionOnServer()
{
    if (m_surface)
        m_surface->release(m_captionOnServer);
    m_captionOnServer = 0;
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
    forgetPictureOnServer();
    updateOpacity();
    QLabel::resizeEvent(event);
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
    else if (event->type() == QEvent::WinIdChange)
        setUpServerDrawing();
    return QLabel::event(event);
}

bool ScrollBanner::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_holder) {
        // The caption's text changed: a child asks its parent for a new layout then.
        if (event->type() == QEvent::LayoutRequest && m_caption)
            repaintCaption(m_caption->geometry());
    } else if (watched == m_caption) {
        switch (event->type()) {
        case QEvent::Move:
            repaintCaption(QRect(static_cast<QMoveEvent *>(event)->oldPos(), m_caption->size()));
            break;
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
    return QLabel::eventFilter(watched, event);
}

// Paints the caption's pixels where they were and where they are now, at once: the caption moves every 20 ms,
// and waiting for the next pass of the event loop would cost a wake-up of its own.
void ScrollBanner::repaintCaption(const QRect &oldGeometry)
{
    if (!isVisible() || !m_caption)
        return;
    const QRect oldInk = m_ink.translated(oldGeometry.topLeft());
    refreshRendering();
    const QRect newInk = m_caption->isHidden() ? QRect() : m_ink.translated(m_caption->pos());
    if (testAttribute(Qt::WA_PaintOnScreen)) {
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
    forgetCaptionOnServer();
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

void ScrollBanner::drawOnServer(const QRegion &region)
{
    const qreal ratio = devicePixelRatioF();
    const auto toDevice = [ratio](const QRect &area) {
        return QRectF(QPointF(area.topLeft()) * ratio, QSizeF(area.size()) * ratio).toAlignedRect();
    };
    const QRect banner = toDevice(rect());
    if (ratio != m_pictureOnServerRatio)
        forgetPictureOnServer();
    if (!m_pictureOnServer) {
        m_pictureOnServerRatio = ratio;
        QImage picture(banner.size(), QImage::Format_RGB32);
        picture.setDevicePixelRatio(ratio);
        QPainter painter(&picture);
        painter.drawPixmap(0, 0, pixmap());
        painter.end();
        m_pictureOnServer = m_surface->upload(picture);
    }
    const bool showsCaption = m_caption && !m_caption->isHidden() && !m_caption->size().isEmpty();
    if (showsCaption) {
        refreshRendering();
        if (!m_captionOnServer)
            m_captionOnServer = m_surface->upload(m_rendering.toImage());
    }
    const QPoint captionAt = showsCaption ? toDevice(QRect(m_caption->pos(), QSize())).topLeft() : QPoint();
    const QRect captionArea = showsCaption ? QRect(captionAt, m_rendering.size()) : QRect();
    for (const QRect &area : region) {
        const QRect target = toDevice(area).intersected(banner);
        m_surface->draw(m_pictureOnServer, target.topLeft(), target, false);
        const QRect over = target.intersected(captionArea);
        if (!over.isEmpty())
            m_surface->draw(m_captionOnServer, over.topLeft() - captionAt, over, true);
    }
    m_surface->flush();
}

void ScrollBanner::paintEvent(QPaintEvent *event)
{
    // Painted on screen, the banner is drawn by the server; a grab paints it through Qt into a picture.
    if (testAttribute(Qt::WA_PaintOnScreen) && !redirected(nullptr) && !sharedPainter()) {
        drawOnServer(event->region());
        return;
    }
    const bool showsCaption = m_caption && !m_caption->isHidden() && !m_caption->size().isEmpty();
    if (showsCaption)
        refreshRendering();
    const bool paintsCaption = showsCaption && event->region().intersects(m_ink.translated(m_caption->pos()));

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
