// Starts a program on an X display and reports when its first window is mapped and how
// much memory it holds a while later. Used by run-startup-bench.sh.
//
//   quillon_startup_probe SETTLE_MS PROGRAM [ARGS...]
//
// Prints one line: "<ms to the first mapped window> <resident KiB after SETTLE_MS>".
// The display is the one in $DISPLAY; without a window manager every top-level window
// is a child of the root window, so its MapNotify reaches a client that listens on the root.
#include <xcb/xcb.h>

#include <chrono>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

long residentKiB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::strtol(line.c_str() + 6, nullptr, 10);
        }
    }
    return -1;
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s SETTLE_MS PROGRAM [ARGS...]\n", argv[0]);
        return 2;
    }
    const auto settle = std::chrono::milliseconds(std::atol(argv[1]));

    xcb_connection_t *connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection)) {
        std::fprintf(stderr, "cannot open the display\n");
        return 2;
    }
    const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_void_cookie_t cookie = xcb_change_window_attributes_checked(connection, screen->root, XCB_CW_EVENT_MASK, &mask);
    if (xcb_generic_error_t *error = xcb_request_check(connection, cookie)) {
        std::fprintf(stderr, "cannot listen on the root window (error %d)\n", error->error_code);
        return 2;
    }

    const Clock::time_point start = Clock::now();
    const pid_t child = fork();
    if (child == 0) {
        execvp(argv[2], argv + 2);
        std::fprintf(stderr, "cannot run %s: %s\n", argv[2], std::strerror(errno));
        _exit(127);
    }

    // Wait for the first window mapped on the root, at most 20 seconds.
    double firstWindowMs = -1;
    const int fd = xcb_get_file_descriptor(connection);
    while (firstWindowMs < 0 && Clock::now() - start < std::chrono::seconds(20)) {
        while (xcb_generic_event_t *event = xcb_poll_for_event(connection)) {
            const bool mapped = (event->response_type & 0x7f) == XCB_MAP_NOTIFY;
            std::free(event);
            if (mapped) {
                firstWindowMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
                break;
            }
        }
        if (firstWindowMs < 0) {
            pollfd p{fd, POLLIN, 0};
            poll(&p, 1, 50);
        }
    }

    std::this_thread::sleep_until(start + settle);
    const long rss = residentKiB(child);
    kill(child, SIGTERM);
    int status = 0;
    waitpid(child, &status, 0);
    xcb_disconnect(connection);
    std::printf("%.1f %ld\n", firstWindowMs, rss);
    return firstWindowMs < 0 || rss < 0 ? 1 : 0;
}
