#pragma once

#include <QHash>
#include <QLabel>

#include <memory>

class XRenderSurface;

// A label that on X11 is a window of its own, as a picture box is, and can have the X server draw it from
// pictures the server keeps (see XRenderSurface): a background the size of the label, and over it one of a
// few overlays, each sent once. Redrawing a part of it is then two short requests, where a paint through
// Qt's backing store would paint, convert and send the pixels again. A subclass says when what it shows is
// just that, and what the pictures are; elsewhere, and when it shows anything else, Qt paints it.
class ServerDrawnLabel : public QLabel {
    Q_OBJECT

public:
    explicit ServerDrawnLabel(QWidget *parent = nullptr);
    ~ServerDrawnLabel() override;

protected:
    struct Overlay {
        qint64 key = -1; // which overlay, for the kept pictures; negative for none
        QPoint position; // of its top-left corner in the label
    };

    // Called before each draw on the server, to bring what the pictures are made from up to date.
    virtual void prepareToDraw() {}
    // Whether the label shows nothing but the background and the overlay.
    virtual bool showsOnlyPictures() const = 0;
    // The label without the overlay, in device pixels.
    virtual QImage background() const = 0;
    virtual Overlay overlay() const = 0;
    // The picture of an overlay, in device pixels.
    virtual QImage overlayImage(qint64 key) const = 0;

    // Tell when showsOnlyPictures() may have changed, and when the pictures kept on the server are stale.
    void updateServerDrawing();
    void forgetBackground();
    void forgetOverlays();

    // Whether the server draws the label now.
    bool drawnOnServer() const;
    // Draws that part of the label on the server at once; only while drawnOnServer().
    void drawOnServer(const QRegion &region);
    // For paintEvent: draws the event's region on the server and says so, unless Qt must paint it, as for
    // a grab into a picture.
    bool paintedOnServer(QPaintEvent *event);

    bool event(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    QPaintEngine *paintEngine() const override;

private:
    std::unique_ptr<XRenderSurface> m_surface;
    quint32 m_background = 0;
    struct Kept {
        quint32 picture = 0;
        QSize size; // device pixels
    };
    QHash<qint64, Kept> m_overlays;
    qreal m_ratio = 0;
};
