#pragma once
// One HTTP/1.1 connection over a plain TCP socket that fetches byte ranges of one file
// straight into the part file, for the ranged download of an http URL that no proxy
// serves (an https URL, a proxy or a redirect go through Qt's client instead).
//
// The body never passes through this process: it moves from the socket into a pipe and
// from the pipe into the file (splice), so the kernel copies each byte once, into the
// page cache, where a read into a buffer and a write out of it copy it twice. Measured
// with 1 GiB from a local nginx, eight connections: 0.39 s of CPU this way (cp of the
// same file: 0.39 s), 0.91 s through a read buffer.
//
// Every call blocks: the connection lives on a thread of its own. The connection is kept
// alive between ranges; `abort()` from any thread makes whatever call is blocked return
// at once.

#include "install/RangePlan.h"

#include <QByteArray>
#include <QList>
#include <QNetworkRequest>
#include <QPair>

#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <sys/socket.h>
#include <vector>

namespace quillon {

class PartFile;

class RangeConnection final {
    Q_DISABLE_COPY_MOVE(RangeConnection)
public:
    /// The server and the request every range of one download shares.
    struct Target {
        std::vector<sockaddr_storage> addresses; ///< tried in order until one connects
        QNetworkRequest request;                 ///< its URL and header fields (VrelDownloadRequest::make)
        std::chrono::milliseconds timeout{90'000}; ///< the longest any step may go without traffic
    };

    explicit RangeConnection(const Target &target);
    ~RangeConnection();

    /// Fetches `range` (of a file of `totalLength` bytes) into `file` at its offset and
    /// calls `written` with the byte count of every piece that landed there.
    /// Throws InstallError::invalidResponse when the answer is not exactly that range
    /// (another status, a "Content-Range" naming other bytes, a body shorter or longer than
    /// the range), http::NetworkFailure when the connection fails, times out or closes
    /// before the end of the body, DownloadFailure when the file cannot be written.
    void fetch(const ByteRange &range, qint64 totalLength, PartFile &file, const std::function<void(qint64)> &written);

    /// Any thread: ends the connection now; a blocked `fetch` throws, and so does every later one.
    void abort();

private:
    struct Head;

    void connect();
    void close();
    /// 0 once every byte is sent, else the errno of the failure.
    int send(const QByteArray &bytes);
    /// The next final response head (interim 1xx answers are skipped); nullopt when the
    /// connection closed before its first byte.
    std::optional<Head> readHead();
    void receiveBody(const ByteRange &range, qint64 totalLength, const Head &head, PartFile &file, const std::function<void(qint64)> &written);
    bool aborted();
    /// Throws for a connection that closed `when`: the abort's failure when there was one.
    [[noreturn]] void closedEarly(const char *when);
    /// Throws the failure `error` (an errno) of a socket call stands for.
    [[noreturn]] void fail(int error, const char *what);

    const Target &m_target;
    QByteArray m_requestHead; ///< everything of a request but its "Range" field and the end
    int m_pipe[2] = {-1, -1};
    qint64 m_pipeSize = 0;

    std::mutex m_socketLock; ///< guards m_socket and m_aborted against abort()
    int m_socket = -1;
    bool m_aborted = false;
    bool m_reused = false; ///< the socket has carried an earlier range
};

} // namespace quillon
