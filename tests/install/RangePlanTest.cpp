#include "install/RangePlan.h"

#include <gtest/gtest.h>

using namespace quillon;

namespace {

HttpResponse headReply(int status, QList<QPair<QByteArray, QByteArray>> headers) {
    HttpResponse response;
    response.statusCode = status;
    response.headers = std::move(headers);
    return response;
}

} // namespace

TEST(RangePlanTest, CoversTheFileInSixteenMebibyteRangesWithAShorterLast) {
    const QList<ByteRange> ranges = planRanges(33'554'433);
    ASSERT_EQ(ranges.size(), 3);
    EXPECT_EQ(ranges[0], (ByteRange{0, 16'777'216}));
    EXPECT_EQ(ranges[1], (ByteRange{16'777'216, 16'777'216}));
    EXPECT_EQ(ranges[2], (ByteRange{33'554'432, 1}));
    EXPECT_EQ(ranges[2].rangeHeader(), QByteArray("bytes=33554432-33554432"));
    EXPECT_EQ(ranges[0].rangeHeader(), QByteArray("bytes=0-16777215"));
}

TEST(RangePlanTest, ExactMultiplesLeaveNoEmptyRange) {
    const QList<ByteRange> ranges = planRanges(33'554'432);
    ASSERT_EQ(ranges.size(), 2);
    EXPECT_EQ(ranges[1].end(), 33'554'431);
    EXPECT_TRUE(planRanges(0).isEmpty());
}

TEST(RangePlanTest, ProbeAcceptsOnlyAnEmptyTwoHundredWithLengthAndByteRanges) {
    const auto good = headReply(200, {{"Content-Length", "40000000"}, {"Accept-Ranges", "Bytes"}});
    EXPECT_EQ(acceptedProbeLength(good, 0), 40'000'000);
    EXPECT_EQ(acceptedProbeLength(headReply(204, {{"Content-Length", "+7"}, {"Accept-Ranges", "bytes"}}), 0), 7);

    EXPECT_FALSE(acceptedProbeLength(good, 1)) << "a HEAD reply that carries a body";
    EXPECT_FALSE(acceptedProbeLength(headReply(404, good.headers), 0));
    EXPECT_FALSE(acceptedProbeLength(headReply(0, good.headers), 0)) << "not an HTTP response";
    EXPECT_FALSE(acceptedProbeLength(headReply(200, {{"Accept-Ranges", "bytes"}}), 0));
    EXPECT_FALSE(acceptedProbeLength(headReply(200, {{"Content-Length", ""}, {"Accept-Ranges", "bytes"}}), 0));
    EXPECT_FALSE(acceptedProbeLength(headReply(200, {{"Content-Length", "0"}, {"Accept-Ranges", "bytes"}}), 0));
    EXPECT_FALSE(acceptedProbeLength(headReply(200, {{"Content-Length", "-5"}, {"Accept-Ranges", "bytes"}}), 0));
    EXPECT_FALSE(acceptedProbeLength(headReply(200, {{"Content-Length", "12x4"}, {"Accept-Ranges", "bytes"}}), 0));
    EXPECT_FALSE(acceptedProbeLength(headReply(200, {{"Content-Length", "99999999999999999999"}, {"Accept-Ranges", "bytes"}}), 0));
    EXPECT_FALSE(acceptedProbeLength(headReply(200, {{"Content-Length", "100"}}), 0));
    EXPECT_FALSE(acceptedProbeLength(headReply(200, {{"Content-Length", "100"}, {"Accept-Ranges", "none"}}), 0));
}

TEST(RangePlanTest, ContentRangeMustNameTheRequestedRangeAndTotalInBytes) {
    const ByteRange range{16'777'216, 16'777'216};
    EXPECT_TRUE(contentRangeNames("bytes 16777216-33554431/33554433", range, 33'554'433));
    EXPECT_TRUE(contentRangeNames("Bytes 16777216-33554431/33554433", range, 33'554'433));

    EXPECT_FALSE(contentRangeNames("", range, 33'554'433));
    EXPECT_FALSE(contentRangeNames("bytes 16777217-33554432/33554433", range, 33'554'433)) << "shifted";
    EXPECT_FALSE(contentRangeNames("bytes 16777216-33554430/33554433", range, 33'554'433)) << "ends early";
    EXPECT_FALSE(contentRangeNames("bytes 16777216-33554431/33554434", range, 33'554'433)) << "other total";
    EXPECT_FALSE(contentRangeNames("bytes 16777216-33554431/*", range, 33'554'433)) << "unknown total";
    EXPECT_FALSE(contentRangeNames("items 16777216-33554431/33554433", range, 33'554'433)) << "other unit";
    EXPECT_FALSE(contentRangeNames("bytes +16777216-33554431/33554433", range, 33'554'433));
    EXPECT_FALSE(contentRangeNames("bytes 16777216-33554431", range, 33'554'433));
}
