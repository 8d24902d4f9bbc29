#pragma once
// A virtual X display (Xvfb) for a test, and a connection of the test's own to it that sees
// what the X server shows: grabs of the root window, a window laid over another and taken
// away, a window unmapped and mapped again. Qt's own grabs render the widgets afresh and
// cannot tell whether a window really repainted; these can.

#include <QImage>
#include <QProcess>
#include <QRect>
#include <QString>

#include <chrono>
#include <cstdint>
#include <optional>

struct xcb_connection_t;

namespace quillon::test {

class VirtualDisplay final {
public:
    /// Starts Xvfb with one screen of `size` on a free display number.
    explicit VirtualDisplay(QSize size);
    ~VirtualDisplay();
    VirtualDisplay(const VirtualDisplay &) = delete;
    VirtualDisplay &operator=(const VirtualDisplay &) = delete;

    bool isRunning() const { return !m_name.isEmpty(); }
    /// ":N", for DISPLAY.
    const QString &name() const { return m_name; }
    /// Why no server runs.
    const QString &error() const { return m_error; }

private:
    QProcess m_server;
    QString m_name;
    QString m_error;
};

class DisplayClient final {
public:
    explicit DisplayClient(const QString &display);
    ~DisplayClient();
    DisplayClient(const DisplayClient &) = delete;
    DisplayClient &operator=(const DisplayClient &) = delete;

    bool isConnected() const { return m_connection != nullptr; }

    /// What the server shows in `area` of the root window (a null image when it cannot tell).
    QImage grab(const QRect &area) const;
    /// Where `window` stands on the root window, while it exists.
    std::optional<QRect> geometry(std::uint32_t window) const;

    /// Lays a window of one colour over `area`, above every other, and waits until the server
    /// has drawn it. Returns its id (0 when it did not show).
    std::uint32_t cover(const QRect &area, QRgb colour, std::chrono::milliseconds timeout);
    /// Takes a window made by cover() away again.
    void uncover(std::uint32_t window);

    /// Unmaps `window` (anybody's) and waits until the server has done so; then maps it again
    /// and waits for that too. False when either did not happen in time.
    bool unmapAndMap(std::uint32_t window, std::chrono::milliseconds timeout);

private:
    /// Waits for an event of `type` (an X event code) about `window`.
    bool waitFor(std::uint8_t type, std::uint32_t window, std::chrono::milliseconds timeout);

    xcb_connection_t *m_connection = nullptr;
    std::uint32_t m_root = 0;
};

} // namespace quillon::test
