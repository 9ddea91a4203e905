#pragma once

#include <QImage>
#include <QList>
#include <QRect>

#include <memory>

class QWidget;
struct xcb_connection_t;

// Draws pictures kept in the X server onto the window of a native widget, with the X Rendering Extension.
// A draw is one short request: the pixels were sent once, when the picture was uploaded, and the server
// does the blending. Painting the same through Qt's backing store would paint, convert and send the pixels
// again each time, which for a small area redrawn many times a second costs far more than the pixels.
class XRenderSurface {
public:
    using Picture = quint32;

    // Null unless the widget is on an X server with the extension, its native window exists and has a 24-
    // or 32-bit true-colour visual, and the server takes 32-bit pixels in this machine's byte order.
    static std::unique_ptr<XRenderSurface> create(QWidget *widget);
    ~XRenderSurface();

    XRenderSurface(const XRenderSurface &) = delete;
    XRenderSurface &operator=(const XRenderSurface &) = delete;

    // Sends a picture to the server, in device pixels: opaque when the image has no alpha channel, else
    // to be blended by its alpha. Zero when the picture is empty.
    Picture upload(const QImage &image);
    void release(Picture picture);
    // Copies the source's pixels from sourceTopLeft onwards into the window's target area (device pixels),
    // over what is there when blend is set, replacing it otherwise.
    void draw(Picture source, QPoint sourceTopLeft, const QRect &target, bool blend);
    // Sends the draws so far to the server.
    void flush();

private:
    struct Formats;
    XRenderSurface(xcb_connection_t *connection, quint32 window, quint8 depth, const Formats &formats);

    xcb_connection_t *m_connection;
    quint32 m_window;
    quint8 m_depth;
    quint32 m_opaqueFormat;
    quint32 m_alphaFormat;
    Picture m_windowPicture;
    QList<Picture> m_pictures;
};
