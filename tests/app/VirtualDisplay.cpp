#include "app/VirtualDisplay.h"

#include <QDeadlineTimer>
#include <QStandardPaths>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <poll.h>

namespace quillon::test {
namespace {

struct FreeDeleter {
    void operator()(void *p) const { std::free(p); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeDeleter>;

/// Waits until the server has handled every request sent so far.
void roundTrip(xcb_connection_t *connection) {
    Reply<xcb_get_input_focus_reply_t>(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
}

} // namespace

VirtualDisplay::VirtualDisplay(QSize size) {
    const QString server = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    if (server.isEmpty()) {
        m_error = QStringLiteral("Xvfb is not installed (scripts/setup.sh installs it)");
        return;
    }
    // With -displayfd the server takes a free display number and writes it once it accepts
    // connections.
    m_server.start(server, {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"), QStringLiteral("0"),
                            QStringLiteral("%1x%2x24").arg(size.width()).arg(size.height()), QStringLiteral("-nolisten"),
                            QStringLiteral("tcp")});
    if (!m_server.waitForStarted()) {
        m_error = QStringLiteral("Xvfb did not start: ") + m_server.errorString();
        return;
    }
    QByteArray number;
    const QDeadlineTimer deadline(std::chrono::seconds(30));
    while (!number.contains('\n') && m_server.state() == QProcess::Running && !deadline.hasExpired()) {
        if (m_server.waitForReadyRead(int(deadline.remainingTime()))) {
            number += m_server.readAllStandardOutput();
        }
    }
    bool ok = false;
    const int display = number.trimmed().toInt(&ok);
    if (!number.contains('\n') || !ok) {
        m_error = QStringLiteral("Xvfb named no display: ") + QString::fromLocal8Bit(m_server.readAllStandardError());
        return;
    }
    m_name = QStringLiteral(":%1").arg(display);
}

VirtualDisplay::~VirtualDisplay() {
    if (m_server.state() != QProcess::NotRunning) {
        m_server.terminate();
        if (!m_server.waitForFinished(5000)) {
            m_server.kill();
            m_server.waitForFinished();
        }
    }
}

DisplayClient::DisplayClient(const QString &display) {
    int screenNumber = 0;
    xcb_connection_t *connection = xcb_connect(display.toLocal8Bit().constData(), &screenNumber);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        return;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screenNumber && screens.rem > 0; ++i) {
        xcb_screen_next(&screens);
    }
    m_connection = connection;
    m_root = screens.data->root;
}

DisplayClient::~DisplayClient() {
    if (m_connection) {
        xcb_disconnect(m_connection);
    }
}

QImage DisplayClient::grab(const QRect &area) const {
    Reply<xcb_get_image_reply_t> image(xcb_get_image_reply(
        m_connection,
        xcb_get_image(m_connection, XCB_IMAGE_FORMAT_Z_PIXMAP, m_root, std::int16_t(area.x()), std::int16_t(area.y()),
                      std::uint16_t(area.width()), std::uint16_t(area.height()), ~0u),
        nullptr));
    if (!image) {
        return {};
    }
    // Only the usual layout of a 24-bit screen: 32 bits a pixel, least significant byte first.
    const xcb_setup_t *setup = xcb_get_setup(m_connection);
    int bitsPerPixel = 0;
    int pad = 32;
    for (xcb_format_iterator_t f = xcb_setup_pixmap_formats_iterator(setup); f.rem > 0; xcb_format_next(&f)) {
        if (f.data->depth == image->depth) {
            bitsPerPixel = f.data->bits_per_pixel;
            pad = f.data->scanline_pad;
        }
    }
    if (bitsPerPixel != 32 || setup->image_byte_order != XCB_IMAGE_ORDER_LSB_FIRST) {
        return {};
    }
    const int bytesPerLine = (area.width() * bitsPerPixel + pad - 1) / pad * pad / 8;
    const std::uint8_t *data = xcb_get_image_data(image.get());
    if (xcb_get_image_data_length(image.get()) < bytesPerLine * area.height()) {
        return {};
    }
    QImage picture(area.size(), QImage::Format_RGB32);
    for (int y = 0; y < area.height(); ++y) {
        const auto *from = reinterpret_cast<const quint32 *>(data + std::size_t(y) * std::size_t(bytesPerLine));
        auto *to = reinterpret_cast<QRgb *>(picture.scanLine(y));
        for (int x = 0; x < area.width(); ++x) {
            to[x] = from[x] | 0xff000000u; // the unused byte is not alpha
        }
    }
    return picture;
}

std::optional<QRect> DisplayClient::geometry(std::uint32_t window) const {
    Reply<xcb_get_geometry_reply_t> size(xcb_get_geometry_reply(m_connection, xcb_get_geometry(m_connection, window), nullptr));
    Reply<xcb_translate_coordinates_reply_t> place(xcb_translate_coordinates_reply(
        m_connection, xcb_translate_coordinates(m_connection, window, m_root, 0, 0), nullptr));
    if (!size || !place) {
        return std::nullopt;
    }
    return QRect(place->dst_x, place->dst_y, size->width, size->height);
}

std::uint32_t DisplayClient::cover(const QRect &area, QRgb colour, std::chrono::milliseconds timeout) {
    const std::uint32_t window = xcb_generate_id(m_connection);
    // Values in the order of their mask bits. Override-redirect: no window manager places it.
    const std::uint32_t values[] = {colour & 0xffffffu, 1, XCB_EVENT_MASK_EXPOSURE};
    xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, window, m_root, std::int16_t(area.x()), std::int16_t(area.y()),
                      std::uint16_t(area.width()), std::uint16_t(area.height()), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      XCB_COPY_FROM_PARENT, XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK, values);
    xcb_map_window(m_connection, window);
    xcb_flush(m_connection);
    // The server paints the background before it sends the first Expose.
    if (!waitFor(XCB_EXPOSE, window, timeout)) {
        uncover(window);
        return 0;
    }
    return window;
}

void DisplayClient::uncover(std::uint32_t window) {
    xcb_destroy_window(m_connection, window);
    roundTrip(m_connection);
}

bool DisplayClient::unmapAndMap(std::uint32_t window, std::chrono::milliseconds timeout) {
    const std::uint32_t events = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    xcb_change_window_attributes(m_connection, window, XCB_CW_EVENT_MASK, &events);
    xcb_unmap_window(m_connection, window);
    xcb_flush(m_connection);
    if (!waitFor(XCB_UNMAP_NOTIFY, window, timeout)) {
        return false;
    }
    xcb_map_window(m_connection, window);
    xcb_flush(m_connection);
    return waitFor(XCB_MAP_NOTIFY, window, timeout);
}

bool DisplayClient::waitFor(std::uint8_t type, std::uint32_t window, std::chrono::milliseconds timeout) {
    const QDeadlineTimer deadline(timeout);
    while (true) {
        while (Reply<xcb_generic_event_t> event{xcb_poll_for_event(m_connection)}) {
            if ((event->response_type & 0x7f) != type) {
                continue;
            }
            std::uint32_t about = 0;
            switch (type) {
            case XCB_EXPOSE:
                about = reinterpret_cast<xcb_expose_event_t *>(event.get())->window;
                break;
            case XCB_UNMAP_NOTIFY:
                about = reinterpret_cast<xcb_unmap_notify_event_t *>(event.get())->window;
                break;
            case XCB_MAP_NOTIFY:
                about = reinterpret_cast<xcb_map_notify_event_t *>(event.get())->window;
                break;
            default:
                break;
            }
            if (about == window) {
                return true;
            }
        }
        if (deadline.hasExpired() || xcb_connection_has_error(m_connection)) {
            return false;
        }
        pollfd socket{xcb_get_file_descriptor(m_connection), POLLIN, 0};
        poll(&socket, 1, int(std::max<qint64>(deadline.remainingTime(), 1)));
    }
}

} // namespace quillon::test
