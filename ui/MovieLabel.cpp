#include "MovieLabel.h"

#include <QDir>
#include <QFileInfo>
#include <QMovie>
#include <QPainter>
#include <QStyle>

namespace {

quint64 changeKey(int from, int to)
{
    return (quint64(quint32(from)) << 32) | quint32(to);
}

// The smallest rectangle holding every pixel that differs between two pictures of the same size.
QRect differingPixels(const QImage &before, const QImage &after)
{
    int left = after.width();
    int right = -1;
    int top = after.height();
    int bottom = -1;
    for (int y = 0; y < after.height(); ++y) {
        const auto *lineBefore = reinterpret_cast<const QRgb *>(before.constScanLine(y));
        const auto *lineAfter = reinterpret_cast<const QRgb *>(after.constScanLine(y));
        for (int x = 0; x < after.width(); ++x) {
            if (lineBefore[x] != lineAfter[x]) {
                left = qMin(left, x);
                right = qMax(right, x);
                top = qMin(top, y);
                bottom = qMax(bottom, y);
            }
        }
    }
    return right < 0 ? QRect() : QRect(QPoint(left, top), QPoint(right, bottom));
}

} // namespace

MovieLabel::MovieLabel(QWidget *parent) : QLabel(parent)
{
}

QString MovieLabel::pictureForScreen(const QString &path) const
{
    const QFileInfo file(path);
    // Qt reads the "@2x" in the name as the picture's pixel ratio.
    const QString twice = file.dir().filePath(file.completeBaseName() + QStringLiteral("@2x.") + file.suffix());
    return devicePixelRatioF() > 1 && QFileInfo::exists(twice) ? twice : path;
}

void MovieLabel::setAnimation(QMovie *movie)
{
    if (m_movie)
        disconnect(m_movie, nullptr, this, nullptr);
    m_movie = movie;
    m_shownFrame = -1;
    m_shownImage = QImage();
    m_changes.clear();
    setMovie(movie);
    update();
    if (!movie)
        return;
    // QLabel repaints the whole frame on every update of the movie; this label repaints what changed.
    disconnect(movie, &QMovie::updated, this, nullptr);
    connect(movie, &QMovie::frameChanged, this, &MovieLabel::frameChanged);
}

void MovieLabel::frameChanged(int frame)
{
    const QPixmap pixmap = m_movie->currentPixmap();
    const qreal ratio = pixmap.devicePixelRatio();
    const QRect changed = changedPixels(frame, pixmap);
    if (changed.isEmpty())
        return;
    const QRectF scaled(QPointF(changed.topLeft()) / ratio, QSizeF(changed.size()) / ratio);
    QRect place = scaled.translated(framePlace(pixmap).topLeft()).toAlignedRect();
    if (ratio != devicePixelRatioF())
        place.adjust(-1, -1, 1, 1); // smooth scaling blends each changed pixel into its neighbours
    update(place);
}

void MovieLabel::paintEvent(QPaintEvent *event)
{
    const QPixmap pixmap = m_movie ? m_movie->currentPixmap() : QPixmap();
    if (pixmap.isNull()) {
        QLabel::paintEvent(event);
        return;
    }
    // As QLabel draws a movie's frame, but scaled smoothly where the picture's pixel ratio is not the screen's.
    QPainter painter(this);
    drawFrame(&painter);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawPixmap(framePlace(pixmap), pixmap);
}

// Where QLabel draws the frame.
QRect MovieLabel::framePlace(const QPixmap &pixmap) const
{
    const QRect contents = contentsRect().adjusted(margin(), margin(), -margin(), -margin());
    return style()->itemPixmapRect(contents, QStyle::visualAlignment(layoutDirection(), alignment()), pixmap);
}

QRect MovieLabel::changedPixels(int frame, const QPixmap &pixmap)
{
    const int from = m_shownFrame;
    const QSize fromSize = m_shownSize;
    m_shownFrame = frame;
    m_shownSize = pixmap.size();
    const QRect whole(QPoint(), pixmap.size());
    if (from < 0 || fromSize != pixmap.size()) {
        m_shownImage = QImage();
        return whole;
    }
    const auto known = m_changes.constFind(changeKey(from, frame));
    if (known != m_changes.constEnd()) {
        m_shownImage = QImage();
        return *known;
    }
    const QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
    // Without the frame before, the change cannot be worked out: repaint it all this once.
    const QRect changed = m_shownImage.isNull() ? whole : differingPixels(m_shownImage, image);
    if (!m_shownImage.isNull())
        m_changes.insert(changeKey(from, frame), changed);
    m_shownImage = image;
    return changed;
}
