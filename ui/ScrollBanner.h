#pragma once

#include <QPixmap>
#include <QPointer>
#include <QWidget>

class QLabel;

// A picture with a caption that its owner moves across it many times a second. The caption stays a label with its own
// text, font, colour and position in banner coordinates, but the label is hidden: the banner paints a picture of it,
// made once for each text, and a move repaints only the caption's old and new rectangles. The banner is opaque, so
// nothing under it is painted again; a plain label moving over the picture would have Qt repaint the picture and lay
// the text out again on every step.
class ScrollBanner final : public QWidget {
    Q_OBJECT

public:
    explicit ScrollBanner(const QPixmap &picture, QWidget *parent = nullptr);

    // Hides the label, a child of the banner, and paints it as the caption from now on.
    void setCaption(QLabel *caption);
    // Moves the caption and repaints what changed, its text too.
    void moveCaption(QPoint position);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void refreshCaptionPicture();

    QPixmap m_picture;
    QPointer<QLabel> m_caption;
    QPixmap m_captionPicture; // null when it must be made again
    QString m_captionText;    // the text in m_captionPicture
};
