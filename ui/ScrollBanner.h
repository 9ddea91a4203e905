#pragma once

#include "ServerDrawnLabel.h"

#include <QPixmap>
#include <QPointer>

// A picture label with a caption label that moves across it. The caption stays a label with its own text,
// font, colours and position in banner coordinates, but it sits in a hidden holder, so Qt neither paints it
// nor does any work when it moves; the banner paints it: a kept rendering of the caption is copied to the
// caption's position, and only the pixels it covers, before and after a move, are painted again. A
// transparent label moving every 20 ms would have Qt repaint every widget under it and lay its text out
// again each time.
//
// When its picture covers it, the banner is the picture and the caption's rendering over it: on X11 the server
// then keeps both and draws them (see ServerDrawnLabel), and a move costs two short requests.
class ScrollBanner final : public ServerDrawnLabel {
    Q_OBJECT

public:
    explicit ScrollBanner(QWidget *parent = nullptr);

    // Where the caption label goes: a hidden child of the banner at its top-left corner, of no size.
    QWidget *captionHolder() const { return m_holder; }
    // The banner paints this label, a child of the caption holder.
    void setCaption(QLabel *caption);
    // Moves the caption and redraws what changed at once, its text too.
    void moveCaption(QPoint position);
    // The picture under the caption, shown from the top-left corner. When it covers the whole banner, the
    // banner is opaque: nothing under it is painted when the caption moves, and painting is one copy.
    void setPicture(const QPixmap &picture);

protected:
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void prepareToDraw() override;
    bool showsOnlyPictures() const override;
    QImage background() const override;
    Overlay overlay() const override;
    QImage overlayImage(qint64 key) const override;

private:
    void repaintCaption(const QRect &oldInk);
    bool pictureCoversBanner() const;
    void updateOpacity();
    void refreshRendering();
    const QRegion &uncoveredRegion();
    bool showsCaption() const;

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
    qint64 m_renderings = 0; // how many renderings there have been, to tell them apart
};
