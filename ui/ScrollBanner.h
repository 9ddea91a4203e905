#pragma once

#include <QLabel>
#include <QPixmap>
#include <QPointer>

#include <memory>

class XRenderSurface;

// A picture label with a caption label that moves across it. The caption stays a label with its own text,
// font, colours and position in banner coordinates, but it sits in a holder of no size, so Qt never repaints
// anything when it moves, and the banner paints it: a kept rendering of the caption is copied to the caption's
// position, and only the pixels it covers, before and after a move, are painted again. A transparent label
// moving every 20 ms would have Qt repaint every widget under it and lay its text out again each time.
//
// On X11 the banner is a window of its own, as a picture box is, and when its picture covers it, the X server
// keeps the picture and the caption's rendering and draws them (see XRenderSurface): a move then costs two
// short requests rather than a paint through Qt's backing store and the pixels sent again.
class ScrollBanner final : public QLabel {
    Q_OBJECT

public:
    explicit ScrollBanner(QWidget *parent = nullptr);
    ~ScrollBanner() override;

    // Where the caption label goes: a child of the banner at its top-left corner, of no size.
    QWidget *captionHolder() const { return m_holder; }
    // The banner paints this label, a child of the caption holder.
    void setCaption(QLabel *caption);
    // The picture under the caption, shown from the top-left corner. When it covers the whole banner, the
    // banner is opaque: nothing under it is painted when the caption moves, and painting is one copy.
    void setPicture(const QPixmap &picture);

protected:
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    QPaintEngine *paintEngine() const override;

private:
    void repaintCaption(const QRect &oldGeometry);
    bool pictureCoversBanner() const;
    void updateOpacity();
    void refreshRendering();
    const QRegion &uncoveredRegion();
    void setUpServerDrawing();
    void drawOnServer(const QRegion &region);
    void forgetPictureOnServer();
    void forgetCaptionOnServer();

    QWidget *m_holder;
    QPointer<QLabel> m_caption;
    QPixmap m_rendering;
    QRect m_ink; // the painted part of the rendering, in caption coordinates
    QString m_renderedText;
    QSize m_renderedSize;
    qreal m_renderedRatio = 0;
    bool m_renderingStale = true;
    QRegion m_uncovered;
    bool m_uncoveredStale = true;
    bool m_pictureCovers = false;
    std::unique_ptr<XRenderSurface> m_surface;
    quint32 m_pictureOnServer = 0;
    qreal m_pictureOnServerRatio = 0;
    quint32 m_captionOnServer = 0;
};
