#pragma once
// A download server on 127.0.0.1 that serves one file and answers "Range" requests
// itself, byte for byte (never compressed), with faults a test can script: wrong
// statuses, lying or missing headers, short and long ranges, dropped connections and
// slow delivery.

#include "packaging/PatternedBytes.h"
#include "support/LocalHttpServer.h"

#include <QUrl>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace quillon::test {

using packaging::patternedBytes;

class RangeServer final {
public:
    /// How the "Content-Length" of a HEAD reply is sent.
    enum class HeadLength { exact, missing, zero, unparsable };
    /// How the "Content-Range" of one range lies about the bytes it carries.
    enum class RangeLie { none, shiftedStart, otherTotal, otherUnit };

    struct Faults {
        HeadLength headLength = HeadLength::exact;
        /// The "Accept-Ranges" value; nullopt leaves the header out.
        std::optional<std::string> acceptRanges = std::string("bytes");
        /// The status of every answer, HEAD and whole-file GET alike (its body is `errorBody`).
        int status = 200;
        std::string errorBody = "not found";
        /// Ranges are answered 200 with the whole file.
        bool rangesAsWholeFile = false;
        /// The whole file is sent chunked, without a length.
        bool wholeFileChunked = false;
        /// The range starting at this offset carries one byte less (or more), headers agreeing.
        qint64 shortRangeStart = -1;
        qint64 longRangeStart = -1;
        /// The range starting at this offset names another range in its "Content-Range".
        qint64 lyingRangeStart = -1;
        RangeLie lie = RangeLie::none;
        /// The answer to the range starting at this offset (-2: the whole-file GET) breaks
        /// off after half its bytes by closing the connection; a chunked body breaks off
        /// at the chunk boundary nearest below half, without its closing chunk.
        qint64 dropRangeStart = -1;
        /// The whole-file GET announces this many bytes more than the file, sends the file
        /// and closes the connection.
        std::size_t overstatedLength = 0;
        /// A pause after every 16 KiB sent.
        std::chrono::milliseconds pieceDelay{0};
    };

    /// Serves `content` at `path` (no pattern characters), once started.
    explicit RangeServer(std::string content, std::string path = "/packages/plugin.pkg");
    ~RangeServer();
    RangeServer(const RangeServer &) = delete;
    RangeServer &operator=(const RangeServer &) = delete;

    void setFaults(const Faults &faults);
    void start();

    /// The URL of the file.
    QUrl fileUrl() const;
    const std::string &content() const { return *m_content; }

    /// The "Range" header of every GET received so far ("" for a whole-file GET).
    std::vector<std::string> rangeHeadersSeen() const;
    int headRequests() const;
    int getRequests() const;
    std::vector<RecordedRequest> requests() const { return m_http.requests(); }
    /// Bodies being sent at this moment.
    int transfersInFlight() const { return m_state->inFlight.load(); }
    /// Bodies started so far.
    int transfersStarted() const { return m_state->started.load(); }

private:
    struct State {
        std::atomic<int> inFlight{0};
        std::atomic<int> started{0};
        std::atomic<bool> stopping{false};
    };

    void answer(const httplib::Request &request, httplib::Response &response);
    void sendBody(httplib::Response &response, int status, std::size_t from, std::size_t length,
                  std::size_t dropAfter, std::chrono::milliseconds delay);
    Faults faults() const;

    std::shared_ptr<const std::string> m_content;
    std::string m_path;
    std::shared_ptr<State> m_state = std::make_shared<State>();
    mutable std::mutex m_mutex;
    Faults m_faults;
    std::vector<std::pair<std::string, std::string>> m_seen; ///< method and "Range" of every request
    LocalHttpServer m_http;
};

} // namespace quillon::test
