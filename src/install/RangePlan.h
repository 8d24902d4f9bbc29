#pragma once
// The pure rules of ranged downloads: which lengths qualify, how a file is cut into
// ranges, and whether a server's answer is the one that was asked for.

#include "install/HttpResponse.h"

#include <QByteArray>
#include <QList>

#include <optional>

namespace quillon {

/// Files of at least this length are fetched in ranges (32 MiB).
inline constexpr qint64 kParallelThreshold = 0x2000000;
/// The length of every range but the last (16 MiB).
inline constexpr qint64 kRangeLength = 0x1000000;
/// Ranges in flight at once.
inline constexpr int kMaxRangesInFlight = 8;

struct ByteRange final {
    qint64 start = 0;
    qint64 length = 0;

    qint64 end() const { return start + length - 1; } ///< inclusive
    /// The "Range" header value: bytes=<start>-<end>, the end inclusive.
    QByteArray rangeHeader() const;

    friend bool operator==(const ByteRange &, const ByteRange &) = default;
};

/// Ranges covering 0...totalLength-1 without gap or overlap, each kRangeLength long
/// but the last.
QList<ByteRange> planRanges(qint64 totalLength);

/// The length of the file a HEAD reply announces: status 2xx, empty body and a decimal
/// "Content-Length" of at least 1. nullopt otherwise.
std::optional<qint64> announcedLength(const HttpResponse &response, qint64 bodySize);

/// The announced length, when the HEAD reply also allows ranged downloads (an
/// "Accept-Ranges" naming bytes). nullopt otherwise.
std::optional<qint64> acceptedProbeLength(const HttpResponse &response, qint64 bodySize);

/// The "Content-Length" of a reply when it is present and a decimal number.
std::optional<qint64> contentLength(const HttpResponse &response);

/// Whether a "Content-Range" value names exactly `range` of a file of `totalLength`
/// bytes in the unit bytes ("bytes 0-99/1000").
bool contentRangeNames(const QByteArray &contentRange, const ByteRange &range, qint64 totalLength);

} // namespace quillon
