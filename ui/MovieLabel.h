#pragma once

#include <QHash>
#include <QImage>
#include <QLabel>
#include <QPointer>

class QMovie;

// A label that shows a movie as QLabel does, but repaints only the pixels that change from one frame to
// the next, where QLabel repaints the whole frame. Which pixels change between two frames is worked out
// once, the first time the movie goes from one to the other, and kept. A picture drawn at twice its size
// (a file named like name@2x.gif beside it) is shown at the screen's pixel ratio: sharp at 2, smoothly
// scaled in between.
class MovieLabel final : public QLabel {
    Q_OBJECT

public:
    explicit MovieLabel(QWidget *parent = nullptr);

    // The picture to play on this label's screen: the one at twice the size where the screen draws more
    // than one pixel to the point and that one exists, else the picture itself.
    QString pictureForScreen(const QString &path) const;
    void setAnimation(QMovie *movie);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void frameChanged(int frame);
    QRect framePlace(const QPixmap &pixmap) const;
    QRect changedPixels(int frame, const QPixmap &pixmap);

    QPointer<QMovie> m_movie;
    int m_shownFrame = -1;
    QSize m_shownSize;
    // The last frame, kept only while some change between two frames is not known yet.
    QImage m_shownImage;
    QHash<quint64, QRect> m_changes; // in frame pixels, keyed by the two frame numbers
};
