// The pieces of a response head that both readers of the protocol rely on: what is taken
// as a status line, a header line or a body length, and what is refused.
#include "platform/HttpHead.h"

#include <gtest/gtest.h>

using namespace quillon;

TEST(HttpHeadTest, StatusLinesAreTakenOnlyInTheirShape) {
    const auto ok = http::parseStatusLine("HTTP/1.1 206 Partial Content");
    ASSERT_TRUE(ok);
    EXPECT_EQ(ok->code, 206);
    EXPECT_EQ(ok->minorVersion, 1);
    EXPECT_EQ(ok->reason, QByteArray("Partial Content"));

    const auto bare = http::parseStatusLine("HTTP/1.0 404");
    ASSERT_TRUE(bare);
    EXPECT_EQ(bare->code, 404);
    EXPECT_EQ(bare->minorVersion, 0);
    EXPECT_TRUE(bare->reason.isEmpty());

    for (const char *line : {"HTTP/1.1 2006 Long", "HTTP/1.1 20a OK", "HTTP/1.x 200 OK", "HTTP/2 200 OK",
                             "HTTP/1.1  200 OK", "HTTP/1.1 200OK", "HTTP/1.1 20", "http/1.1 200 OK", "SSH-2.0-OpenSSH",
                             ""}) {
        EXPECT_FALSE(http::parseStatusLine(line)) << line;
    }
}

TEST(HttpHeadTest, HeaderLinesKeepTheirNamesAndFoldedContinuations) {
    http::HeaderFields fields;
    EXPECT_TRUE(http::addFieldLine("Content-Type:  text/plain ", fields));
    EXPECT_TRUE(http::addFieldLine("X-Long: first", fields));
    EXPECT_TRUE(http::addFieldLine(" \tsecond  ", fields));
    EXPECT_TRUE(http::addFieldLine("X-Empty:", fields));
    const http::HeaderFields expected{{"Content-Type", "text/plain"}, {"X-Long", "first second"}, {"X-Empty", ""}};
    EXPECT_EQ(fields, expected);

    // A name with a blank could be read as another field by another reader: refused.
    for (const char *line : {"X-Name : value", "X Name: value", ": value", "no colon at all", "\tX: value"}) {
        http::HeaderFields none;
        EXPECT_FALSE(http::addFieldLine(line, none)) << line;
        EXPECT_TRUE(none.isEmpty()) << line;
    }
}

TEST(HttpHeadTest, RepeatedFieldsAreJoinedWhateverTheirCase) {
    const http::HeaderFields fields{
        {"X-Answer", "one"}, {"Content-Length", "5"}, {"x-answer", "two"}, {"X-ANSWER", "three"}};
    const http::HeaderFields expected{{"X-Answer", "one, two, three"}, {"Content-Length", "5"}};
    EXPECT_EQ(http::joinRepeatedFields(fields), expected);
}

TEST(HttpHeadTest, AContentLengthIsOneDecimalLengthOrRepeatedOnesThatAgree) {
    EXPECT_EQ(http::parseContentLength("12"), 12);
    EXPECT_EQ(http::parseContentLength(" 0 "), 0);
    EXPECT_EQ(http::parseContentLength("12, 12,12"), 12);
    EXPECT_EQ(http::parseContentLength("999999999999999999"), 999999999999999999LL);
    for (const char *value : {"12, 13", "+12", "-1", "", " ", "1e3", "0x10", "12;", "12,", "1 2",
                              "1000000000000000000"}) {
        EXPECT_FALSE(http::parseContentLength(value)) << value;
    }
}

TEST(HttpHeadTest, OnlyTextWithoutLineEndsMayGoIntoARequestHead) {
    EXPECT_TRUE(http::safeFieldPart("plain value"));
    EXPECT_FALSE(http::safeFieldPart("value\r\nX-Injected: 1"));
    EXPECT_FALSE(http::safeFieldPart("value\nX-Injected: 1"));
    EXPECT_FALSE(http::safeFieldPart("value\r"));
}
