#include "ServerDrawnLabel.h"

#include "XRenderSurface.h"

#include <QEvent>
#include <QGuiApplication>
#include <QPaintEvent>
#include <QPainter>

#include <cmath>

namespace {

QRect toDevice(const QRect &area, qreal ratio)
{
    return QRectF(QPointF(area.topLeft()) * ratio, QSizeF(area.size()) * ratio).toAlignedRect();
}

// The picture in device pixels, drawn the way Qt would draw it on the label.
QImage inDevicePixels(const QImage &image, qreal ratio)
{
    if (image.isNull() || image.devicePixelRatio() == ratio)
        return image;
    const QSizeF size = image.deviceIndependentSize() * ratio;
    QImage scaled(QSizeF(size.width(), size.height()).toSize(), QImage::Format_ARGB32_Premultiplied);
    scaled.setDevicePixelRatio(ratio);
    scaled.fill(Qt::transparent);
    QPainter painter(&scaled);
    painter.drawImage(QPointF(), image);
    return scaled;
}

} // namespace

ServerDrawnLabel::ServerDrawnLabel(QWidget *parent) : QLabel(parent)
{
    if (QGuiApplication::platformName() == u"xcb") {
        setAttribute(Qt::WA_NativeWindow);
        setAttribute(Qt::WA_DontCreateNativeAncestors);
    }
}

ServerDrawnLabel::~ServerDrawnLabel() = default;

void ServerDrawnLabel::updateServerDrawing()
{
    // At a fractional scale Qt places pictures between device pixels, which the server would not match.
    const qreal ratio = devicePixelRatioF();
    const bool onServer = m_surface && showsOnlyPictures() && ratio == std::round(ratio);
    if (onServer == drawnOnServer())
        return;
    setAttribute(Qt::WA_PaintOnScreen, onServer);
    if (onServer) {
        // An update Qt has pending for the label may now be lost: draw it all at once.
        if (isVisible())
            drawOnServer(rect());
    } else if (parentWidget()) {
        // Qt's copy of the label's area went stale while the server drew it: have it painted afresh, with
        // what shows through from below.
        parentWidget()->update(geometry());
    }
    update();
}

bool ServerDrawnLabel::drawnOnServer() const
{
    return testAttribute(Qt::WA_PaintOnScreen);
}

void ServerDrawnLabel::forgetBackground()
{
    if (m_surface)
        m_surface->release(m_background);
    m_background = 0;
}

void ServerDrawnLabel::forgetOverlays()
{
    if (m_surface) {
        for (const Kept &kept : std::as_const(m_overlays))
            m_surface->release(kept.picture);
    }
    m_overlays.clear();
}

QPaintEngine *ServerDrawnLabel::paintEngine() const
{
    return drawnOnServer() ? nullptr : QLabel::paintEngine();
}

bool ServerDrawnLabel::event(QEvent *event)
{
    if (event->type() == QEvent::WinIdChange) {
        forgetBackground();
        forgetOverlays();
        m_surface.reset();
        if (testAttribute(Qt::WA_NativeWindow) && internalWinId())
            m_surface = XRenderSurface::create(this);
        updateServerDrawing();
    } else if (event->type() == QEvent::ScreenChangeInternal) {
        updateServerDrawing(); // the new screen may have another scale
    }
    return QLabel::event(event);
}

void ServerDrawnLabel::resizeEvent(QResizeEvent *event)
{
    forgetBackground();
    QLabel::resizeEvent(event);
}

bool ServerDrawnLabel::paintedOnServer(QPaintEvent *event)
{
    if (!drawnOnServer() || redirected(nullptr) || sharedPainter())
        return false;
    drawOnServer(event->region());
    return true;
}

void ServerDrawnLabel::drawOnServer(const QRegion &region)
{
    prepareToDraw();
    const qreal ratio = devicePixelRatioF();
    if (ratio != m_ratio) {
        forgetBackground();
        forgetOverlays();
        m_ratio = ratio;
    }
    if (!m_background)
        m_background = m_surface->upload(background());

    const Overlay shown = overlay();
    Kept kept;
    if (shown.key >= 0) {
        kept = m_overlays.value(shown.key);
        if (!kept.picture) {
            const QImage image = inDevicePixels(overlayImage(shown.key), ratio);
            kept = {m_surface->upload(image), image.size()};
            m_overlays.insert(shown.key, kept);
        }
    }
    const QPoint overlayAt = toDevice(QRect(shown.position, QSize()), ratio).topLeft();
    const QRect overlayArea = kept.picture ? QRect(overlayAt, kept.size) : QRect();
    const QRect label = toDevice(rect(), ratio);
    for (const QRect &area : region) {
        const QRect target = toDevice(area, ratio).intersected(label);
        m_surface->draw(m_background, target.topLeft(), target, false);
        const QRect over = target.intersected(overlayArea);
        if (!over.isEmpty())
            m_surface->draw(kept.picture, over.topLeft() - overlayAt, over, true);
    }
    m_surface->flush();
}
