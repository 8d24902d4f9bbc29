#include "PackageHost.h"

#include <QFile>

#include <algorithm>

#include <charconv>
#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

namespace quillon::bench {
namespace {

constexpr std::size_t kPiece = 256 * 1024;
const std::string kPrefix = "/packages/";

// "bytes=<first>-<last>"; nullopt for anything else.
std::optional<std::pair<std::size_t, std::size_t>> parseRange(const std::string &value) {
    const std::string unit = "bytes=";
    const std::size_t dash = value.find('-');
    if (value.rfind(unit, 0) != 0 || dash == std::string::npos) {
        return std::nullopt;
    }
    std::size_t first = 0;
    std::size_t last = 0;
    if (std::from_chars(value.data() + unit.size(), value.data() + dash, first).ec != std::errc() ||
        std::from_chars(value.data() + dash + 1, value.data() + value.size(), last).ec != std::errc() || last < first) {
        return std::nullopt;
    }
    return std::make_pair(first, last);
}

} // namespace

PackageHost::PackageHost() {
    // Eight ranges of one package at once, the probe and kept-alive connections.
    m_server.http().new_task_queue = [] { return new httplib::ThreadPool(32); };
    m_server.http().Get(kPrefix + ".*", [this](const httplib::Request &request, httplib::Response &response) {
        answer(request, response);
    });
    m_server.start();
}

void PackageHost::serve(const std::string &name, const QString &path) {
    std::lock_guard lock(m_mutex);
    m_files[name] = QFile::encodeName(path).toStdString();
}

QUrl PackageHost::url(const std::string &name) const {
    return m_server.url(QString::fromStdString(kPrefix.substr(1) + name));
}

void PackageHost::answer(const httplib::Request &request, httplib::Response &response) {
    // Ranges are answered here, from disk, not cut by the library from a body in memory.
    const_cast<httplib::Request &>(request).ranges.clear();
    const std::string name = request.path.substr(kPrefix.size());
    std::string path;
    {
        std::lock_guard lock(m_mutex);
        const auto file = m_files.find(name);
        if (file == m_files.end()) {
            response.status = 404;
            return;
        }
        path = file->second;
    }
    std::shared_ptr<std::FILE> file(std::fopen(path.c_str(), "rb"), [](std::FILE *f) {
        if (f) {
            std::fclose(f);
        }
    });
    if (!file || std::fseek(file.get(), 0, SEEK_END) != 0) {
        response.status = 500;
        return;
    }
    const std::size_t total = std::size_t(std::ftell(file.get()));
    response.set_header("Accept-Ranges", "bytes");
    if (request.method == "HEAD") {
        response.set_content_provider(total, "application/octet-stream",
                                      [](std::size_t, std::size_t, httplib::DataSink &) { return false; });
        return;
    }
    std::size_t from = 0;
    std::size_t length = total;
    if (const auto range = parseRange(request.get_header_value("Range")); range && range->first < total) {
        from = range->first;
        length = std::min(range->second, total - 1) - from + 1;
        response.status = 206;
        response.set_header("Content-Range", "bytes " + std::to_string(from) + "-" +
                                                 std::to_string(from + length - 1) + "/" + std::to_string(total));
    }
    response.set_content_provider(
        length, "application/octet-stream",
        [file, from](std::size_t offset, std::size_t remaining, httplib::DataSink &sink) {
            const std::size_t end = offset + std::min(remaining, kPiece);
            std::vector<char> buffer(end - offset);
            if (std::fseek(file.get(), long(from + offset), SEEK_SET) != 0 ||
                std::fread(buffer.data(), 1, buffer.size(), file.get()) != buffer.size()) {
                return false;
            }
            return sink.write(buffer.data(), buffer.size());
        });
}

} // namespace quillon::bench
