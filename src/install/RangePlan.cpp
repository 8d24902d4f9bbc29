#include "install/RangePlan.h"

#include <algorithm>

namespace quillon {
namespace {

// A decimal signed 64-bit integer with an optional leading sign and nothing else.
std::optional<qint64> parseDecimal(const QByteArray &text) {
    if (text.isEmpty()) {
        return std::nullopt;
    }
    const qsizetype digitsFrom = (text.front() == '+' || text.front() == '-') ? 1 : 0;
    if (digitsFrom == text.size()) {
        return std::nullopt;
    }
    for (qsizetype i = digitsFrom; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return std::nullopt;
        }
    }
    bool ok = false;
    const qint64 value = text.toLongLong(&ok, 10);
    return ok ? std::optional<qint64>(value) : std::nullopt;
}

// Digits only, no sign: the positions in a Content-Range.
std::optional<qint64> parsePosition(const QByteArray &text) {
    if (text.isEmpty() || text.front() == '+' || text.front() == '-') {
        return std::nullopt;
    }
    return parseDecimal(text);
}

} // namespace

QByteArray ByteRange::rangeHeader() const {
    return "bytes=" + QByteArray::number(start) + '-' + QByteArray::number(end());
}

QList<ByteRange> planRanges(qint64 totalLength) {
    QList<ByteRange> ranges;
    for (qint64 start = 0; start < totalLength;) {
        const qint64 length = std::min(totalLength - start, kRangeLength);
        ranges.append(ByteRange{start, length});
        start += length;
    }
    return ranges;
}

std::optional<qint64> announcedLength(const HttpResponse &response, qint64 bodySize) {
    if (bodySize != 0 || !response.isHttp() || response.statusCode < 200 || response.statusCode > 299) {
        return std::nullopt;
    }
    const std::optional<qint64> length = contentLength(response);
    return length && *length >= 1 ? length : std::nullopt;
}

std::optional<qint64> acceptedProbeLength(const HttpResponse &response, qint64 bodySize) {
    if (!response.header("Accept-Ranges").toLower().contains("bytes")) {
        return std::nullopt;
    }
    return announcedLength(response, bodySize);
}

std::optional<qint64> contentLength(const HttpResponse &response) {
    return parseDecimal(response.header("Content-Length").trimmed());
}

bool contentRangeNames(const QByteArray &contentRange, const ByteRange &range, qint64 totalLength) {
    const QByteArray value = contentRange.trimmed();
    const qsizetype space = value.indexOf(' ');
    if (space < 0 || value.left(space).toLower() != "bytes") {
        return false;
    }
    const QByteArray spec = value.mid(space + 1).trimmed();
    const qsizetype dash = spec.indexOf('-');
    const qsizetype slash = spec.indexOf('/');
    if (dash < 0 || slash < dash) {
        return false;
    }
    const auto first = parsePosition(spec.left(dash));
    const auto last = parsePosition(spec.mid(dash + 1, slash - dash - 1));
    const auto total = parsePosition(spec.mid(slash + 1));
    return first && last && total && *first == range.start && *last == range.end() && *total == totalLength;
}

} // namespace quillon
