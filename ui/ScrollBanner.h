#pragma once

#include <QLabel>
#include <QPixmap>
#include <QPointer>

// A picture label with a caption label that moves across it. The caption stays a label with its own text,
// font, colours and position in banner coordinates, but it sits in a holder of no size, so Qt never repaints
// anything when it moves, and the banner paints it: a kept rendering of the caption is copied to the caption's
// position, and only the pixels it covers, before and after a move, are painted again. A transparent label
// moving every 20 ms would have Qt repaint every widget under it and lay its text out again each time.
class ScrollBanner final : public QLabel {
    Q_OBJECT

public:
    explicit ScrollBanner(QWidget *parent = nullptr);

    // Where the caption label goes: a child of the banner at its top-left corner, of no size.
    QWidget *captionHolder() const { return m_holder; }
    // The banner paints this label, a child of the caption holder.
    void setCaption(QLabel *caption);

protected:
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void repaintCaption(const QRect &oldGeometry);
    void refreshRendering();
    const QRegion &uncoveredRegion();

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
};
