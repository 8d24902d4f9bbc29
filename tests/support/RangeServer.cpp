#include "support/RangeServer.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <thread>

namespace quillon::test {
namespace {

constexpr std::size_t kPiece = 16 * 1024;
const char *const kBinary = "application/octet-stream";

// "bytes=<first>-<last>" with both positions given; nullopt for anything else.
std::optional<std::pair<std::size_t, std::size_t>> parseRange(const std::string &value) {
    const std::string prefix = "bytes=";
    if (value.compare(0, prefix.size(), prefix) != 0) {
        return std::nullopt;
    }
    const std::size_t dash = value.find('-', prefix.size());
    if (dash == std::string::npos) {
        return std::nullopt;
    }
    std::size_t first = 0;
    std::size_t last = 0;
    const char *begin = value.data() + prefix.size();
    if (std::from_chars(begin, value.data() + dash, first).ec != std::errc() ||
        std::from_chars(value.data() + dash + 1, value.data() + value.size(), last).ec != std::errc() ||
        last < first) {
        return std::nullopt;
    }
    return std::make_pair(first, last);
}

} // namespace

RangeServer::RangeServer(std::string content, std::string path)
    : m_content(std::make_shared<const std::string>(std::move(content))), m_path(std::move(path)) {
    // Eight ranges at once plus the probe and the odd kept-alive connection.
    m_http.http().new_task_queue = [] { return new httplib::ThreadPool(32); };
    m_http.http().Get(m_path, [this](const httplib::Request &request, httplib::Response &response) {
        answer(request, response);
    });
    // Header faults are applied last, after the library has added its own fields.
    m_http.setBeforeResponse([this](const httplib::Request &request, httplib::Response &response) {
        const Faults f = faults();
        if (request.path != m_path) {
            return;
        }
        response.headers.erase("Accept-Ranges");
        if (f.acceptRanges) {
            response.set_header("Accept-Ranges", *f.acceptRanges);
        }
        if (request.method == "HEAD" && f.headLength != HeadLength::exact) {
            response.headers.erase("Content-Length");
            if (f.headLength == HeadLength::zero) {
                response.set_header("Content-Length", "0");
            } else if (f.headLength == HeadLength::unparsable) {
                response.set_header("Content-Length", "12x4");
            }
        }
    });
}

RangeServer::~RangeServer() {
    m_state->stopping = true;
    m_http.stop();
}

void RangeServer::setFaults(const Faults &faults) {
    std::lock_guard lock(m_mutex);
    m_faults = faults;
}

RangeServer::Faults RangeServer::faults() const {
    std::lock_guard lock(m_mutex);
    return m_faults;
}

void RangeServer::start() { m_http.start(); }

QUrl RangeServer::fileUrl() const { return m_http.url(QString::fromStdString(m_path).mid(1)); }

void RangeServer::sendBody(httplib::Response &response, int status, std::size_t from, std::size_t length,
                           std::size_t dropAfter, std::chrono::milliseconds delay) {
    response.status = status;
    m_state->inFlight++;
    m_state->started++;
    std::shared_ptr<const std::string> content = m_content;
    std::shared_ptr<State> state = m_state;
    response.set_content_provider(
        length, kBinary,
        [content, state, from, dropAfter, delay](std::size_t offset, std::size_t remaining, httplib::DataSink &sink) {
            if (state->stopping || offset >= dropAfter) {
                return false; // closes the connection mid-body
            }
            const std::size_t end = std::min(dropAfter, offset + std::min(kPiece, remaining));
            if (!sink.write(content->data() + from + offset, end - offset)) {
                return false;
            }
            if (delay.count() > 0) {
                std::this_thread::sleep_for(delay);
            }
            return true;
        },
        [state](bool) { state->inFlight--; });
}

void RangeServer::answer(const httplib::Request &request, httplib::Response &response) {
    // The library would cut ranges on its own; this server answers them itself, faults
    // included. The request object is the library's own mutable one.
    const_cast<httplib::Request &>(request).ranges.clear();

    const Faults f = faults();
    const std::size_t total = m_content->size();
    const bool head = request.method == "HEAD";
    const std::string rangeHeader = request.get_header_value("Range");
    {
        std::lock_guard lock(m_mutex);
        m_seen.emplace_back(request.method, rangeHeader);
    }
    const auto range = parseRange(rangeHeader);

    if (f.status != 200) {
        response.status = f.status;
        response.set_content(f.errorBody, "text/plain");
        return;
    }
    if (head) {
        response.status = 200;
        response.set_content_provider(total, kBinary, [](std::size_t, std::size_t, httplib::DataSink &) { return false; });
        return;
    }
    const std::size_t never = std::numeric_limits<std::size_t>::max();
    if (!range || f.rangesAsWholeFile) {
        if (f.wholeFileChunked) {
            m_state->inFlight++;
            m_state->started++;
            std::shared_ptr<const std::string> content = m_content;
            std::shared_ptr<State> state = m_state;
            const std::size_t cutAt = f.dropRangeStart == -2 ? total / 2 / kPiece * kPiece : never;
            response.status = 200;
            response.set_chunked_content_provider(
                kBinary,
                [content, state, cutAt](std::size_t offset, httplib::DataSink &sink) {
                    if (state->stopping || offset >= cutAt) {
                        return false; // closes the connection without the closing chunk
                    }
                    const std::size_t end = std::min(content->size(), offset + kPiece);
                    if (!sink.write(content->data() + offset, end - offset)) {
                        return false;
                    }
                    if (end == content->size()) {
                        sink.done();
                    }
                    return true;
                },
                [state](bool) { state->inFlight--; });
            return;
        }
        sendBody(response, 200, 0, total + f.overstatedLength, f.dropRangeStart == -2 ? total / 2 : total,
                 f.pieceDelay);
        return;
    }

    const std::size_t first = range->first;
    const std::size_t last = std::min(range->second, total - 1);
    std::size_t length = last - first + 1;
    std::string contentRange = "bytes " + std::to_string(first) + "-" + std::to_string(last) + "/" + std::to_string(total);
    if (static_cast<qint64>(first) == f.shortRangeStart) {
        length -= 1;
    }
    if (static_cast<qint64>(first) == f.longRangeStart && last + 1 < total) {
        length += 1;
    }
    std::size_t from = first;
    if (static_cast<qint64>(first) == f.lyingRangeStart) {
        switch (f.lie) {
        case RangeLie::shiftedStart: // the bytes and the header both one further on
            from = first + 1;
            length = std::min(length, total - from);
            contentRange = "bytes " + std::to_string(from) + "-" + std::to_string(from + length - 1) + "/" +
                           std::to_string(total);
            break;
        case RangeLie::otherTotal:
            contentRange = "bytes " + std::to_string(first) + "-" + std::to_string(last) + "/" + std::to_string(total + 1);
            break;
        case RangeLie::otherUnit:
            contentRange = "items " + std::to_string(first) + "-" + std::to_string(last) + "/" + std::to_string(total);
            break;
        case RangeLie::none:
            break;
        }
    }
    response.set_header("Content-Range", contentRange);
    const std::size_t dropAfter = static_cast<qint64>(first) == f.dropRangeStart ? length / 2 : never;
    sendBody(response, 206, from, length, dropAfter, f.pieceDelay);
}

std::vector<std::string> RangeServer::rangeHeadersSeen() const {
    std::lock_guard lock(m_mutex);
    std::vector<std::string> headers;
    for (const auto &[method, range] : m_seen) {
        if (method == "GET") {
            headers.push_back(range);
        }
    }
    return headers;
}

int RangeServer::headRequests() const {
    std::lock_guard lock(m_mutex);
    return static_cast<int>(std::count_if(m_seen.begin(), m_seen.end(), [](const auto &seen) { return seen.first == "HEAD"; }));
}

int RangeServer::getRequests() const { return static_cast<int>(rangeHeadersSeen().size()); }

} // namespace quillon::test
