#include "XRenderSurface.h"

#include <QGuiApplication>
#include <QWidget>

#include <xcb/render.h>
#include <xcb/xcb.h>

#include <cstdlib>

struct XRenderSurface::Formats {
    quint32 opaque = 0; // the window's own format
    quint32 alpha = 0;  // 32-bit ARGB
};

namespace {

template <typename Reply>
using ReplyPointer = std::unique_ptr<Reply, decltype(&std::free)>;

template <typename Reply>
ReplyPointer<Reply> owned(Reply *reply)
{
    return ReplyPointer<Reply>(reply, &std::free);
}

// 8 bits a channel at the places QImage's 32-bit formats keep them on this machine.
bool isQImageLayout(const xcb_render_directformat_t &direct, bool withAlpha)
{
    return direct.red_shift == 16 && direct.red_mask == 0xff && direct.green_shift == 8 && direct.green_mask == 0xff &&
           direct.blue_shift == 0 && direct.blue_mask == 0xff &&
           (withAlpha ? direct.alpha_shift == 24 && direct.alpha_mask == 0xff : direct.alpha_mask == 0);
}

bool serverTakesQImagePixels(xcb_connection_t *connection, quint8 depth)
{
    if (Q_BYTE_ORDER != Q_LITTLE_ENDIAN)
        return false;
    const xcb_setup_t *setup = xcb_get_setup(connection);
    if (setup->image_byte_order != XCB_IMAGE_ORDER_LSB_FIRST)
        return false;
    bool found = false;
    for (auto it = xcb_setup_pixmap_formats_iterator(setup); it.rem; xcb_format_next(&it)) {
        if (it.data->depth == depth || it.data->depth == 32) {
            if (it.data->bits_per_pixel != 32 || it.data->scanline_pad != 32)
                return false;
            found = found || it.data->depth == depth;
        }
    }
    return found;
}

bool screenHasDepth(xcb_connection_t *connection, xcb_window_t root, quint8 depth)
{
    for (auto screens = xcb_setup_roots_iterator(xcb_get_setup(connection)); screens.rem; xcb_screen_next(&screens)) {
        if (screens.data->root != root)
            continue;
        for (auto depths = xcb_screen_allowed_depths_iterator(screens.data); depths.rem; xcb_depth_next(&depths)) {
            if (depths.data->depth == depth)
                return true;
        }
    }
    return false;
}

} // namespace

std::unique_ptr<XRenderSurface> XRenderSurface::create(QWidget *widget)
{
    const auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t *connection = x11 ? x11->connection() : nullptr;
    if (!connection || !widget->internalWinId())
        return nullptr;
    const xcb_query_extension_reply_t *extension = xcb_get_extension_data(connection, &xcb_render_id);
    if (!extension || !extension->present)
        return nullptr;

    const auto window = static_cast<xcb_window_t>(widget->internalWinId());
    const auto versionCookie = xcb_render_query_version(connection, XCB_RENDER_MAJOR_VERSION, XCB_RENDER_MINOR_VERSION);
    const auto attributesCookie = xcb_get_window_attributes(connection, window);
    const auto geometryCookie = xcb_get_geometry(connection, window);
    const auto formatsCookie = xcb_render_query_pict_formats(connection);
    const auto version = owned(xcb_render_query_version_reply(connection, versionCookie, nullptr));
    const auto attributes = owned(xcb_get_window_attributes_reply(connection, attributesCookie, nullptr));
    const auto geometry = owned(xcb_get_geometry_reply(connection, geometryCookie, nullptr));
    const auto formats = owned(xcb_render_query_pict_formats_reply(connection, formatsCookie, nullptr));
    if (!version || !attributes || !geometry || !formats)
        return nullptr;
    if ((geometry->depth != 24 && geometry->depth != 32) || !serverTakesQImagePixels(connection, geometry->depth) ||
        !screenHasDepth(connection, geometry->root, 32))
        return nullptr;

    Formats found;
    for (auto screens = xcb_render_query_pict_formats_screens_iterator(formats.get()); screens.rem;
         xcb_render_pictscreen_next(&screens)) {
        for (auto depths = xcb_render_pictscreen_depths_iterator(screens.data); depths.rem;
             xcb_render_pictdepth_next(&depths)) {
            for (auto visuals = xcb_render_pictdepth_visuals_iterator(depths.data); visuals.rem;
                 xcb_render_pictvisual_next(&visuals)) {
                if (visuals.data->visual == attributes->visual)
                    found.opaque = visuals.data->format;
            }
        }
    }
    for (auto it = xcb_render_query_pict_formats_formats_iterator(formats.get()); it.rem;
         xcb_render_pictforminfo_next(&it)) {
        const xcb_render_pictforminfo_t &info = *it.data;
        if (info.type != XCB_RENDER_PICT_TYPE_DIRECT)
            continue;
        // A 32-bit window format must keep its alpha where ARGB32 does; its opaque pictures then carry 0xff there.
        if (info.id == found.opaque &&
            (info.depth != geometry->depth || !isQImageLayout(info.direct, info.depth == 32)))
            found.opaque = 0;
        if (info.depth == 32 && isQImageLayout(info.direct, true) && !found.alpha)
            found.alpha = info.id;
    }
    if (!found.opaque || !found.alpha)
        return nullptr;
    return std::unique_ptr<XRenderSurface>(new XRenderSurface(connection, window, geometry->depth, found));
}

XRenderSurface::XRenderSurface(xcb_connection_t *connection, quint32 window, quint8 depth, const Formats &formats)
    : m_connection(connection), m_window(window), m_depth(depth), m_opaqueFormat(formats.opaque),
      m_alphaFormat(formats.alpha), m_windowPicture(xcb_generate_id(connection))
{
    xcb_render_create_picture(connection, m_windowPicture, window, m_opaqueFormat, 0, nullptr);
}

XRenderSurface::~XRenderSurface()
{
    for (const Picture picture : std::as_const(m_pictures))
        xcb_render_free_picture(m_connection, picture);
    xcb_render_free_picture(m_connection, m_windowPicture);
    xcb_flush(m_connection);
}

XRenderSurface::Picture XRenderSurface::upload(const QImage &image)
{
    if (image.isNull())
        return 0;
    const bool blended = image.hasAlphaChannel();
    const QImage pixels = image.convertToFormat(blended ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    const quint8 depth = blended ? 32 : m_depth;
    const auto width = static_cast<quint16>(pixels.width());

    const xcb_pixmap_t pixmap = xcb_generate_id(m_connection);
    xcb_create_pixmap(m_connection, depth, pixmap, m_window, width, static_cast<quint16>(pixels.height()));
    const xcb_gcontext_t gc = xcb_generate_id(m_connection);
    xcb_create_gc(m_connection, gc, pixmap, 0, nullptr);
    // As many rows to a request as the server takes, less room for the request's own fields.
    const qsizetype maximumBytes = qsizetype(xcb_get_maximum_request_length(m_connection)) * 4 - 64;
    const int rowsPerRequest = int(qMax<qsizetype>(1, maximumBytes / pixels.bytesPerLine()));
    for (int top = 0; top < pixels.height(); top += rowsPerRequest) {
        const int rows = qMin(rowsPerRequest, pixels.height() - top);
        xcb_put_image(m_connection, XCB_IMAGE_FORMAT_Z_PIXMAP, pixmap, gc, width, static_cast<quint16>(rows), 0,
                      static_cast<qint16>(top), 0, depth, static_cast<quint32>(rows * pixels.bytesPerLine()),
                      pixels.constScanLine(top));
    }
    xcb_free_gc(m_connection, gc);

    const Picture picture = xcb_generate_id(m_connection);
    xcb_render_create_picture(m_connection, picture, pixmap, blended ? m_alphaFormat : m_opaqueFormat, 0, nullptr);
    xcb_free_pixmap(m_connection, pixmap); // the picture keeps it
    m_pictures.append(picture);
    return picture;
}

void XRenderSurface::release(Picture picture)
{
    if (picture && m_pictures.removeOne(picture))
        xcb_render_free_picture(m_connection, picture);
}

void XRenderSurface::draw(Picture source, QPoint sourceTopLeft, const QRect &target, bool blend)
{
    if (!source || target.isEmpty())
        return;
    xcb_render_composite(m_connection, blend ? XCB_RENDER_PICT_OP_OVER : XCB_RENDER_PICT_OP_SRC, source, XCB_NONE,
                         m_windowPicture, static_cast<qint16>(sourceTopLeft.x()),
                         static_cast<qint16>(sourceTopLeft.y()), 0, 0, static_cast<qint16>(target.x()),
                         static_cast<qint16>(target.y()), static_cast<quint16>(target.width()),
                         static_cast<quint16>(target.height()));
}

void XRenderSurface::flush()
{
    xcb_flush(m_connection);
}
